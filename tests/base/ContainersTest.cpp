#include <gtest/gtest.h>

#include <cstring>

#include "base/Collection.h"
#include "base/Exception.h"
#include "base/MemoryStream.h"
#include "base/Set.h"
#include "base/VarRec.h"

enum class TColour { Red, Green, Blue };

TEST(Set, IncludeExcludeAndAlgebra) {
  TSet<TColour> s{TColour::Red};
  EXPECT_TRUE(s.Contains(TColour::Red));
  EXPECT_FALSE(s.Contains(TColour::Blue));
  s.Include(TColour::Blue).Exclude(TColour::Red);
  EXPECT_EQ(s, (TSet<TColour>{TColour::Blue}));
  const TSet<TColour> all{TColour::Red, TColour::Green, TColour::Blue};
  EXPECT_EQ(all - s, (TSet<TColour>{TColour::Red, TColour::Green}));
  EXPECT_EQ(all * s, s);
  EXPECT_TRUE((s - s).Empty());
}

TEST(MemoryStream, WriteReadSeekAndGrow) {
  TMemoryStream stream;
  EXPECT_EQ(stream.Write("hello", 5), 5);
  EXPECT_EQ(stream.Size(), 5);
  stream.Seek(1, TSeekOrigin::soBeginning);
  stream.Write("EL", 2);
  stream.SetPosition(0);
  char buffer[16] = {};
  EXPECT_EQ(stream.Read(buffer, sizeof buffer), 5);
  EXPECT_STREQ(buffer, "hELlo");
  EXPECT_EQ(stream.Read(buffer, 1), 0);
  // Writing past the end fills the gap with zeros.
  stream.Seek(2, TSeekOrigin::soEnd);
  stream.Write("!", 1);
  EXPECT_EQ(stream.Size(), 8);
  EXPECT_EQ(stream.Memory()[5], 0);
  EXPECT_THROW(stream.Seek(-1, TSeekOrigin::soBeginning), EStreamError);
  stream.SetSize(3);
  EXPECT_EQ(stream.Position(), 3);
  stream.Clear();
  EXPECT_EQ(stream.Size(), 0);
  EXPECT_EQ(stream.Position(), 0);
}

namespace {
class TNamedItem : public TCollectionItem {
public:
  using TCollectionItem::TCollectionItem;
  std::string DisplayName() const override { return FName.empty() ? TCollectionItem::DisplayName() : FName; }
  void SetDisplayName(const std::string& Value) override {
    FName = Value;
    TCollectionItem::SetDisplayName(Value);
  }

private:
  std::string FName;
};

class TCountingCollection : public TOwnedCollection {
public:
  using TOwnedCollection::TOwnedCollection;
  int Updates = 0;

protected:
  void Update(TCollectionItem*) override { ++Updates; }
};
}  // namespace

TEST(Collection, OwnsOrdersAndMovesItems) {
  TCountingCollection items(nullptr);
  auto* a = new TNamedItem(&items);
  auto* b = new TNamedItem(&items);
  auto* c = new TNamedItem(&items);
  EXPECT_EQ(items.Count(), 3);
  EXPECT_EQ(c->Index(), 2);
  c->SetIndex(0);
  EXPECT_EQ(items.Items(0), c);
  EXPECT_EQ(a->Index(), 1);
  // Indices are clamped to the collection.
  c->SetIndex(99);
  EXPECT_EQ(c->Index(), 2);
  c->SetIndex(-5);
  EXPECT_EQ(c->Index(), 0);
  EXPECT_EQ(items.FindItemID(b->ID()), b);

  b->SetDisplayName("second");
  EXPECT_EQ(b->DisplayName(), "second");
  const int before = items.Updates;
  items.BeginUpdate();
  a->SetDisplayName("first");
  EXPECT_EQ(items.Updates, before);
  items.EndUpdate();
  EXPECT_EQ(items.Updates, before + 1);

  items.Delete(0);
  EXPECT_EQ(items.Count(), 2);
  EXPECT_THROW(items.Items(2), EListError);
}

TEST(VarRec, TagsEveryKind) {
  const long double ext = 1.5L;
  const std::string text = "abc";
  const int64_t big = 1LL << 40;
  const TCurrency money = 12345;
  const TVariant variant = "v";
  const TWideString wide = u"w";
  const TInterface iface = std::make_shared<int>(3);
  const TVarRecs list{int32_t(1), true, 'c', ext, TVarRec::ShortString(text), TVarRec::Pointer(&big),
                      "pchar", static_cast<TObject*>(nullptr), TVarRec::Class(&text), u'x', u"pw",
                      text, TVarRec::Currency(money), TVarRec::Variant(variant), iface, wide, big};
  std::vector<int> codes;
  for (const TVarRec& r : list) codes.push_back(static_cast<int>(r.VType));
  std::vector<int> expected(17);
  for (int i = 0; i < 17; ++i) expected[static_cast<size_t>(i)] = i;
  EXPECT_EQ(codes, expected);
  EXPECT_EQ(*list.begin()[3].VExtended, 1.5L);
  EXPECT_EQ(*list.begin()[4].VString, "abc");
  EXPECT_EQ(*list.begin()[16].VInt64, big);
}
