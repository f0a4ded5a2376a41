#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/DeviceChannel.h"

// A connection to a Zelmirt without a socket: every text sent is answered at once, into the
// ring, as a healthy device answers it, unless the test's Answer says otherwise. The run
// then moves only when the test steps it, so that steps and ticks are counted exactly.
class TScriptedChannel : public TDeviceChannel {
public:
  // The reply a healthy device gives to Text (a line feed already taken off).
  static std::string HealthyAnswer(const std::string& Text, bool Slave);

  bool Connected() const override { return Up; }
  void SendText(const std::string& Text) override;
  RxRing& Received() override { return Ring; }
  void DiscardReceived() override;
  void CollectReceived() override {}
  void SetTimerInterval(uint16_t Milliseconds) override { TimerInterval = Milliseconds; }

  // Bytes as if they had just arrived.
  void Arrive(const std::string& Bytes);

  bool Up = true;
  // Replaces the healthy answer: gets the text (without its line feed) and the healthy reply.
  std::function<std::string(const std::string& Text, const std::string& Healthy)> Answer;
  // Raised by the next SendText instead of sending, when set.
  std::function<void()> FailNextSend;
  std::vector<std::string> Sent;
  uint16_t TimerInterval = 0;
  RxRing Ring;
};
