#include "tests/support/ZelmirtScript.h"

#include "tools/sim/BootloaderTexts.h"
#include "base/Format.h"

using namespace BootloaderTexts;

// An Intel HEX record with its checksum.
std::string HexRecord(unsigned Address, unsigned Type, const std::vector<unsigned>& Data) {
  unsigned sum = static_cast<unsigned>(Data.size()) + (Address >> 8) + (Address & 0xFF) + Type;
  std::string text = Format(":%2.2X%4.4X%2.2X", static_cast<unsigned>(Data.size()), Address, Type);
  for (const unsigned byte : Data) {
    text += Format("%2.2X", byte);
    sum += byte;
  }
  return text + Format("%2.2X", (0x100 - (sum & 0xFF)) & 0xFF);
}

std::string DataRecord(int Index) {
  std::vector<unsigned> data;
  for (int i = 0; i < 16; ++i) data.push_back(static_cast<unsigned>((Index * 16 + i) % 251));
  return HexRecord(static_cast<unsigned>(Index * 16), 0, data);
}

std::string ProgramText(int Records) {
  std::string text;
  for (int i = 0; i < Records; ++i) text += DataRecord(i) + "\r\n";
  return text + HexRecord(0, 1, {}) + "\r\n";
}

void TZelmirtScript::operator()(TScriptedDevice& Device, std::string& Pending) {
  for (;;) {
    std::string text;
    if (Pending.empty()) return;
    if (!FSlave && Pending[0] == SyncByte[0]) {
      text = SyncByte;
      Pending.erase(0, 1);
    } else if (!FSlave && Pending[0] == ':') {
      // A Master record carries no line feed: its byte count frames it.
      if (Pending.size() < 3) return;
      const size_t length = 11 + 2 * std::stoul(Pending.substr(1, 2), nullptr, 16);
      if (Pending.size() < length) return;
      text = Pending.substr(0, length);
      Pending.erase(0, length);
    } else {
      const size_t end = Pending.find(LineTerminator);
      if (end == std::string::npos) return;
      text = Pending.substr(0, end);
      Pending.erase(0, end + 1);
    }
    const std::string reply = Answer(text);
    if (!reply.empty()) Device.Send(reply);
  }
}

std::string TZelmirtScript::Answer(const std::string& Text) {
  const auto enableReply = [&](const char* Ack) {
    if (!FBehaviour.AnswerEnable) return std::string();
    return (FBehaviour.EnableReply.empty() ? std::string("OK ") + Ack : FBehaviour.EnableReply) + "\r";
  };
  if (Text == CmdEnableMasterBL) return enableReply(AckMasterBL);
  if (Text == CmdEnableSlaveBL || Text == CmdSyncSlaveBL) {
    FSlave = true;
    return enableReply(AckSlaveBL);
  }
  if (Text == SyncByte) return FBehaviour.EchoSync ? SyncByte : "";
  if (Text == RecVersion) {
    if (!FBehaviour.AnswerVersion) return "";
    const std::string version = FBehaviour.Version.empty() ? (FSlave ? "S21" : "M12") : FBehaviour.Version;
    return FBehaviour.VersionPrefix + RecVersion + version + ".\r";
  }
  if (Text == RecRestart) {
    if (!FBehaviour.AnswerRestart) return "";
    FSlave = false;
    return std::string(RecRestart) + ".\r";
  }
  ++FRecords;
  if (FBehaviour.SilentFromRecord != 0 && FRecords >= FBehaviour.SilentFromRecord) return "";
  if (FRecords == FBehaviour.RefusedRecord) {
    std::string before;
    if (FBehaviour.StrayLineBeforeRefusal) before = "OK.\r";
    if (FBehaviour.DuplicateBeforeRefusal) before = FLastReply;
    if (FBehaviour.RefuseWithEmptyLine) return before + "\r";
    return before + (FBehaviour.RefusalText.empty() ? Text + "!" : FBehaviour.RefusalText) + "\r";
  }
  FLastReply = Text + ".\r";
  return FLastReply;
}
