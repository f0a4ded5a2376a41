#include "ipsock/IpDataInits.h"

void TIpDataInits::CopyFrom(const TPersistent& Source) {
  TIpBaseInits::CopyFrom(Source);
  if (auto* source = dynamic_cast<const TIpDataInits*>(&Source)) {
    FFixedLineLength = source->FFixedLineLength;
    FIdleTimeout = source->FIdleTimeout;
    FLineTermChar = source->FLineTermChar;
    FLineTerminator = source->FLineTerminator;
    FLogOptions = source->FLogOptions;
    FReceiveBufferSize = source->FReceiveBufferSize;
    FReceiveMode = source->FReceiveMode;
    FSendBufferSize = source->FSendBufferSize;
    FStripLineTerminator = source->FStripLineTerminator;
  }
}
