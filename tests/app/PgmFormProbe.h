#pragma once

#include "app/ZelmirtPgmForm.h"

// The window with its own private state opened to the tests; the run's state is the run
// object's, read through its accessors.
class TPgmFormProbe : public TZelmirt_PgmForm {
public:
  using TZelmirt_PgmForm::TZelmirt_PgmForm;
  using TZelmirt_PgmForm::FCloseState;
  using TZelmirt_PgmForm::FInCheckboxClick;
  using TZelmirt_PgmForm::FInTimer;
  using TZelmirt_PgmForm::FLinkStatus;
  using TZelmirt_PgmForm::FRxRing;

  bool ProgramSettingsValid() const override {
    ++ValidityChecks;
    return TZelmirt_PgmForm::ProgramSettingsValid();
  }
  mutable int ValidityChecks = 0;
};
