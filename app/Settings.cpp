#include <cctype>
#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/ZelmirtPgmForm.h"
#include "base/ScopedFlag.h"
#include "platform/IniFile.h"

namespace {
constexpr const char* MasterSection = "Master";
constexpr const char* ProgramSection = "Program";
constexpr const char* AddressKey = "IP Address";
constexpr const char* MasterFileKey = "MasterFile";
constexpr const char* SlaveFileKey = "SlaveFile";
constexpr const char* SelectedKey = "Selected";

// Decimal, "$" hexadecimal or "0x"/"0X" hexadecimal text, with an optional sign, as a 32-bit
// integer; any other text (or a number out of range) reads as Default.
int32_t TextToIntDef(std::string_view Text, int32_t Default) {
  bool negative = false;
  if (!Text.empty() && (Text.front() == '-' || Text.front() == '+')) {
    negative = Text.front() == '-';
    Text.remove_prefix(1);
  }
  int base = 10;
  if (Text.starts_with('$')) {
    Text.remove_prefix(1);
    base = 16;
  } else if (Text.starts_with("0x") || Text.starts_with("0X")) {
    Text.remove_prefix(2);
    base = 16;
  }
  if (Text.empty() || !std::isxdigit(static_cast<unsigned char>(Text.front()))) return Default;
  uint64_t magnitude = 0;
  const auto [end, error] = std::from_chars(Text.data(), Text.data() + Text.size(), magnitude, base);
  if (error != std::errc() || end != Text.data() + Text.size()) return Default;
  // Hexadecimal text covers the full 32 bits (as "$FFFFFFFF" is -1); decimal text the range.
  if (base == 16) {
    if (magnitude > UINT32_MAX) return Default;
    const auto bits = static_cast<uint32_t>(magnitude);
    return static_cast<int32_t>(negative ? 0u - bits : bits);
  }
  const uint64_t limit = negative ? uint64_t{INT32_MAX} + 1 : uint64_t{INT32_MAX};
  if (magnitude > limit) return Default;
  return static_cast<int32_t>(negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude));
}
}  // namespace

void TZelmirt_PgmForm::LoadSettings() {
  if (FSettingsFileName.empty()) return;
  const TIniFile settings(FSettingsFileName);
  ledtMasterIP.SetText(settings.ReadString(MasterSection, AddressKey, ""));
  lbledtMaster.SetText(settings.ReadString(ProgramSection, MasterFileKey, ""));
  lbledtSlave.SetText(settings.ReadString(ProgramSection, SlaveFileKey, ""));
  const int32_t selected = TextToIntDef(settings.ReadString(ProgramSection, SelectedKey, ""), 0);

  // The boxes change below without running the check-box handler, which would write back.
  TScopedFlag inCheckboxClick(FInCheckboxClick);
  if (selected == cbAll.Tag()) {
    cbAll.SetChecked(true);
    cbMaster.SetState(TCheckBoxState::cbGrayed);
    cbSlave.SetState(TCheckBoxState::cbGrayed);
  } else {
    cbAll.SetChecked(false);
    cbMaster.SetChecked((selected & cbMaster.Tag()) != 0);
    cbSlave.SetChecked((selected & cbSlave.Tag()) != 0);
  }
}

void TZelmirt_PgmForm::SaveSettings() {
  if (FSettingsFileName.empty()) return;
  TIniFile settings(FSettingsFileName);
  settings.WriteString(MasterSection, AddressKey, ledtMasterIP.Text());
  settings.WriteString(ProgramSection, MasterFileKey, lbledtMaster.Text());
  settings.WriteString(ProgramSection, SlaveFileKey, lbledtSlave.Text());
  intptr_t selected = 0;
  if (cbAll.Checked()) {
    selected = cbAll.Tag();
  } else {
    if (cbMaster.Checked()) selected += cbMaster.Tag();
    if (cbSlave.Checked()) selected += cbSlave.Tag();
  }
  settings.WriteString(ProgramSection, SelectedKey, std::to_string(selected));
}
