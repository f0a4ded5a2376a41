#include "tests/app/ScriptedChannel.h"

#include "app/DeviceDialogue.h"

using namespace DeviceDialogue;

std::string TScriptedChannel::HealthyAnswer(const std::string& Text, bool Slave) {
  if (Text == CmdEnableMasterBL) return std::string(AckMasterBL) + ReplyTerminator;
  if (Text == CmdEnableSlaveBL || Text == CmdSyncSlaveBL) return std::string(AckSlaveBL) + ReplyTerminator;
  // The bootloader echoes its sync byte alone.
  if (Text == SyncByte) return SyncByte;
  if (Text == RecVersion) return std::string(RecVersion) + (Slave ? "S12." : "M12.") + ReplyTerminator;
  return Text + Acknowledged + ReplyTerminator;
}

void TScriptedChannel::SendText(const std::string& Text) {
  if (FailNextSend) {
    const auto fail = std::move(FailNextSend);
    FailNextSend = nullptr;
    fail();
  }
  Sent.push_back(Text);
  const bool slave = !Text.empty() && Text.back() == LineTerminator && Text != std::string(CmdEnableMasterBL) + "\n";
  std::string text = Text;
  if (!text.empty() && text.back() == LineTerminator) text.pop_back();
  const std::string healthy = HealthyAnswer(text, slave);
  Arrive(Answer ? Answer(text, healthy) : healthy);
}

void TScriptedChannel::DiscardReceived() {
  Ring.ReadPos = 0;
  Ring.WritePos = 0;
  Ring.Overflowed = false;
}

void TScriptedChannel::Arrive(const std::string& Bytes) {
  for (const char byte : Bytes) {
    const int32_t next = (Ring.WritePos + 1) % RxRing::Size;
    if (next == Ring.ReadPos) {
      Ring.Overflowed = true;
      return;
    }
    Ring.Data[Ring.WritePos] = static_cast<uint8_t>(byte);
    Ring.WritePos = next;
  }
}
