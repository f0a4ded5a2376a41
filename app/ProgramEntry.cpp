#include "app/ProgramEntry.h"

#include "platform/Application.h"

int RunProgram(const TRunMainWindow& Run, const std::string& SettingsFileName) {
  Application().SetTitle("Zelmirt Program");
  TZelmirt_PgmForm form(SettingsFileName);
  return Run(form);
}
