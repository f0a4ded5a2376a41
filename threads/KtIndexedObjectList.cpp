#include "threads/KtIndexedObjectList.h"

#include <algorithm>

int TKtIndexedObjectList::IndexOf(const void* Key) const {
  const auto found = std::find(FKeys.begin(), FKeys.end(), Key);
  return found == FKeys.end() ? -1 : static_cast<int>(found - FKeys.begin());
}

TObject* TKtIndexedObjectList::Find(const void* Key) const {
  const int i = IndexOf(Key);
  return i < 0 ? nullptr : FValues[static_cast<size_t>(i)].get();
}

void TKtIndexedObjectList::Put(const void* Key, std::unique_ptr<TObject> Value) {
  const int i = IndexOf(Key);
  if (i >= 0) {
    FValues[static_cast<size_t>(i)] = std::move(Value);
    return;
  }
  FKeys.push_back(Key);
  FValues.push_back(std::move(Value));
}

std::unique_ptr<TObject> TKtIndexedObjectList::Extract(const void* Key) {
  const int i = IndexOf(Key);
  return i < 0 ? nullptr : ExtractAt(i);
}

std::unique_ptr<TObject> TKtIndexedObjectList::ExtractAt(int Index) {
  if (Index < 0 || Index >= Count()) return nullptr;
  std::unique_ptr<TObject> value = std::move(FValues[static_cast<size_t>(Index)]);
  FKeys.erase(FKeys.begin() + Index);
  FValues.erase(FValues.begin() + Index);
  return value;
}

void TKtIndexedObjectList::FreeAll() {
  while (Count() > 0) ExtractAt(0);
}
