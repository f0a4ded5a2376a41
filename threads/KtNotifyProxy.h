#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "threads/KtParams.h"

class TKtHostThread;
class TNotificationItemQueue;

using TKtThreadNotifyEvent = std::function<void(TObject* Sender, const std::shared_ptr<IKtNotifyParams>& Params)>;
// The in-flight count of one notification queue, shared with its notifications so that a
// late delivery can count out even after the queue has gone.
using TKtInFlightCounter = std::shared_ptr<std::atomic<int>>;

// A notification's parameters together with the callback that will receive them.
class IKtNotifyProxy : public virtual IKtNotifyParams {
public:
  virtual const TKtThreadNotifyEvent& Callback() const = 0;
  virtual TNotificationItemQueue* Queue() const = 0;
  virtual const TKtInFlightCounter& InFlight() const = 0;
  virtual void SetCallback(TKtThreadNotifyEvent Callback) = 0;
  virtual void SetQueue(TNotificationItemQueue* Queue) = 0;
};

class TKtNotifyProxy : public TKtNotifyParams, public virtual IKtNotifyProxy {
public:
  TKtNotifyProxy(std::string Text, TVarRecs Values, bool Log = false);
  const TKtThreadNotifyEvent& Callback() const override { return FCallback; }
  TNotificationItemQueue* Queue() const override { return FQueue; }
  const TKtInFlightCounter& InFlight() const override { return FInFlight; }
  void SetCallback(TKtThreadNotifyEvent Callback) override { FCallback = std::move(Callback); }
  void SetQueue(TNotificationItemQueue* Queue) override;
  std::string ClassName() const override { return "TKtNotifyProxy"; }

private:
  TKtThreadNotifyEvent FCallback;
  TNotificationItemQueue* FQueue = nullptr;
  TKtInFlightCounter FInFlight;
};

// The result of one job, which a waiting thread can also block on.
class IKtResultParams : public virtual IKtNotifyParams {
public:
  // Waits alertably until signalled or Timeout milliseconds pass.
  virtual void WaitFor(uint32_t Timeout) = 0;
  // Marks the result ready and ends Thread's wait on it.
  virtual void Signal(TKtHostThread* Thread) = 0;
  virtual bool Signalled() const = 0;
};

class TKtResultProxy : public TKtNotifyProxy, public virtual IKtResultParams {
public:
  TKtResultProxy();
  void WaitFor(uint32_t Timeout) override;
  void Signal(TKtHostThread* Thread) override;
  bool Signalled() const override;
  std::string ClassName() const override { return "TKtResultProxy"; }

private:
  bool FSignalled = false;  // under the proxy lock
  std::atomic<int> FWaiters{0};
};
