#include "platform/Application.h"

#include <atomic>
#include <cstdio>

namespace {
TApplication& DefaultApplication() {
  static TApplication application;
  return application;
}

std::atomic<TApplication*>& InstalledApplication() {
  static std::atomic<TApplication*> installed{&DefaultApplication()};
  return installed;
}
}  // namespace

std::string TApplication::Title() const { return FTitle; }

void TApplication::SetTitle(const std::string& Value) { FTitle = Value; }

void TApplication::HandleException(const std::exception& E) { std::fprintf(stderr, "Exception: %s\n", E.what()); }

// Without an operator, the answer is the most cautious one offered.
TModalResult TApplication::MessageBox(const std::string& Text, TMsgDlgType, TMsgDlgButtons Buttons) {
  std::fprintf(stderr, "%s\n", Text.c_str());
  if (Buttons.Contains(TMsgDlgBtn::mbNo)) return TModalResult::mrNo;
  if (Buttons.Contains(TMsgDlgBtn::mbCancel)) return TModalResult::mrCancel;
  return TModalResult::mrOk;
}

void TApplication::PlayExclamation() {}

bool TApplication::ExecuteOpenDialog(TOpenDialogSettings&) { return false; }

TApplication& Application() { return *InstalledApplication().load(); }

TScopedApplication::TScopedApplication(TApplication& App) : FPrevious(InstalledApplication().exchange(&App)) {}

TScopedApplication::~TScopedApplication() { InstalledApplication().store(FPrevious); }
