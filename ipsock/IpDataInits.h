#pragma once

#include <cstdint>

#include "base/Set.h"
#include "ipsock/IpSettings.h"

enum TIpLineTerminator : uint8_t { ltNone, ltCR, ltLF, ltCRLF, ltOther };
enum TIpLogOptions { loHighData, loLowData, loTelnet };
using TIpLogOptionSet = TSet<TIpLogOptions>;
enum TIpReceiveMode : uint8_t { rmLine, rmStream, rmAny };

// The settings copied into each data socket when it is created; changing them later
// affects only sockets created afterwards.
class TIpDataInits : public TIpBaseInits {
public:
  static constexpr uint32_t DefaultFixedLineLength = 80;
  static constexpr int32_t DefaultBufferSize = 4096;

  // From another TIpDataInits every field; anything else goes to the base.
  void CopyFrom(const TPersistent& Source) override;

  uint32_t FixedLineLength() const { return FFixedLineLength; }
  void SetFixedLineLength(uint32_t Value) { FFixedLineLength = Value; }
  uint32_t IdleTimeout() const { return FIdleTimeout; }
  void SetIdleTimeout(uint32_t Value) { FIdleTimeout = Value; }
  char LineTermChar() const { return FLineTermChar; }
  void SetLineTermChar(char Value) { FLineTermChar = Value; }
  TIpLineTerminator LineTerminator() const { return FLineTerminator; }
  void SetLineTerminator(TIpLineTerminator Value) { FLineTerminator = Value; }
  TIpLogOptionSet LogOptions() const { return FLogOptions; }
  void SetLogOptions(TIpLogOptionSet Value) { FLogOptions = Value; }
  int32_t ReceiveBufferSize() const { return FReceiveBufferSize; }
  void SetReceiveBufferSize(int32_t Value) { FReceiveBufferSize = Value; }
  TIpReceiveMode ReceiveMode() const { return FReceiveMode; }
  void SetReceiveMode(TIpReceiveMode Value) { FReceiveMode = Value; }
  int32_t SendBufferSize() const { return FSendBufferSize; }
  void SetSendBufferSize(int32_t Value) { FSendBufferSize = Value; }
  bool StripLineTerminator() const { return FStripLineTerminator; }
  void SetStripLineTerminator(bool Value) { FStripLineTerminator = Value; }

private:
  uint32_t FFixedLineLength = DefaultFixedLineLength;
  uint32_t FIdleTimeout = 0;
  char FLineTermChar = '\n';
  TIpLineTerminator FLineTerminator = ltCRLF;
  TIpLogOptionSet FLogOptions{loHighData, loTelnet};
  int32_t FReceiveBufferSize = DefaultBufferSize;
  TIpReceiveMode FReceiveMode = rmLine;
  int32_t FSendBufferSize = DefaultBufferSize;
  bool FStripLineTerminator = false;
};
