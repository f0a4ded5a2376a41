#include "base/StringList.h"

#include <algorithm>
#include <cctype>

#include "base/Exception.h"
#include "base/Format.h"

namespace {
int CompareNoCase(const std::string& A, const std::string& B) {
  const size_t n = std::min(A.size(), B.size());
  for (size_t i = 0; i < n; ++i) {
    const int a = std::tolower(static_cast<unsigned char>(A[i]));
    const int b = std::tolower(static_cast<unsigned char>(B[i]));
    if (a != b) return a < b ? -1 : 1;
  }
  return A.size() == B.size() ? 0 : (A.size() < B.size() ? -1 : 1);
}

bool NeedsQuotes(const std::string& S) {
  if (S.empty()) return true;
  return std::any_of(S.begin(), S.end(), [](char c) {
    return static_cast<unsigned char>(c) <= ' ' || c == ',' || c == '"';
  });
}
}  // namespace

int TStringList::CompareStrings(const std::string& A, const std::string& B) const {
  if (FCaseSensitive) return A.compare(B) < 0 ? -1 : (A == B ? 0 : 1);
  return CompareNoCase(A, B);
}

void TStringList::CheckIndex(int Index) const {
  if (Index < 0 || Index >= Count()) throw EListError(Format("List index out of bounds (%d)", Index));
}

void TStringList::CheckUnsorted() const {
  if (FSorted) throw EListError("Operation not allowed on sorted list");
}

const std::string& TStringList::Strings(int Index) const {
  CheckIndex(Index);
  return FItems[static_cast<size_t>(Index)].S;
}

void TStringList::SetStrings(int Index, const std::string& Value) {
  CheckUnsorted();
  CheckIndex(Index);
  FItems[static_cast<size_t>(Index)].S = Value;
}

void* TStringList::Objects(int Index) const {
  CheckIndex(Index);
  return FItems[static_cast<size_t>(Index)].Object;
}

void TStringList::SetObjects(int Index, void* Value) {
  CheckIndex(Index);
  FItems[static_cast<size_t>(Index)].Object = Value;
}

int TStringList::Add(const std::string& S) { return AddObject(S, nullptr); }

int TStringList::AddObject(const std::string& S, void* Object) {
  if (!FSorted) {
    FItems.push_back({S, Object});
    return Count() - 1;
  }
  int index = 0;
  if (Find(S, index)) {
    switch (FDuplicates) {
      case TDuplicates::dupIgnore:
        return index;
      case TDuplicates::dupError:
        throw EListError("String list does not allow duplicates");
      case TDuplicates::dupAccept:
        // Equal strings keep the order in which they were added.
        while (index < Count() && CompareStrings(FItems[static_cast<size_t>(index)].S, S) == 0) ++index;
        break;
    }
  }
  FItems.insert(FItems.begin() + index, TItem{S, Object});
  return index;
}

void TStringList::Insert(int Index, const std::string& S) { InsertObject(Index, S, nullptr); }

void TStringList::InsertObject(int Index, const std::string& S, void* Object) {
  CheckUnsorted();
  if (Index < 0 || Index > Count()) throw EListError(Format("List index out of bounds (%d)", Index));
  FItems.insert(FItems.begin() + Index, TItem{S, Object});
}

void TStringList::Delete(int Index) {
  CheckIndex(Index);
  FItems.erase(FItems.begin() + Index);
}

void TStringList::Clear() { FItems.clear(); }

void TStringList::Exchange(int Index1, int Index2) {
  CheckUnsorted();
  CheckIndex(Index1);
  CheckIndex(Index2);
  std::swap(FItems[static_cast<size_t>(Index1)], FItems[static_cast<size_t>(Index2)]);
}

int TStringList::IndexOf(const std::string& S) const {
  if (FSorted) {
    int index = 0;
    return Find(S, index) ? index : -1;
  }
  for (int i = 0; i < Count(); ++i)
    if (CompareStrings(FItems[static_cast<size_t>(i)].S, S) == 0) return i;
  return -1;
}

int TStringList::IndexOfObject(const void* Object) const {
  for (int i = 0; i < Count(); ++i)
    if (FItems[static_cast<size_t>(i)].Object == Object) return i;
  return -1;
}

bool TStringList::Find(const std::string& S, int& Index) const {
  int low = 0;
  int high = Count() - 1;
  bool found = false;
  while (low <= high) {
    const int mid = low + (high - low) / 2;
    const int c = CompareStrings(FItems[static_cast<size_t>(mid)].S, S);
    if (c < 0) {
      low = mid + 1;
    } else {
      high = mid - 1;
      if (c == 0) found = true;  // keep going left to the first equal string
    }
  }
  Index = low;
  return found;
}

void TStringList::SetSorted(bool Value) {
  if (Value == FSorted) return;
  if (Value) Sort();
  FSorted = Value;
}

void TStringList::SetCaseSensitive(bool Value) {
  if (Value == FCaseSensitive) return;
  FCaseSensitive = Value;
  if (FSorted) Sort();
}

void TStringList::Sort() {
  std::stable_sort(FItems.begin(), FItems.end(),
                   [this](const TItem& a, const TItem& b) { return CompareStrings(a.S, b.S) < 0; });
}

void TStringList::CustomSort(const std::function<int(const TStringList&, int, int)>& Compare) {
  CheckUnsorted();
  // Insertion sort by index, since Compare reads the list as it stands.
  for (int i = 1; i < Count(); ++i)
    for (int j = i; j > 0 && Compare(*this, j - 1, j) > 0; --j)
      std::swap(FItems[static_cast<size_t>(j - 1)], FItems[static_cast<size_t>(j)]);
}

std::string TStringList::CommaText() const {
  std::string result;
  for (int i = 0; i < Count(); ++i) {
    if (i > 0) result += ',';
    const std::string& s = FItems[static_cast<size_t>(i)].S;
    if (!NeedsQuotes(s)) {
      result += s;
      continue;
    }
    result += '"';
    for (char c : s) {
      if (c == '"') result += '"';
      result += c;
    }
    result += '"';
  }
  return result;
}

void TStringList::SetCommaText(const std::string& Value) {
  std::vector<TItem> items;
  size_t i = 0;
  const size_t n = Value.size();
  auto isBlank = [&](size_t at) { return static_cast<unsigned char>(Value[at]) <= ' '; };
  while (i < n && isBlank(i)) ++i;
  while (i < n) {
    std::string item;
    if (Value[i] == '"') {
      ++i;
      while (i < n) {
        if (Value[i] == '"') {
          if (i + 1 < n && Value[i + 1] == '"') {
            item += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        item += Value[i++];
      }
    } else {
      while (i < n && Value[i] != ',' && !isBlank(i)) item += Value[i++];
    }
    items.push_back({item, nullptr});
    while (i < n && isBlank(i)) ++i;
    if (i < n && Value[i] == ',') {
      ++i;
      while (i < n && isBlank(i)) ++i;
      if (i == n) items.push_back({std::string(), nullptr});
    }
  }
  ReplaceItems(std::move(items));
}

std::string TStringList::Text() const {
  std::string result;
  for (const TItem& item : FItems) {
    result += item.S;
    result += '\n';
  }
  return result;
}

void TStringList::SetText(const std::string& Value) {
  std::vector<TItem> items;
  size_t start = 0;
  const size_t n = Value.size();
  while (start < n) {
    size_t end = start;
    while (end < n && Value[end] != '\r' && Value[end] != '\n') ++end;
    items.push_back({Value.substr(start, end - start), nullptr});
    if (end < n && Value[end] == '\r') {
      ++end;
      if (end < n && Value[end] == '\n') ++end;
    } else if (end < n) {
      ++end;  // a lone line feed
    }
    start = end;
  }
  ReplaceItems(std::move(items));
}

void TStringList::ReplaceItems(std::vector<TItem> Items) {
  Clear();
  if (!FSorted) {
    FItems = std::move(Items);
    return;
  }
  // A sorted list takes each string as Add does, so that Duplicates holds for it too.
  for (TItem& item : Items) AddObject(item.S, item.Object);
}

void TStringList::CopyFrom(const TPersistent& Source) {
  if (const auto* other = dynamic_cast<const TStringList*>(&Source)) {
    if (other != this) ReplaceItems(other->FItems);
    return;
  }
  TPersistent::CopyFrom(Source);
}
