#pragma once

#include "app/ZelmirtPgmForm.h"

// The window with its private state opened to the tests.
class TPgmFormProbe : public TZelmirt_PgmForm {
public:
  using TZelmirt_PgmForm::TZelmirt_PgmForm;
  using TZelmirt_PgmForm::FCloseState;
  using TZelmirt_PgmForm::FInCheckboxClick;
  using TZelmirt_PgmForm::FInTimer;
  using TZelmirt_PgmForm::FLinkStatus;
  using TZelmirt_PgmForm::FPgmState;
  using TZelmirt_PgmForm::FLineIndex;
  using TZelmirt_PgmForm::FNextTarget;
  using TZelmirt_PgmForm::FReply;
  using TZelmirt_PgmForm::FRxRing;
  using TZelmirt_PgmForm::FTarget;
  using TZelmirt_PgmForm::FTickCount;

  bool ProgramSettingsValid() const override {
    ++ValidityChecks;
    return TZelmirt_PgmForm::ProgramSettingsValid();
  }
  mutable int ValidityChecks = 0;
};
