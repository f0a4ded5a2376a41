#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/Component.h"
#include "base/StringList.h"

class TObject;
class TktsSignalClient;

// A keyed signal: the raising client, the key and three pieces of user data.
using TSignalChange = std::function<void(TObject* Sender, const std::string& strKeyParm,
                                         const std::string& strUserInfoParm, int32_t intUserInfoParm,
                                         TObject* objectParm)>;

// A component through which keyed signals reach its owner. Every live client keeps the
// one shared signal server alive.
class TktsSignalClient : public TComponent {
public:
  explicit TktsSignalClient(TComponent* AOwner);
  ~TktsSignalClient() override;

  TSignalChange OnSignalChange;
};

// The registry of (key, client) entries shared by all clients. It exists while at least one
// client does; it never owns or frees a client.
class TktsSignalServer : public TObject {
public:
  TktsSignalServer();
  ~TktsSignalServer() override;

  static void AttachClient();
  static void DetachClient(TktsSignalClient* Client);
  // The shared server, or nullptr while no client exists.
  static TktsSignalServer* Instance();
  static int32_t ClientCount();

  void Register(TktsSignalClient* Client, const std::string& Key);
  // Removes the client's entries under Key (compared byte for byte), or all of them for "*".
  void Unregister(TktsSignalClient* Client, const std::string& Key);
  // Raises OnSignalChange of every client registered under Key, in key order, on the
  // calling thread.
  void Signal(const std::string& Key, const std::string& strUserInfoParm, int32_t intUserInfoParm,
              TObject* objectParm);
  int RegistrationCount() const { return FRegistrations.Count(); }

private:
  TStringList FRegistrations;
};
