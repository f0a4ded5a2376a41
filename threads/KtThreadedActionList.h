#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "base/Collection.h"
#include "threads/KtNestedCtrls.h"
#include "threads/KtNotifierEx.h"
#include "threads/KtThreadedActionPool.h"

class TKtCustomThreadedAction;
class TKtCustomThreadedActionList;
class TKtCategories;

// A named group of a list's actions with a pool of its own. An empty name is the default
// category.
class TKtCategory : public TCollectionItem {
public:
  explicit TKtCategory(TKtCategories* ACollection);
  // Clears the Category of the actions that named it, then frees the pool.
  ~TKtCategory() override;

  const std::string& Name() const { return FName; }
  // Raises EKtThreadedActionCategoryAlreadyExists for a name another category has, and
  // EListError when the pool's name is taken; either way nothing changes.
  void SetName(const std::string& Value);
  TKtThreadPool* ThreadPool() const { return FThreadPool; }
  std::string DisplayName() const override;
  // Takes over the name of another category without checks, and its pool's Fanout; each
  // category keeps its own pool.
  void CopyFrom(const TPersistent& Source) override;
  std::string ClassName() const override { return "TKtCategory"; }

private:
  TKtCustomThreadedActionList* List() const { return FList; }

  TKtCustomThreadedActionList* FList;
  std::string FName;
  TKtThreadPool* FThreadPool = nullptr;  // owned as a component of the list, freed here
};

class TKtCategories : public TOwnedCollection {
public:
  explicit TKtCategories(TKtCustomThreadedActionList* AOwner);
  TKtCategory* Add();
  TKtCategory* Items(int Index) const { return static_cast<TKtCategory*>(TCollection::Items(Index)); }
  TKtCustomThreadedActionList* List() const { return FList; }

private:
  TKtCustomThreadedActionList* FList;
};

// Holds threaded actions as its children and groups them in categories, each with a pool.
// Configure it on the main thread; its actions' Execute may run on any thread.
class TKtCustomThreadedActionList : public TKtCustomParent {
public:
  explicit TKtCustomThreadedActionList(TComponent* AOwner);
  ~TKtCustomThreadedActionList() override;

  TKtCategories& Categories() { return *FCategories; }
  // The first category named Name, compared without regard to case; raises
  // EKtThreadedActionCategoryDoesNotExist when there is none.
  TKtCategory* FindCategory(const std::string& Name) const;
  // Every action whose Category is exactly Name goes to the default category.
  void ClearCategory(const std::string& Name);
  // Stops the workers of Action's category when no other action names it; the category
  // gets new workers when it is used again. Called from a job of that category, it sets the
  // job's own worker aside (see TKtCustomThreadPool::Clear).
  void ReleaseCategoryPool(TKtCustomThreadedAction* Action);

  // Raises EKtThreadedActionCategoryDoesNotExist when the action's category is missing.
  void AddChild(TKtCustomChild* Child) override;
  void RemoveChild(TKtCustomChild* Child) override;
  TKtCustomThreadedAction* Actions(int Index) const;

  bool Active() const { return FActive.load(); }
  void SetActive(bool Value);
  // Deactivates the list, shuts its actions down and stops every category pool for good.
  // Called from a category job, it sets the job's own worker aside until the list goes.
  void Shutdown();

  // On the worker: the last resort of the actions' exception handling.
  bool DoException(TObject* Sender, const std::exception& E);
  void DoNotify(TObject* Sender, const std::shared_ptr<IKtNotifyParams>& Params);
  // From any thread: sends Text and Values to the notification handler on the main thread.
  void Notify(const std::string& Text, TVarRecs Values = {});
  TKtThreadExceptionEvent ExceptionHandler() const;
  // Also copied into each category pool created afterwards.
  void SetExceptionHandler(TKtThreadExceptionEvent Value);
  void SetNotificationHandler(TKtThreadNotifyEvent Value);

  std::string Version() const { return "1.2.2"; }
  void SetVersion(const std::string&) {}

  std::string ClassName() const override { return "TKtCustomThreadedActionList"; }

protected:
  void ComponentRemoved(TComponent* AComponent) override;

private:
  friend class TKtCategory;
  friend class TKtCustomThreadedAction;

  TKtCategory* FindCategoryOrNull(const std::string& Name) const;
  // Whether a category being made now is the list's default one, which keeps its empty name.
  bool CreatingDefaultCategory() const { return FCreatingDefault; }

  // Held for writing while children, categories or active change; Execute reads under it.
  mutable std::shared_mutex FSync;
  std::unique_ptr<TKtCategories> FCategories;
  std::atomic<bool> FActive{true};
  bool FCreatingDefault = false;
  mutable std::mutex FHandlerLock;
  TKtThreadExceptionEvent FExceptionHandler;
  TKtThreadNotifyEvent FNotificationHandler;
  TComponentPtr<TKtNotifierEx> FNotifier;
};

class TKtThreadedActionList : public TKtCustomThreadedActionList {
public:
  using TKtCustomThreadedActionList::TKtCustomThreadedActionList;
  std::string ClassName() const override { return "TKtThreadedActionList"; }
};
