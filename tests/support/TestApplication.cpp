#include "tests/support/TestApplication.h"

void TTestApplication::HandleException(const std::exception& E) {
  std::lock_guard<std::mutex> guard(FLock);
  FExceptions.emplace_back(E.what());
}

TModalResult TTestApplication::MessageBox(const std::string& Text, TMsgDlgType, TMsgDlgButtons) {
  std::lock_guard<std::mutex> guard(FLock);
  FMessageBoxes.push_back(Text);
  return FMessageBoxResult;
}

void TTestApplication::PlayExclamation() {
  std::lock_guard<std::mutex> guard(FLock);
  ++FExclamations;
}

bool TTestApplication::ExecuteOpenDialog(TOpenDialogSettings& Dialog) {
  std::lock_guard<std::mutex> guard(FLock);
  FDialogs.push_back(Dialog);
  if (FDialogConfirms) Dialog.FileName = FDialogFile;
  return FDialogConfirms;
}

void TTestApplication::SetMessageBoxResult(TModalResult Result) {
  std::lock_guard<std::mutex> guard(FLock);
  FMessageBoxResult = Result;
}

void TTestApplication::SetDialogChoice(bool Confirm, const std::string& FileName) {
  std::lock_guard<std::mutex> guard(FLock);
  FDialogConfirms = Confirm;
  FDialogFile = FileName;
}

std::vector<std::string> TTestApplication::Exceptions() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FExceptions;
}

std::vector<std::string> TTestApplication::MessageBoxes() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FMessageBoxes;
}

int TTestApplication::ExclamationCount() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FExclamations;
}

std::vector<TOpenDialogSettings> TTestApplication::Dialogs() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FDialogs;
}

void TTestApplication::Reset() {
  std::lock_guard<std::mutex> guard(FLock);
  FExceptions.clear();
  FMessageBoxes.clear();
  FDialogs.clear();
  FExclamations = 0;
  FMessageBoxResult = TModalResult::mrOk;
  FDialogConfirms = false;
  FDialogFile.clear();
}

TTestApplication& TestApplication() {
  static TTestApplication app;
  return app;
}
