#include "threads/KtParams.h"

#include <atomic>

#include "threads/KtDebugLog.h"

namespace {
std::atomic<int> ParamListCount{0};
std::atomic<int> ParamSerial{0};
constexpr size_t MaxShortStringLength = 255;

TKtParamRec StoreValue(const TVarRec& Value) {
  TKtParamRec r;
  r.ValueType = Value.VType;
  switch (Value.VType) {
    case TVarType::vtInteger:
      r.WordValue = static_cast<uintptr_t>(static_cast<intptr_t>(Value.VInteger));
      break;
    case TVarType::vtBoolean:
      r.CharValue = Value.VBoolean ? 1 : 0;
      break;
    case TVarType::vtChar:
      r.CharValue = Value.VChar;
      break;
    case TVarType::vtExtended:
      r.ExtendedValue = *Value.VExtended;
      break;
    case TVarType::vtString:
      // A short string holds at most what its length byte can count.
      r.StringValue = Value.VString->substr(0, MaxShortStringLength);
      break;
    case TVarType::vtAnsiString:
      r.ValueType = TVarType::vtString;
      r.StringValue = *Value.VString;
      break;
    case TVarType::vtPointer:
    case TVarType::vtPChar:
    case TVarType::vtObject:
    case TVarType::vtClass:
    case TVarType::vtPWideChar:
      r.WordValue = reinterpret_cast<uintptr_t>(Value.VPointer);
      break;
    case TVarType::vtWideChar:
      r.WideCharValue = Value.VWideChar;
      break;
    case TVarType::vtCurrency:
      r.Int64Value = *Value.VCurrency;
      break;
    case TVarType::vtVariant:
      r.VariantValue = *Value.VVariant;
      break;
    case TVarType::vtInterface:
      r.InterfaceValue = *Value.VInterface;
      break;
    case TVarType::vtWideString:
      r.WideStringValue = *Value.VWideString;
      break;
    case TVarType::vtInt64:
      r.Int64Value = *Value.VInt64;
      break;
    default:
      throw EParamTypeMismatch();
  }
  return r;
}

template <class T>
T* PointerOf(const TKtParamRec& Record) {
  return reinterpret_cast<T*>(Record.WordValue);
}

TVarRec GivenBack(const TKtParamRec& r) {
  switch (r.ValueType) {
    case TVarType::vtInteger:
      return TVarRec(static_cast<int32_t>(static_cast<intptr_t>(r.WordValue)));
    case TVarType::vtBoolean:
      return TVarRec(r.CharValue != 0);
    case TVarType::vtChar:
      return TVarRec(r.CharValue);
    case TVarType::vtExtended:
      return TVarRec(r.ExtendedValue);
    case TVarType::vtPointer:
      return TVarRec::Pointer(PointerOf<const void>(r));
    case TVarType::vtPChar:
      return TVarRec(PointerOf<const char>(r));
    case TVarType::vtObject:
      return TVarRec(PointerOf<TObject>(r));
    case TVarType::vtClass:
      return TVarRec::Class(PointerOf<const void>(r));
    case TVarType::vtWideChar:
      return TVarRec(r.WideCharValue);
    case TVarType::vtPWideChar:
      return TVarRec(PointerOf<const char16_t>(r));
    case TVarType::vtCurrency:
      return TVarRec::Currency(r.Int64Value);
    case TVarType::vtVariant:
      return TVarRec::Variant(r.VariantValue);
    case TVarType::vtInterface:
      return TVarRec(r.InterfaceValue);
    case TVarType::vtWideString:
      return TVarRec(r.WideStringValue);
    case TVarType::vtInt64:
      return TVarRec(r.Int64Value);
    default:  // vtString: both string kinds come back as the counted kind
      return TVarRec(r.StringValue);
  }
}
}  // namespace

void TKtParam::SetIndex(const std::vector<TKtParamRec>& Values, int Index) {
  if (Index < 0 || Index >= static_cast<int>(Values.size())) throw EParamExceedsBounds();
  FIndex = Index;
  FRecord = &Values[static_cast<size_t>(Index)];
}

void TKtParam::Detach() {
  FRecord = nullptr;
  FIndex = -1;
}

TVarType TKtParam::ValueType() const {
  if (!FRecord) throw EParamExceedsBounds();
  return FRecord->ValueType;
}

int32_t TKtParam::AsInteger() const {
  if (ValueType() != TVarType::vtInteger) throw EParamTypeMismatch();
  return static_cast<int32_t>(static_cast<intptr_t>(FRecord->WordValue));
}

const std::string& TKtParam::AsString() const {
  if (ValueType() != TVarType::vtString) throw EParamTypeMismatch();
  return FRecord->StringValue;
}

TKtParams::TKtParams(TVarRecs Values, bool Log) : FSerial(++ParamSerial) {
  SetParams(Values);
  ++ParamListCount;
  if (Log) LogCreation();
}

TKtParams::~TKtParams() { --ParamListCount; }

void TKtParams::LogCreation() const { KtDebugWritef("Create %s SN = %d", ClassName().c_str(), FSerial); }

void TKtParams::GetParams(int Start, TVarRecArray& Values) const {
  Values.clear();
  for (size_t i = Start < 0 ? 0 : static_cast<size_t>(Start); i < FValues.size(); ++i) {
    Values.push_back(GivenBack(FValues[i]));
  }
}

void TKtParams::Clear() {
  FValues.clear();
  // The accessor stays the same object, but must not point at a freed record.
  if (FAccessor) FAccessor->Detach();
}

void TKtParams::SetParams(TVarRecs Values) {
  Clear();
  FValues.reserve(Values.size());
  for (const TVarRec& v : Values) FValues.push_back(StoreValue(v));
}

TKtParam& TKtParams::Param(int Index) {
  if (!FAccessor) FAccessor = std::make_unique<TKtParam>();
  FAccessor->SetIndex(FValues, Index);
  return *FAccessor;
}

TKtNotifyParams::TKtNotifyParams(std::string Text, TVarRecs Values, bool Log)
    : TKtParams(Values, false), FText(std::move(Text)) {
  if (Log) LogCreation();
}

int KtParamListCount() { return ParamListCount.load(); }
int KtLastParamSerial() { return ParamSerial.load(); }
