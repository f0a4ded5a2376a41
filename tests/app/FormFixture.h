#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "app/ZelmirtPgmForm.h"

// A folder of its own for each test, removed with everything in it afterwards.
class TTempFolder {
public:
  TTempFolder();
  ~TTempFolder();
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;

  std::string Path(const std::string& Name) const { return (FPath / Name).string(); }
  // Writes Content to Name in the folder and answers the full path.
  std::string WriteFile(const std::string& Name, const std::string& Content) const;

private:
  std::filesystem::path FPath;
};

std::string ReadWholeFile(const std::string& Path);

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

  std::string SettingsPath() const { return Folder.Path("zelmirt-programmer.INI"); }
  void WriteSettings(const std::string& Content) const;
  // A fresh window reading the current settings file.
  void RecreateForm();

  TTempFolder Folder;
  std::unique_ptr<TPgmFormProbe> Form;
};
