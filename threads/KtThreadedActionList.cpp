#include "threads/KtThreadedActionList.h"

#include <cctype>

#include "base/Format.h"
#include "threads/KtCompareText.h"
#include "threads/KtThreadedActionExceptions.h"
#include "threads/KtThreadedActions.h"

namespace {
// A pool's name: the category name without the characters a component name cannot hold.
std::string PoolNameOf(const std::string& CategoryName) {
  std::string name;
  for (char c : CategoryName)
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') name += c;
  return name + "ThreadPool";
}
}  // namespace

TKtCategory::TKtCategory(TKtCategories* ACollection) : TCollectionItem(ACollection), FList(ACollection->List()) {
  const int count = ACollection->Count();
  if (!FList->Loading() && !FList->CreatingDefaultCategory()) {
    // Skips names whose pool name is taken too, by a category renamed to a near twin.
    for (int n = 1;; ++n) {
      const std::string candidate = Format("Category%d", n);
      if (!FList->FindCategoryOrNull(candidate) && !FList->FindComponent(PoolNameOf(candidate))) {
        FName = candidate;
        break;
      }
    }
  }
  TComponentPtr<TKtThreadPool> pool(new TKtThreadPool(FList));
  pool->SetSubComponent(true);
  pool->SetExceptionHandler(FList->ExceptionHandler());
  if (count == 1 || !FName.empty()) pool->SetName(Format("%sThreadPool", FName.c_str()));
  FThreadPool = pool.release();
}

TKtCategory::~TKtCategory() {
  TComponentPtr<TKtThreadPool> pool(FThreadPool);
  if (Collection()) {
    // Out of the collection under the synchroniser: no Execute may find it from here on.
    std::unique_lock<std::shared_mutex> write(FList->FSync);
    SetCollection(nullptr);
    for (int i = 0; i < FList->Count(); ++i) FList->Actions(i)->ForgetCategory(this);
  }
  FList->ClearCategory(FName);
}

void TKtCategory::SetName(const std::string& Value) {
  if (Value == FName) return;
  TKtCategories& categories = FList->Categories();
  for (int i = 0; i < categories.Count(); ++i)
    if (categories.Items(i) != this && categories.Items(i)->Name() == Value)
      throw EKtThreadedActionCategoryAlreadyExists(Value);
  FThreadPool->SetName(PoolNameOf(Value));
  {
    std::unique_lock<std::shared_mutex> write(FList->FSync);
    FName = Value;
  }
  Changed(false);
}

std::string TKtCategory::DisplayName() const { return FName.empty() ? "(No Category)" : FName; }

void TKtCategory::CopyFrom(const TPersistent& Source) {
  const auto* source = dynamic_cast<const TKtCategory*>(&Source);
  if (!source) {
    TCollectionItem::CopyFrom(Source);
    return;
  }
  {
    std::unique_lock<std::shared_mutex> write(FList->FSync);
    FName = source->FName;
  }
  FThreadPool->SetFanout(source->FThreadPool->Fanout());
}

TKtCategories::TKtCategories(TKtCustomThreadedActionList* AOwner) : TOwnedCollection(AOwner), FList(AOwner) {}

TKtCategory* TKtCategories::Add() {
  // The collection owns the item from its construction on.
  return new TKtCategory(this);
}

TKtCustomThreadedActionList::TKtCustomThreadedActionList(TComponent* AOwner)
    : TKtCustomParent(AOwner), FCategories(std::make_unique<TKtCategories>(this)) {
  if (!AOwner || !AOwner->Loading()) {
    FCreatingDefault = true;
    FCategories->Add();
    FCreatingDefault = false;
  }
  if (AOwner) AOwner->FreeNotification(this);
  FNotifier.reset(new TKtNotifierEx(nullptr));
  FNotifier->SetOnNotify([this](TObject* Sender, const std::shared_ptr<IKtNotifyParams>& Params) {
    DoNotify(Sender, Params);
  });
  FNotifier->SetQueueStrategy(qsWait);
}

TKtCustomThreadedActionList::~TKtCustomThreadedActionList() {
  // Only a list deleted without PrepareDestruction still has children; they must forget it.
  while (Count() > 0) RemoveChild(Children(Count() - 1));
  SetNotificationHandler(nullptr);
  // Cleared before it goes: each category's destructor still looks at its siblings.
  FCategories->Clear();
  FCategories.reset();
  FNotifier.reset();
}

TKtCategory* TKtCustomThreadedActionList::FindCategoryOrNull(const std::string& Name) const {
  for (int i = 0; i < FCategories->Count(); ++i)
    if (SameText(FCategories->Items(i)->Name(), Name)) return FCategories->Items(i);
  return nullptr;
}

TKtCategory* TKtCustomThreadedActionList::FindCategory(const std::string& Name) const {
  if (TKtCategory* category = FindCategoryOrNull(Name)) return category;
  throw EKtThreadedActionCategoryDoesNotExist(Name);
}

void TKtCustomThreadedActionList::ClearCategory(const std::string& Name) {
  // Stored without a look-up: the default category itself may be gone, and this runs while
  // a category is destroyed.
  for (int i = 0; i < Count(); ++i)
    if (Actions(i)->Category() == Name) Actions(i)->ResetCategory();
}

void TKtCustomThreadedActionList::ReleaseCategoryPool(TKtCustomThreadedAction* Action) {
  const std::string name = Action->Category();
  for (int i = 0; i < Count(); ++i)
    if (Actions(i) != Action && SameText(Actions(i)->Category(), name)) return;
  // The category may have gone already; then its workers went with it.
  if (TKtCategory* category = FindCategoryOrNull(name)) category->ThreadPool()->Restart();
}

void TKtCustomThreadedActionList::AddChild(TKtCustomChild* Child) {
  auto* action = dynamic_cast<TKtCustomThreadedAction*>(Child);
  if (!action) {
    throw EKtThreadedAction(Format("%s %s is no threaded action and cannot join the list %s",
                                   Child->ClassName().c_str(), Child->Name().c_str(), Name().c_str()));
  }
  std::unique_lock<std::shared_mutex> write(FSync);
  FindCategory(action->Category());
  TKtCustomParent::AddChild(Child);
  action->SetList(this);
}

void TKtCustomThreadedActionList::RemoveChild(TKtCustomChild* Child) {
  std::unique_lock<std::shared_mutex> write(FSync);
  if (IndexOfChild(Child) < 0) return;
  TKtCustomParent::RemoveChild(Child);
  // Every child is an action (AddChild checks), still whole: it leaves before it is taken apart.
  static_cast<TKtCustomThreadedAction*>(Child)->SetList(nullptr);
}

TKtCustomThreadedAction* TKtCustomThreadedActionList::Actions(int Index) const {
  return static_cast<TKtCustomThreadedAction*>(Children(Index));
}

void TKtCustomThreadedActionList::SetActive(bool Value) {
  if (Value == FActive.load()) return;
  std::unique_lock<std::shared_mutex> write(FSync);
  FActive.store(Value);
}

void TKtCustomThreadedActionList::Shutdown() {
  FActive.store(false);
  SetNotificationHandler(nullptr);
  for (int i = 0; i < Count(); ++i) Actions(i)->Shutdown();
  for (int i = 0; i < FCategories->Count(); ++i) FCategories->Items(i)->ThreadPool()->Clear();
}

void TKtCustomThreadedActionList::ComponentRemoved(TComponent* AComponent) {
  if (AComponent && AComponent == Owner()) Shutdown();
  TKtCustomParent::ComponentRemoved(AComponent);
}

bool TKtCustomThreadedActionList::DoException(TObject* Sender, const std::exception& E) {
  bool handled = false;
  if (const TKtThreadExceptionEvent handler = ExceptionHandler()) handler(Sender, E, handled);
  return handled;
}

void TKtCustomThreadedActionList::DoNotify(TObject* Sender, const std::shared_ptr<IKtNotifyParams>& Params) {
  TKtThreadNotifyEvent handler;
  {
    std::lock_guard<std::mutex> guard(FHandlerLock);
    handler = FNotificationHandler;
  }
  if (handler) handler(Sender, Params);
}

void TKtCustomThreadedActionList::Notify(const std::string& Text, TVarRecs Values) {
  FNotifier->Notify(this, Text, Values);
}

TKtThreadExceptionEvent TKtCustomThreadedActionList::ExceptionHandler() const {
  std::lock_guard<std::mutex> guard(FHandlerLock);
  return FExceptionHandler;
}

void TKtCustomThreadedActionList::SetExceptionHandler(TKtThreadExceptionEvent Value) {
  std::lock_guard<std::mutex> guard(FHandlerLock);
  FExceptionHandler = std::move(Value);
}

void TKtCustomThreadedActionList::SetNotificationHandler(TKtThreadNotifyEvent Value) {
  std::lock_guard<std::mutex> guard(FHandlerLock);
  FNotificationHandler = std::move(Value);
}
