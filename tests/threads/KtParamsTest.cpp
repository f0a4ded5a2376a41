#include <gtest/gtest.h>

#include "threads/KtIndexedObjectList.h"
#include "threads/KtParams.h"

namespace {
template <class E>
std::string MessageOf(const std::function<void()>& Action) {
  try {
    Action();
  } catch (const E& e) {
    return e.Message();
  }
  return "(nothing raised)";
}

TEST(KtParamsTest, EveryInputKindIsStoredAndGivenBack) {
  TObject object;
  const long double extended = 2.5L;
  const std::string shortString = "short";
  const std::string counted = "counted";
  const TCurrency currency = 123456;
  const TVariant variant = "variant";
  const TInterface iface = std::make_shared<int>(7);
  const TWideString wide = u"wide";
  const int64_t big = int64_t{1} << 40;
  const char* text = "text";
  const char16_t* wideText = u"wtext";
  int pointee = 0;

  TKtParams params({-5, true, 'c', extended, TVarRec::ShortString(shortString), TVarRec::Pointer(&pointee),
                    text, &object, TVarRec::Class(&pointee), u'w', wideText, counted,
                    TVarRec::Currency(currency), TVarRec::Variant(variant), iface, wide, big});
  ASSERT_EQ(params.Count(), 17);
  TVarRecArray back;
  params.GetParams(0, back);
  ASSERT_EQ(back.size(), 17u);
  const TVarType expected[] = {TVarType::vtInteger, TVarType::vtBoolean, TVarType::vtChar,
                               TVarType::vtExtended, TVarType::vtAnsiString, TVarType::vtPointer,
                               TVarType::vtPChar, TVarType::vtObject, TVarType::vtClass,
                               TVarType::vtWideChar, TVarType::vtPWideChar, TVarType::vtAnsiString,
                               TVarType::vtCurrency, TVarType::vtVariant, TVarType::vtInterface,
                               TVarType::vtWideString, TVarType::vtInt64};
  for (size_t i = 0; i < back.size(); ++i) EXPECT_EQ(back[i].VType, expected[i]) << "element " << i;
  EXPECT_EQ(back[0].VInteger, -5);
  EXPECT_TRUE(back[1].VBoolean);
  EXPECT_EQ(back[2].VChar, 'c');
  EXPECT_EQ(*back[3].VExtended, extended);
  EXPECT_NE(back[3].VExtended, &extended) << "the extended value must be a copy";
  EXPECT_EQ(*back[4].VString, "short");
  EXPECT_EQ(back[5].VPointer, &pointee);
  EXPECT_EQ(back[6].VPChar, text) << "text pointers are kept as pointers";
  EXPECT_EQ(back[7].VObject, &object);
  EXPECT_EQ(back[8].VClass, &pointee);
  EXPECT_EQ(back[9].VWideChar, u'w');
  EXPECT_EQ(back[10].VPWideChar, wideText);
  EXPECT_EQ(*back[11].VString, "counted");
  EXPECT_EQ(*back[12].VCurrency, currency);
  EXPECT_EQ(*back[13].VVariant, "variant");
  EXPECT_EQ(*back[14].VInterface, iface);
  EXPECT_EQ(*back[15].VWideString, u"wide");
  EXPECT_EQ(*back[16].VInt64, big);
  EXPECT_EQ(params.Param(4).ValueType(), TVarType::vtString) << "both string kinds are stored as 4";
  EXPECT_EQ(params.Param(4).AsString(), "short");
}

TEST(KtParamsTest, ShortStringKeepsAtMost255Characters) {
  const std::string longText(300, 's');
  TKtParams params({TVarRec::ShortString(longText), longText});
  EXPECT_EQ(params.Param(0).AsString(), std::string(255, 's'));
  EXPECT_EQ(params.Param(1).AsString(), longText) << "a counted string has no such limit";
}

TEST(KtParamsTest, ValuesAreCopiedAwayFromTheCaller) {
  std::string text = "before";
  TKtParams params({text});
  text = "after";
  EXPECT_EQ(params.Param(0).AsString(), "before");
}

TEST(KtParamsTest, BoundsAndTypeChecks) {
  TKtParams empty;
  EXPECT_EQ(MessageOf<EParamExceedsBounds>([&] { empty.Param(0); }), "Params bounds exceeded");
  TKtParams params({1, std::string("x")});
  EXPECT_EQ(MessageOf<EParamExceedsBounds>([&] { params.Param(2); }), "Params bounds exceeded");
  EXPECT_EQ(MessageOf<EParamExceedsBounds>([&] { params.Param(-1); }), "Params bounds exceeded");
  EXPECT_EQ(MessageOf<EParamTypeMismatch>([&] { params.Param(0).AsString(); }), "Type mismatch in Params");
  EXPECT_EQ(MessageOf<EParamTypeMismatch>([&] { params.Param(1).AsInteger(); }), "Type mismatch in Params");
  EXPECT_EQ(params.Param(0).AsInteger(), 1);
}

TEST(KtParamsTest, GetParamsFromAStartAndTheSharedAccessor) {
  TKtParams params({10, 20, 30});
  TVarRecArray values;
  params.GetParams(1, values);
  ASSERT_EQ(values.size(), 2u);
  EXPECT_EQ(values[0].VInteger, 20);
  params.GetParams(3, values);
  EXPECT_TRUE(values.empty()) << "Start equal to Count gives an empty array";
  params.GetParams(7, values);
  EXPECT_TRUE(values.empty());

  TKtParam& first = params.Param(0);
  TKtParam& second = params.Param(2);
  EXPECT_EQ(&first, &second) << "every call answers the same accessor";
  EXPECT_EQ(first.AsInteger(), 30) << "an earlier answer moves too";

  params.Clear();
  EXPECT_EQ(params.Count(), 0);
  EXPECT_THROW(first.AsInteger(), EParamExceedsBounds) << "a cleared list leaves no record to read";
  params.SetParams({std::string("again")});
  EXPECT_EQ(params.Param(0).AsString(), "again");
}

TEST(KtParamsTest, SerialsRiseAndLiveListsAreCounted) {
  const int before = KtParamListCount();
  int firstSerial;
  {
    auto a = std::make_shared<TKtParams>();
    TKtNotifyParams b("note", {1});
    firstSerial = a->Serial();
    EXPECT_EQ(b.Serial(), firstSerial + 1);
    EXPECT_EQ(KtParamListCount(), before + 2);
    EXPECT_EQ(b.Text(), "note");
    std::shared_ptr<IKtParams> asInterface = a;
    EXPECT_EQ(std::dynamic_pointer_cast<IKtNotifyParams>(asInterface), nullptr);
  }
  EXPECT_EQ(KtParamListCount(), before);
  EXPECT_GE(KtLastParamSerial(), firstSerial + 1);
}

TEST(KtParamsTest, NotifyParamsAnswerTheirInterfaceQuery) {
  std::shared_ptr<IKtParams> params = std::make_shared<TKtNotifyParams>("text", TVarRecs{2});
  auto notify = std::dynamic_pointer_cast<IKtNotifyParams>(params);
  ASSERT_NE(notify, nullptr);
  EXPECT_EQ(notify->Text(), "text");
  EXPECT_EQ(notify->Param(0).AsInteger(), 2);
}

class TCountedObject : public TObject {
public:
  explicit TCountedObject(int& Alive) : FAlive(Alive) { ++FAlive; }
  ~TCountedObject() override { --FAlive; }

private:
  int& FAlive;
};

TEST(KtIndexedObjectListTest, PutFindExtractAndFreeAll) {
  int alive = 0;
  int k1 = 0;
  int k2 = 0;
  int k3 = 0;
  {
    TKtIndexedObjectList list;
    list.Put(&k1, std::make_unique<TCountedObject>(alive));
    list.Put(&k2, std::make_unique<TCountedObject>(alive));
    TObject* second = list.Find(&k2);
    EXPECT_NE(second, nullptr);
    EXPECT_EQ(list.Find(&k3), nullptr);
    list.Put(&k2, std::make_unique<TCountedObject>(alive));
    EXPECT_EQ(list.Count(), 2) << "Put on an existing key replaces its value";
    EXPECT_EQ(alive, 2);
    auto extracted = list.Extract(&k1);
    EXPECT_NE(extracted, nullptr);
    EXPECT_EQ(list.Extract(&k1), nullptr);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Keys(0), &k2);
    EXPECT_EQ(list.ExtractAt(5), nullptr);
    list.Put(&k3, std::make_unique<TCountedObject>(alive));
    list.FreeAll();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(alive, 1) << "only the extracted value is left";
    list.Put(&k1, std::make_unique<TCountedObject>(alive));
  }
  EXPECT_EQ(alive, 0) << "values left in the list go with it";
}
}  // namespace
