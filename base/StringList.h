#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/Persistent.h"

enum class TDuplicates { dupIgnore, dupAccept, dupError };

// An ordered list of strings, each with an optional associated object pointer (not owned).
// When Sorted, Add inserts in order and Duplicates decides what a second equal string does.
class TStringList : public TPersistent {
public:
  TStringList() = default;

  int Count() const { return static_cast<int>(FItems.size()); }
  const std::string& Strings(int Index) const;
  void SetStrings(int Index, const std::string& Value);
  void* Objects(int Index) const;
  void SetObjects(int Index, void* Value);

  // Answers the index of the new string (or of the equal one when dupIgnore drops it).
  int Add(const std::string& S);
  int AddObject(const std::string& S, void* Object);
  void Insert(int Index, const std::string& S);
  void InsertObject(int Index, const std::string& S, void* Object);
  void Delete(int Index);
  void Clear();
  void Exchange(int Index1, int Index2);
  int IndexOf(const std::string& S) const;
  int IndexOfObject(const void* Object) const;
  // Binary search of a sorted list: true and the index of the first equal string, or false
  // and the index at which S would be inserted.
  bool Find(const std::string& S, int& Index) const;

  bool Sorted() const { return FSorted; }
  void SetSorted(bool Value);
  TDuplicates Duplicates() const { return FDuplicates; }
  void SetDuplicates(TDuplicates Value) { FDuplicates = Value; }
  bool CaseSensitive() const { return FCaseSensitive; }
  void SetCaseSensitive(bool Value);
  void Sort();
  void CustomSort(const std::function<int(const TStringList&, int, int)>& Compare);

  // Strings separated by commas; a string with a blank, comma, quote or control character
  // is quoted with '"', quotes inside doubled.
  std::string CommaText() const;
  void SetCommaText(const std::string& Value);
  // One string per line, each followed by "\n".
  std::string Text() const;
  // Splits at CR, LF or CR LF; a break at the very end adds no empty line.
  void SetText(const std::string& Value);

  void CopyFrom(const TPersistent& Source) override;

private:
  struct TItem {
    std::string S;
    void* Object = nullptr;
  };
  // Replaces the content with Items.
  void ReplaceItems(std::vector<TItem> Items);
  int CompareStrings(const std::string& A, const std::string& B) const;
  void CheckIndex(int Index) const;
  void CheckUnsorted() const;

  std::vector<TItem> FItems;
  bool FSorted = false;
  bool FCaseSensitive = false;
  TDuplicates FDuplicates = TDuplicates::dupIgnore;
};
