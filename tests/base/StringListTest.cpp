#include <gtest/gtest.h>

#include "base/Exception.h"
#include "base/StringList.h"

namespace {
std::vector<std::string> Items(const TStringList& L) {
  std::vector<std::string> out;
  for (int i = 0; i < L.Count(); ++i) out.push_back(L.Strings(i));
  return out;
}
}  // namespace

TEST(StringList, SortedListKeepsOrderAndHonoursDuplicates) {
  TStringList list;
  list.SetSorted(true);
  list.Add("pear");
  list.Add("Apple");
  list.Add("banana");
  EXPECT_EQ(Items(list), (std::vector<std::string>{"Apple", "banana", "pear"}));

  // dupIgnore: the equal string is not added, its index comes back.
  EXPECT_EQ(list.Add("apple"), 0);
  EXPECT_EQ(list.Count(), 3);

  list.SetDuplicates(TDuplicates::dupError);
  EXPECT_THROW(list.Add("PEAR"), EListError);

  list.SetDuplicates(TDuplicates::dupAccept);
  int dummy = 0;
  list.AddObject("banana", &dummy);
  EXPECT_EQ(Items(list), (std::vector<std::string>{"Apple", "banana", "banana", "pear"}));
  // Equal strings keep the order they came in; Find gives the first of them.
  EXPECT_EQ(list.Objects(2), &dummy);
  int index = -1;
  EXPECT_TRUE(list.Find("BANANA", index));
  EXPECT_EQ(index, 1);
  EXPECT_FALSE(list.Find("cherry", index));
  EXPECT_EQ(index, 3);
  EXPECT_THROW(list.Insert(0, "x"), EListError);
}

TEST(StringList, CaseSensitiveSortingOrdersCapitalsFirst) {
  TStringList list;
  list.SetCaseSensitive(true);
  list.Add("b");
  list.Add("B");
  list.Add("a");
  list.SetSorted(true);
  EXPECT_EQ(Items(list), (std::vector<std::string>{"B", "a", "b"}));
  EXPECT_EQ(list.IndexOf("A"), -1);
}

TEST(StringList, IndexErrorsNameTheIndex) {
  TStringList list;
  try {
    list.Strings(3);
    FAIL() << "no error";
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (3)");
  }
  EXPECT_THROW(list.Delete(-1), EListError);
}

TEST(StringList, CommaTextQuotesWhatNeedsIt) {
  TStringList list;
  list.Add("plain");
  list.Add("two words");
  list.Add("say \"hi\"");
  list.Add("");
  list.Add("a,b");
  EXPECT_EQ(list.CommaText(), "plain,\"two words\",\"say \"\"hi\"\"\",\"\",\"a,b\"");

  TStringList back;
  back.SetCommaText(list.CommaText());
  EXPECT_EQ(Items(back), Items(list));
}

TEST(StringList, CommaTextParsingSplitsAtBlanksOutsideQuotes) {
  TStringList list;
  list.SetCommaText(" one two,  \"three four\" ,five,");
  EXPECT_EQ(Items(list), (std::vector<std::string>{"one", "two", "three four", "five", ""}));
  list.SetCommaText("");
  EXPECT_EQ(list.Count(), 0);
}

TEST(StringList, TextSplitsAtEveryLineBreakKind) {
  TStringList list;
  list.SetText("a\r\nb\rc\nd\n");
  EXPECT_EQ(Items(list), (std::vector<std::string>{"a", "b", "c", "d"}));
  list.SetText("x\n\ny");
  EXPECT_EQ(Items(list), (std::vector<std::string>{"x", "", "y"}));
  list.SetText("\r\n");
  EXPECT_EQ(Items(list), (std::vector<std::string>{""}));
  EXPECT_EQ(list.Text(), "\n");
}

TEST(StringList, CopyFromTakesStringsAndObjects) {
  TStringList a;
  int marker = 0;
  a.AddObject("k", &marker);
  TStringList b;
  b.Add("old");
  b.CopyFrom(a);
  EXPECT_EQ(Items(b), (std::vector<std::string>{"k"}));
  EXPECT_EQ(b.Objects(0), &marker);
}

TEST(StringList, ASortedListControlsDuplicatesOnEveryWayIn) {
  TStringList list;
  list.SetSorted(true);
  list.SetCommaText("pear,apple,Pear,fig");
  EXPECT_EQ(Items(list), (std::vector<std::string>{"apple", "fig", "pear"})) << "dupIgnore drops the second pear";
  list.SetText("b\na\nB\n");
  EXPECT_EQ(Items(list), (std::vector<std::string>{"a", "b"}));

  TStringList source;
  source.SetCommaText("x,y,X");
  list.CopyFrom(source);
  EXPECT_EQ(Items(list), (std::vector<std::string>{"x", "y"}));

  list.SetDuplicates(TDuplicates::dupError);
  EXPECT_THROW(list.SetCommaText("one,ONE"), EListError);
  list.SetDuplicates(TDuplicates::dupAccept);
  list.SetCommaText("b,a,b");
  EXPECT_EQ(Items(list), (std::vector<std::string>{"a", "b", "b"}));
}
