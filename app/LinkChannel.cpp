#include "app/LinkChannel.h"

#include "ipsock/IpExceptions.h"
#include "platform/SocketLibrary.h"

namespace {
// The socket errors that mean the connection is gone rather than a text refused.
bool ConnectionGoneError(int32_t Code) {
  switch (Code) {
    case WSAENETDOWN:
    case WSAENETRESET:
    case WSAECONNABORTED:
    case WSAECONNRESET:
    case WSAENOTCONN:
    case WSAESHUTDOWN:
      return true;
    default:
      return false;
  }
}
}  // namespace

bool TLinkChannel::Connected() const { return FLink && FLink->Connected(); }

void TLinkChannel::SendText(const std::string& Text) {
  if (!FLink) throw EConnectionGone("no device link");
  try {
    FLink->SendText(Text);
  } catch (const EIpNoSocketError& E) {
    throw EConnectionGone(E.what());
  } catch (const EIpWinSockError& E) {
    if (ConnectionGoneError(E.ErrorCode())) throw EConnectionGone(E.what());
    throw;
  }
}

void TLinkChannel::DiscardReceived() {
  if (FLink) FLink->ResetRxRing();
}

void TLinkChannel::CollectReceived() {
  if (FLink) FLink->PassReceivedBytes();
}

void TLinkChannel::SetTimerInterval(uint16_t Milliseconds) {
  if (FLink) FLink->SetTimerInterval(Milliseconds);
}
