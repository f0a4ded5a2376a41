#include <charconv>
#include <string>
#include <string_view>

#include "app/ProgramFileCheck.h"
#include "app/ScopedFlag.h"
#include "app/ZelmirtPgmForm.h"
#include "base/Exception.h"
#include "base/Format.h"
#include "platform/Files.h"

namespace {
// Offsets of the record's fields (after the ':' that is not examined).
constexpr size_t ByteCountOffset = 1;
constexpr size_t AddressOffset = 3;

// The hexadecimal field of Line at Offset, exactly Length digits.
unsigned HexField(const std::string& Line, int LineNumber, size_t Offset, size_t Length,
                  const char* FieldName) {
  if (Line.size() < Offset + Length)
    throw EConvertError(Format("Program file line %d: %s is too short for a record (no %s)",
                               LineNumber, QuotedRecord(Line).c_str(), FieldName));
  const std::string_view digits(Line.data() + Offset, Length);
  unsigned value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
  if (error != std::errc() || end != digits.data() + digits.size())
    throw EConvertError(Format("Program file line %d: %s: the %s \"%s\" is not hexadecimal", LineNumber,
                               QuotedRecord(Line).c_str(), FieldName, VisibleText(digits).c_str()));
  return value;
}

// Whether the record goes to the device; raises EConvertError for a malformed line.
bool IsSentRecord(const std::string& Line, int LineNumber) {
  const unsigned byteCount = HexField(Line, LineNumber, ByteCountOffset, 2, "byte count");
  const unsigned address = HexField(Line, LineNumber, AddressOffset, 4, "address");
  return FilterOf(Line, byteCount, address) == TRecordFilter::Sent;
}
}  // namespace

void TZelmirt_PgmForm::btnSelFileClick(TControl* Sender) {
  TOpenDialogSettings& dialog = OpenPgmDialog.Settings();
  dialog.FileName.clear();
  TLabeledEdit* edit = nullptr;
  if (Sender->Tag() == btnSelMaster.Tag()) {
    dialog.Title = "Select File for Zelmirt Master Processor ...";
    edit = &lbledtMaster;
  } else if (Sender->Tag() == btnSelSlave.Tag()) {
    dialog.Title = "Select File for Zelmirt Slave Processor ...";
    edit = &lbledtSlave;
  } else {
    return;
  }
  dialog.InitialDir = ExtractFilePath(edit->Text());
  if (!OpenPgmDialog.Execute()) return;
  edit->SetText(OpenPgmDialog.FileName());
  SaveSettings();
}

void TZelmirt_PgmForm::cbPrgCheckboxClick(TControl* Sender) {
  if (FInCheckboxClick) return;
  TScopedFlag inCheckboxClick(FInCheckboxClick);
  if (Sender->Tag() == cbAll.Tag()) {
    const TCheckBoxState units = cbAll.Checked() ? TCheckBoxState::cbGrayed : TCheckBoxState::cbUnchecked;
    cbMaster.SetState(units);
    cbSlave.SetState(units);
  } else if (cbAll.Checked()) {
    cbAll.SetChecked(false);
    if (cbMaster.Tag() != Sender->Tag()) cbMaster.SetChecked(false);
    if (cbSlave.Tag() != Sender->Tag()) cbSlave.SetChecked(false);
  }
  SaveSettings();
}

bool TZelmirt_PgmForm::ProgramSettingsValid() const {
  if (!cbAll.Checked() && !cbMaster.Checked() && !cbSlave.Checked()) return false;
  if ((cbAll.Checked() || cbMaster.Checked()) && !FileExists(lbledtMaster.Text())) return false;
  if (!cbAll.Checked() && !cbSlave.Checked()) return true;
  return FileExists(lbledtSlave.Text());
}

void TZelmirt_PgmForm::LoadProgramFile(const std::string& FileName) {
  FProgramLines->SetText(std::string(WithoutByteOrderMark(ReadFileText(FileName))));
}

void TZelmirt_PgmForm::FilterProgramLines() {
  TStringList sent;
  for (int i = 0; i < FProgramLines->Count(); ++i) {
    const std::string& line = FProgramLines->Strings(i);
    if (IsSentRecord(line, i + 1)) sent.Add(line);
  }
  FProgramLines->CopyFrom(sent);
}

void TZelmirt_PgmForm::LoadProgramForRun(const std::string& FileName) {
  try {
    LoadProgramFile(FileName);
    FilterProgramLines();
  } catch (...) {
    ResumeIdleTick();
    throw;
  }
}
