#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/Set.h"
#include "ipsock/IpBaseClasses.h"
#include "ipsock/IpDataInits.h"
#include "ipsock/IpDataSocket.h"
#include "ipsock/IpDataSocketOwner.h"
#include "ipsock/IpDebugLog.h"
#include "ipsock/IpEventLog.h"
#include "base/EventSlot.h"
#include "ipsock/IpEvents.h"
#include "platform/MessageWindow.h"

using TIpStatusTypeSet = TSet<TIpStatusType>;

// The control's own messages to its window.
constexpr uint32_t IpLookupReplyMessage = 4752;
constexpr uint32_t IpConnectionChangeMessage = 4754;
constexpr uint32_t IpFreeSocketMessage = 4755;
constexpr uint32_t IpReadLineMessage = 4756;
constexpr uint32_t IpDataCopyMessage = 4757;
constexpr uint32_t IpWindowSizeMessage = 4758;
// The LParam of the connection change message.
constexpr LPARAM IpConnectedNotice = 65537;
constexpr LPARAM IpClosedNotice = 65538;
// The query sent before logging off or shutting down.
constexpr uint32_t WM_QUERYENDSESSION = 17;

// The non-visual component that turns socket notifications, timer ticks and deferred calls,
// all messages to its hidden window, into events on the thread that created it. It owns
// the logs, the settings of new sockets, the window and the timer; the sockets are its
// subclasses' business.
class TIpSockControl : public TIpBaseComponent, public TIpDataSocketOwner {
public:
  static constexpr uint32_t DefaultTimerInterval = 500;
  static constexpr uintptr_t ControlTimerId = 1;

  explicit TIpSockControl(TComponent* AOwner);
  ~TIpSockControl() override;

  // The data entries of this control's sockets; anything else as the engine's base renders it.
  static void FormatDebugEntry(TSocket Socket, uint32_t Type, const uint8_t* Data, uint32_t Length,
                               std::string& Text);

  TIpDebugLog& DebugLog() const { return *FDebugLog; }
  TIpEventLog& EventLog() const { return *FEventLog; }
  TIpDataInits& SockInits() const { return *FSockInits; }
  TIpSockProtocol SockProtocol() const { return FSockProtocol; }
  // Raises EIpActiveError while a socket exists.
  virtual void SetSockProtocol(TIpSockProtocol Value);
  TIpStatusTypeSet StatusEvents() const { return TIpStatusTypeSet::FromBits(FStatusEvents); }
  void SetStatusEvents(TIpStatusTypeSet Value) { FStatusEvents = Value.Bits(); }
  uint32_t TimerInterval() const { return FTimerInterval; }
  // On the control's thread. 0 stops the timer; the current value changes nothing.
  void SetTimerInterval(uint32_t Value);
  uint32_t LastTimerTick() const { return FLastTimerTick; }
  std::string ProtocolName() const;
  TSockAddrIn LocalAddress() const { return FLocalAddress; }
  HWND WindowHandle() const { return FWindow->Handle(); }

  TEventSlot<TIpAddressReplyEvent> OnAddressReply;
  TEventSlot<TIpErrorEvent> OnError;
  TEventSlot<TIpErrorReplyEvent> OnErrorReply;
  TEventSlot<TIpIdleTimeoutEvent> OnIdleTimeout;
  TEventSlot<TIpItemSentEvent> OnItemSent;
  TEventSlot<TIpNameReplyEvent> OnNameReply;
  TEventSlot<TIpPortReplyEvent> OnPortReply;
  TEventSlot<TIpReadLineEvent> OnReadLine;
  TEventSlot<TIpServiceReplyEvent> OnServiceReply;
  TEventSlot<TIpStatusEvent> OnStatus;

  virtual void CreateSocket() = 0;
  virtual void FreeSocket(TSocket Socket) = 0;
  virtual bool HasSocket() const { return false; }
  // The socket with that handle; none, or EIpNoSocketError when RaiseIfMissing.
  virtual std::shared_ptr<TIpDataSocket> FindSocket(TSocket Socket, bool RaiseIfMissing) const;
  virtual LRESULT WndProc(uint32_t Msg, WPARAM WParam, LPARAM LParam);
  // Windows told of connection changes with the connection change message.
  virtual void AttachWindow(HWND Window);
  virtual void DetachWindow(HWND Window);

  // What the sockets ask of their control.
  HWND SocketWindow() const override { return FWindow->Handle(); }
  int32_t SocketType() const override;
  void DoStatus(TSocket Socket, TIpStatusType Event, const TIpConnRec& Connection) override;
  uint32_t LookupName(const std::string& Host) override;
  void DoError(TSocket Socket, int32_t ErrCode, const std::string& ErrStr) override;
  void DoIdleTimeout(TSocket Socket, bool& Reset) override;
  void DoItemSent(TSocket Socket, uint32_t Handle, uint32_t Remaining) override;
  void DoReadLine(TSocket Socket, const std::string& Line) override;
  void PostFreeSocket(TSocket Socket) override;
  TIpDebugLog& SocketDebugLog() override { return *FDebugLog; }
  TIpDebugRenderer SocketDebugRenderer() const override { return &TIpSockControl::FormatDebugEntry; }

  virtual void DoAddressReply(uintptr_t Handle, const TInAddr& Address);
  virtual void DoErrorReply(uintptr_t Handle, int32_t ErrCode, const std::string& ErrStr);
  virtual void DoNameReply(uintptr_t Handle, const std::string& Name);
  virtual void DoPortReply(uintptr_t Handle, int32_t Port);
  virtual void DoServiceReply(uintptr_t Handle, const std::string& Service);
  virtual void DoAccept(TSocket Socket);
  virtual void DoClose(TSocket Socket);
  virtual void DoConnect(TSocket Socket);
  virtual void DoOutOfBand(TSocket Socket);
  virtual void DoRead(TSocket Socket);
  virtual void DoTimer();
  virtual void TimerTick(uint32_t Elapsed);
  virtual void DoWrite(TSocket Socket);

protected:
  std::vector<HWND> AttachedWindows() const;
  // Frees a socket that the caller has just closed; one that a close on another thread
  // freed first is not missed.
  void FreeClosedSocket(TSocket Socket);

private:
  void SocketEvent(TSocket Socket, int32_t Event, int32_t Error);
  void ReadLineMessage(TSocket Socket, LPARAM LineCopy);

  std::unique_ptr<TMessageWindow> FWindow;
  std::unique_ptr<TIpDebugLog> FDebugLog;
  std::unique_ptr<TIpEventLog> FEventLog;
  std::unique_ptr<TIpDataInits> FSockInits;
  std::atomic<TIpSockProtocol> FSockProtocol{spTcp};
  std::atomic<uint64_t> FStatusEvents;
  std::atomic<uint32_t> FTimerInterval{0};
  uint32_t FLastTimerTick = 0;
  mutable std::mutex FAttachedWindowsLock;
  std::vector<HWND> FAttachedWindows;
  const TSockAddrIn FLocalAddress = IpAnyAddress();
};
