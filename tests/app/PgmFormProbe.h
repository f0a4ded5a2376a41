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
  using TZelmirt_PgmForm::FTarget;

  bool ProgramSettingsValid() const override {
    ++ValidityChecks;
    return TZelmirt_PgmForm::ProgramSettingsValid();
  }
  mutable int ValidityChecks = 0;
};
