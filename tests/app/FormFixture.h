#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "tests/app/PgmFormProbe.h"
#include "tests/support/TempFolder.h"

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
