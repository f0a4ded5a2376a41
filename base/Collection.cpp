#include "base/Collection.h"

#include <algorithm>

#include "base/Exception.h"
#include "base/Format.h"

TCollectionItem::TCollectionItem(TCollection* ACollection) { SetCollection(ACollection); }

TCollectionItem::~TCollectionItem() {
  if (FCollection) FCollection->RemoveItem(this);
}

void TCollectionItem::SetCollection(TCollection* Value) {
  if (Value == FCollection) return;
  if (FCollection) FCollection->RemoveItem(this);
  if (Value) Value->InsertItem(this);
}

int TCollectionItem::Index() const {
  if (!FCollection) return -1;
  const auto& items = FCollection->FItems;
  return static_cast<int>(std::find(items.begin(), items.end(), this) - items.begin());
}

void TCollectionItem::SetIndex(int Value) {
  if (!FCollection) return;
  const int current = Index();
  const int last = FCollection->Count() - 1;
  const int target = std::clamp(Value, 0, last);
  if (target != current) FCollection->MoveItem(current, target);
}

std::string TCollectionItem::DisplayName() const { return ClassName(); }

void TCollectionItem::SetDisplayName(const std::string&) { Changed(false); }

void TCollectionItem::Changed(bool AllItems) {
  if (FCollection && FCollection->FUpdateCount == 0) FCollection->NotifyChanged(AllItems ? nullptr : this);
}

TCollection::~TCollection() {
  FUpdateCount = 1;  // no change reports while tearing down
  Clear();
}

TCollectionItem* TCollection::Items(int Index) const {
  if (Index < 0 || Index >= Count()) throw EListError(Format("List index out of bounds (%d)", Index));
  return FItems[static_cast<size_t>(Index)];
}

TCollectionItem* TCollection::FindItemID(int ID) const {
  for (TCollectionItem* item : FItems)
    if (item->FID == ID) return item;
  return nullptr;
}

void TCollection::Delete(int Index) { delete Items(Index); }

void TCollection::Clear() {
  if (FItems.empty()) return;
  BeginUpdate();
  while (!FItems.empty()) delete FItems.back();
  EndUpdate();
}

void TCollection::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0) NotifyChanged(nullptr);
}

void TCollection::Update(TCollectionItem*) {}
void TCollection::Added(TCollectionItem*) {}
void TCollection::Removing(TCollectionItem*) {}

void TCollection::InsertItem(TCollectionItem* Item) {
  FItems.push_back(Item);
  Item->FCollection = this;
  Item->FID = FNextID++;
  Added(Item);
  NotifyChanged(nullptr);
}

void TCollection::RemoveItem(TCollectionItem* Item) {
  Removing(Item);
  FItems.erase(std::find(FItems.begin(), FItems.end(), Item));
  Item->FCollection = nullptr;
  NotifyChanged(nullptr);
}

void TCollection::MoveItem(int From, int To) {
  TCollectionItem* item = FItems[static_cast<size_t>(From)];
  FItems.erase(FItems.begin() + From);
  FItems.insert(FItems.begin() + To, item);
  NotifyChanged(nullptr);
}

void TCollection::NotifyChanged(TCollectionItem* Item) {
  if (FUpdateCount == 0) Update(Item);
}
