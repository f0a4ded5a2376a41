#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "tests/app/PgmFormProbe.h"
#include "tests/app/ScriptedChannel.h"
#include "tests/support/TempFolder.h"

// Each test gets a window whose settings file lives in the test's own folder.
class FormTest : public testing::Test {
protected:
  FormTest();

  std::string SettingsPath() const { return Folder.File("zelmirt-programmer.INI"); }
  void WriteSettings(const std::string& Content) const;
  // A fresh window reading the current settings file.
  void RecreateForm();
  // A Master run of one record under way through the scripted channel, waiting for the
  // bootloader's acknowledgement.
  void EnterRun();
  // A Master and Slave run through the scripted channel, in the pause before the Slave run.
  void EnterPauseBeforeSlaveRun();

  TTempFolder Folder;
  TScriptedChannel Channel;
  std::unique_ptr<TPgmFormProbe> Form;
};
