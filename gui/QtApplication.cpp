#include "gui/QtApplication.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include "gui/DialogFilter.h"

namespace {
QString Text(const std::string& Value) { return QString::fromStdString(Value); }

QMessageBox::Icon IconOf(TMsgDlgType Type) {
  switch (Type) {
    case TMsgDlgType::mtWarning: return QMessageBox::Warning;
    case TMsgDlgType::mtError: return QMessageBox::Critical;
    case TMsgDlgType::mtInformation: return QMessageBox::Information;
    case TMsgDlgType::mtConfirmation: return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

struct TButtonMapping {
  TMsgDlgBtn Button;
  QMessageBox::StandardButton Standard;
  TModalResult Result;
};

constexpr TButtonMapping ButtonMappings[] = {
    {TMsgDlgBtn::mbYes, QMessageBox::Yes, TModalResult::mrYes},
    {TMsgDlgBtn::mbNo, QMessageBox::No, TModalResult::mrNo},
    {TMsgDlgBtn::mbOK, QMessageBox::Ok, TModalResult::mrOk},
    {TMsgDlgBtn::mbCancel, QMessageBox::Cancel, TModalResult::mrCancel},
};
}  // namespace

// An error that reaches the operator comes with the exclamation sound, as ShowError's do.
void TQtApplication::HandleException(const std::exception& E) {
  PlayExclamation();
  MessageBox(E.what(), TMsgDlgType::mtError, {TMsgDlgBtn::mbOK});
}

TModalResult TQtApplication::MessageBox(const std::string& Message, TMsgDlgType Type, TMsgDlgButtons Buttons) {
  QMessageBox box(IconOf(Type), Text(Title()), Text(Message), QMessageBox::NoButton,
                  QApplication::activeWindow());
  for (const TButtonMapping& mapping : ButtonMappings)
    if (Buttons.Contains(mapping.Button)) box.addButton(mapping.Standard);
  const auto answer = static_cast<QMessageBox::StandardButton>(box.exec());
  for (const TButtonMapping& mapping : ButtonMappings)
    if (mapping.Standard == answer) return mapping.Result;
  return TModalResult::mrCancel;
}

void TQtApplication::PlayExclamation() { QApplication::beep(); }

bool TQtApplication::ExecuteOpenDialog(TOpenDialogSettings& Dialog) {
  QFileDialog dialog(QApplication::activeWindow(), Text(Dialog.Title), Text(Dialog.InitialDir));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(Dialog.FileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  dialog.setSizeGripEnabled(Dialog.EnableSizing);
  dialog.setDefaultSuffix(Text(Dialog.DefaultExt));
  const QStringList filters = Text(TranslateDialogFilter(Dialog.Filter)).split(";;", Qt::SkipEmptyParts);
  dialog.setNameFilters(filters);
  if (Dialog.FilterIndex >= 1 && Dialog.FilterIndex <= filters.size())
    dialog.selectNameFilter(filters[Dialog.FilterIndex - 1]);
  if (!Dialog.FileName.empty()) dialog.selectFile(Text(Dialog.FileName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  Dialog.FileName = dialog.selectedFiles().first().toStdString();
  return true;
}
