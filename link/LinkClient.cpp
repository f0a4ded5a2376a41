#include "link/LinkClient.h"

#include "base/ScopedFlag.h"

void TLinkClient::DoRead(TSocket Socket) {
  {
    TScopedFlag serving(FServingRead);
    TIpClient::DoRead(Socket);
  }
  if (FOnReadServed) FOnReadServed();
}
