#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "app/ZelmirtPgmForm.h"
#include "tests/support/TempFolder.h"

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

// Each test gets a window whose settings file lives in the test's own folder.
class FormTest : public testing::Test {
protected:
  FormTest();

  std::string SettingsPath() const { return Folder.File("zelmirt-programmer.INI"); }
  void WriteSettings(const std::string& Content) const;
  // A fresh window reading the current settings file.
  void RecreateForm();

  TTempFolder Folder;
  std::unique_ptr<TPgmFormProbe> Form;
};
