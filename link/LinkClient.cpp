#include "link/LinkClient.h"

void TLinkClient::DoRead(TSocket Socket) {
  TIpClient::DoRead(Socket);
  if (FOnReadServed) FOnReadServed();
}
