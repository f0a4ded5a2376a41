#pragma once

#include <memory>
#include <vector>

#include "base/Object.h"

// Maps keys to the objects it holds. It owns its values: an extracted value goes to the
// caller, and the values left at destruction are freed with the list.
class TKtIndexedObjectList : public TObject {
public:
  // The value stored for Key, or nullptr.
  TObject* Find(const void* Key) const;
  // Replaces the value of Key (freeing the old one) or appends the pair.
  void Put(const void* Key, std::unique_ptr<TObject> Value);
  // Removes the pair; nullptr when Key is absent.
  std::unique_ptr<TObject> Extract(const void* Key);
  std::unique_ptr<TObject> ExtractAt(int Index);
  // Frees every value, first pair first.
  void FreeAll();
  int Count() const { return static_cast<int>(FKeys.size()); }
  const void* Keys(int Index) const { return FKeys.at(static_cast<size_t>(Index)); }
  TObject* Values(int Index) const { return FValues.at(static_cast<size_t>(Index)).get(); }

private:
  int IndexOf(const void* Key) const;

  std::vector<const void*> FKeys;
  std::vector<std::unique_ptr<TObject>> FValues;
};
