#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/Persistent.h"

class TCollection;

// One item of a collection; it belongs to at most one collection, which frees it.
class TCollectionItem : public TPersistent {
public:
  explicit TCollectionItem(TCollection* ACollection);
  ~TCollectionItem() override;

  TCollection* Collection() const { return FCollection; }
  // Moves the item into another collection (or out of any, with nullptr).
  void SetCollection(TCollection* Value);
  int ID() const { return FID; }
  int Index() const;
  // Moves the item to Value, clamped to the collection's bounds.
  virtual void SetIndex(int Value);
  // The name shown for the item; the class name when it has no name of its own.
  virtual std::string DisplayName() const;
  virtual void SetDisplayName(const std::string& Value);

protected:
  // Tells the collection that this item (AllItems: every item) changed.
  void Changed(bool AllItems);

private:
  friend class TCollection;
  TCollection* FCollection = nullptr;
  int FID = 0;
};

// An ordered list of items that owns them.
class TCollection : public TPersistent {
public:
  TCollection() = default;
  ~TCollection() override;

  int Count() const { return static_cast<int>(FItems.size()); }
  TCollectionItem* Items(int Index) const;
  TCollectionItem* FindItemID(int ID) const;
  void Delete(int Index);
  void Clear();
  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }

protected:
  // Item changed (nullptr: the whole collection); not called inside BeginUpdate/EndUpdate.
  virtual void Update(TCollectionItem* Item);
  // Called after an item joined or before it leaves.
  virtual void Added(TCollectionItem* Item);
  virtual void Removing(TCollectionItem* Item);

private:
  friend class TCollectionItem;
  void InsertItem(TCollectionItem* Item);
  void RemoveItem(TCollectionItem* Item);
  void MoveItem(int From, int To);
  void NotifyChanged(TCollectionItem* Item);

  std::vector<TCollectionItem*> FItems;
  int FNextID = 0;
  int FUpdateCount = 0;
};

// A collection that has an owner: the object whose property it is.
class TOwnedCollection : public TCollection {
public:
  explicit TOwnedCollection(TPersistent* AOwner) : FOwner(AOwner) {}
  TPersistent* Owner() const { return FOwner; }

private:
  TPersistent* FOwner;
};
