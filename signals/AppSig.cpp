#include "signals/AppSig.h"

#include <memory>
#include <mutex>
#include <vector>

namespace {
// The shared server and the client count. Clients live on the main thread, but the lock
// keeps a stray client on another thread from tearing the server down under it.
struct TSignalUnitState {
  std::recursive_mutex Lock;
  std::unique_ptr<TktsSignalServer> Server;
  int32_t Clients = 0;
};

TSignalUnitState& UnitState() {
  static TSignalUnitState state;
  return state;
}
}  // namespace

TktsSignalClient::TktsSignalClient(TComponent* AOwner) : TComponent(AOwner) {
  TktsSignalServer::AttachClient();
}

TktsSignalClient::~TktsSignalClient() { TktsSignalServer::DetachClient(this); }

TktsSignalServer::TktsSignalServer() {
  FRegistrations.SetSorted(true);
  FRegistrations.SetCaseSensitive(true);
  FRegistrations.SetDuplicates(TDuplicates::dupAccept);
}

TktsSignalServer::~TktsSignalServer() = default;

void TktsSignalServer::AttachClient() {
  TSignalUnitState& state = UnitState();
  std::lock_guard<std::recursive_mutex> guard(state.Lock);
  if (!state.Server) state.Server = std::make_unique<TktsSignalServer>();
  ++state.Clients;
}

void TktsSignalServer::DetachClient(TktsSignalClient* Client) {
  TSignalUnitState& state = UnitState();
  std::lock_guard<std::recursive_mutex> guard(state.Lock);
  if (state.Server) state.Server->Unregister(Client, "*");
  const int32_t before = state.Clients--;
  if (before == 1) state.Server.reset();
}

TktsSignalServer* TktsSignalServer::Instance() {
  TSignalUnitState& state = UnitState();
  std::lock_guard<std::recursive_mutex> guard(state.Lock);
  return state.Server.get();
}

int32_t TktsSignalServer::ClientCount() {
  TSignalUnitState& state = UnitState();
  std::lock_guard<std::recursive_mutex> guard(state.Lock);
  return state.Clients;
}

void TktsSignalServer::Register(TktsSignalClient* Client, const std::string& Key) {
  std::lock_guard<std::recursive_mutex> guard(UnitState().Lock);
  FRegistrations.AddObject(Key, Client);
}

void TktsSignalServer::Unregister(TktsSignalClient* Client, const std::string& Key) {
  std::lock_guard<std::recursive_mutex> guard(UnitState().Lock);
  const bool everyKey = Key == "*";
  // From the last entry down, so that a deletion never shifts an entry still to be visited.
  for (int i = FRegistrations.Count() - 1; i >= 0; --i) {
    if (FRegistrations.Objects(i) != Client) continue;
    if (everyKey || FRegistrations.Strings(i) == Key) FRegistrations.Delete(i);
  }
}

void TktsSignalServer::Signal(const std::string& Key, const std::string& strUserInfoParm,
                              int32_t intUserInfoParm, TObject* objectParm) {
  std::vector<TktsSignalClient*> receivers;
  {
    std::lock_guard<std::recursive_mutex> guard(UnitState().Lock);
    for (int i = 0; i < FRegistrations.Count(); ++i)
      if (FRegistrations.Strings(i) == Key)
        receivers.push_back(static_cast<TktsSignalClient*>(FRegistrations.Objects(i)));
  }
  for (TktsSignalClient* client : receivers) {
    // A handler may have freed a later receiver; a freed client has left the registry.
    {
      std::lock_guard<std::recursive_mutex> guard(UnitState().Lock);
      if (FRegistrations.IndexOfObject(client) < 0) continue;
    }
    if (client->OnSignalChange) client->OnSignalChange(client, Key, strUserInfoParm, intUserInfoParm, objectParm);
  }
}
