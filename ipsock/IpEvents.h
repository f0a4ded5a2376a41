#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/Object.h"
#include "ipsock/IpTypes.h"

// The socket control's event types; Sender is always the control.
using TIpAddressReplyEvent = std::function<void(TObject* Sender, uintptr_t Handle, const TInAddr& Address)>;
using TIpErrorEvent = std::function<void(TObject* Sender, TSocket Socket, int32_t ErrCode, const std::string& ErrStr)>;
using TIpErrorReplyEvent =
    std::function<void(TObject* Sender, uintptr_t Handle, int32_t ErrCode, const std::string& ErrStr)>;
using TIpIdleTimeoutEvent = std::function<void(TObject* Sender, TSocket Socket, bool& Reset)>;
using TIpItemSentEvent = std::function<void(TObject* Sender, TSocket Socket, uint32_t Handle, uint32_t Remaining)>;
using TIpNameReplyEvent = std::function<void(TObject* Sender, uintptr_t Handle, const std::string& Name)>;
using TIpPortReplyEvent = std::function<void(TObject* Sender, uintptr_t Handle, int32_t Port)>;
using TIpReadLineEvent = std::function<void(TObject* Sender, TSocket Socket, const std::string& Line)>;
using TIpServiceReplyEvent = std::function<void(TObject* Sender, uintptr_t Handle, const std::string& Service)>;
using TIpStatusEvent = std::function<void(TObject* Sender, TSocket Socket, TIpStatusType Event,
                                          const TIpConnRec& Connection, const TIpSockStatRec& StatRec)>;
