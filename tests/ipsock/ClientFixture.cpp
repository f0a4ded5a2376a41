#include "tests/ipsock/ClientFixture.h"

#include "tests/support/WaitUntil.h"

bool ClientTest::WaitUntilWritable() {
  return WaitUntil([&] {
    const auto socket = Client->DataSocket();
    return socket && socket->Connected() && socket->Writable();
  });
}
