#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "base/InterfacedObject.h"
#include "base/VarRec.h"

class EParamExceedsBounds : public Exception {
public:
  EParamExceedsBounds() : Exception("Params bounds exceeded") {}
};

class EParamTypeMismatch : public Exception {
public:
  EParamTypeMismatch() : Exception("Type mismatch in Params") {}
};

// One stored value. Both string kinds are stored as vtString (4); the by-reference kinds
// are copied, so the record never refers to the caller's data (except the two text
// pointers, which are kept as pointers).
struct TKtParamRec {
  std::string StringValue;      // 4 and 11
  TInterface InterfaceValue;    // 14
  TWideString WideStringValue;  // 15
  TVariant VariantValue;        // 13
  TVarType ValueType = TVarType::vtInteger;
  char CharValue = 0;             // Boolean (0/1) and character
  char16_t WideCharValue = 0;     // 9
  uintptr_t WordValue = 0;        // integer and the pointer kinds
  long double ExtendedValue = 0;  // 3
  int64_t Int64Value = 0;         // 12 and 16
};

using TVarRecArray = std::vector<TVarRec>;

class TKtParam;

// A reference-counted list of typed values that crosses threads: built on one thread,
// read on another after the hand-over, never written by two at once.
class IKtParams {
public:
  virtual ~IKtParams() = default;
  // The tagged values from Start on; they refer into the list and live as long as it does.
  virtual void GetParams(int Start, TVarRecArray& Values) const = 0;
  virtual void Clear() = 0;
  virtual void SetParams(TVarRecs Values) = 0;
  virtual int Count() const = 0;
  // The list's one accessor, positioned at Index (an earlier answer moves too).
  virtual TKtParam& Param(int Index) = 0;
};

class IKtNotifyParams : public virtual IKtParams {
public:
  virtual std::string Text() const = 0;
};

// Reads one value with a type check.
class TKtParam : public TObject {
public:
  void SetIndex(const std::vector<TKtParamRec>& Values, int Index);
  void Detach();
  int Index() const { return FIndex; }
  TVarType ValueType() const;
  int32_t AsInteger() const;
  const std::string& AsString() const;

private:
  const TKtParamRec* FRecord = nullptr;
  int FIndex = -1;
};

class TKtParams : public TInterfacedObject, public virtual IKtParams {
public:
  // Log: write "Create <class> SN = <serial>" to the debug log.
  explicit TKtParams(TVarRecs Values = {}, bool Log = false);
  ~TKtParams() override;

  void GetParams(int Start, TVarRecArray& Values) const override;
  void Clear() override;
  void SetParams(TVarRecs Values) override;
  int Count() const override { return static_cast<int>(FValues.size()); }
  TKtParam& Param(int Index) override;

  int Serial() const { return FSerial; }
  std::string ClassName() const override { return "TKtParams"; }

protected:
  // Derived classes log after their own construction, so that the log names them.
  void LogCreation() const;

private:
  std::vector<TKtParamRec> FValues;
  std::unique_ptr<TKtParam> FAccessor;
  int FSerial;
};

class TKtNotifyParams : public TKtParams, public virtual IKtNotifyParams {
public:
  explicit TKtNotifyParams(std::string Text = {}, TVarRecs Values = {}, bool Log = false);
  std::string Text() const override { return FText; }
  std::string ClassName() const override { return "TKtNotifyParams"; }

private:
  std::string FText;
};

// Live parameter lists in the process, and the last serial handed out.
int KtParamListCount();
int KtLastParamSerial();
