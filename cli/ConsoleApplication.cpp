#include "cli/ConsoleApplication.h"

void TConsoleApplication::HandleException(const std::exception& E) {
  std::fprintf(FErrors, "zelmirt-flash: %s\n", E.what());
  std::fflush(FErrors);
}

TModalResult TConsoleApplication::MessageBox(const std::string& Text, TMsgDlgType, TMsgDlgButtons Buttons) {
  if (Buttons.Contains(TMsgDlgBtn::mbYes)) return TModalResult::mrYes;
  std::fprintf(FErrors, "zelmirt-flash: %s\n", Text.c_str());
  std::fflush(FErrors);
  return TModalResult::mrOk;
}
