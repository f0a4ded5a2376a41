#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

class TObject;

// Type codes of a tagged value in an open list.
enum class TVarType : uint8_t {
  vtInteger = 0,
  vtBoolean = 1,
  vtChar = 2,
  vtExtended = 3,    // by reference
  vtString = 4,      // short string (at most 255 characters), by reference
  vtPointer = 5,
  vtPChar = 6,       // zero-terminated 8-bit text
  vtObject = 7,
  vtClass = 8,
  vtWideChar = 9,
  vtPWideChar = 10,  // zero-terminated wide text
  vtAnsiString = 11, // reference-counted string, by reference here
  vtCurrency = 12,   // 64-bit fixed point with four decimals, by reference
  vtVariant = 13,    // by reference
  vtInterface = 14,  // counted interface reference, by reference here
  vtWideString = 15, // by reference
  vtInt64 = 16,      // by reference
};

// A variant value is carried as its text; that is all the system ever puts into one.
using TVariant = std::string;
// Currency: the value times 10000.
using TCurrency = int64_t;
using TWideString = std::u16string;
using TInterface = std::shared_ptr<void>;

// One element of an open list of tagged values. It refers to the caller's values for the
// by-reference kinds, so it is valid only within the call it is passed to.
struct TVarRec {
  TVarType VType;
  union {
    int32_t VInteger;
    bool VBoolean;
    char VChar;
    const long double* VExtended;
    const std::string* VString;  // vtString and vtAnsiString
    const void* VPointer;
    const char* VPChar;
    TObject* VObject;
    const void* VClass;
    char16_t VWideChar;
    const char16_t* VPWideChar;
    const TCurrency* VCurrency;
    const TVariant* VVariant;
    const TInterface* VInterface;
    const TWideString* VWideString;
    const int64_t* VInt64;
  };

  TVarRec(int32_t Value) : VType(TVarType::vtInteger), VInteger(Value) {}
  TVarRec(bool Value) : VType(TVarType::vtBoolean), VBoolean(Value) {}
  TVarRec(char Value) : VType(TVarType::vtChar), VChar(Value) {}
  TVarRec(const long double& Value) : VType(TVarType::vtExtended), VExtended(&Value) {}
  TVarRec(const std::string& Value) : VType(TVarType::vtAnsiString), VString(&Value) {}
  TVarRec(const char* Value) : VType(TVarType::vtPChar), VPChar(Value) {}
  TVarRec(TObject* Value) : VType(TVarType::vtObject), VObject(Value) {}
  TVarRec(char16_t Value) : VType(TVarType::vtWideChar), VWideChar(Value) {}
  TVarRec(const char16_t* Value) : VType(TVarType::vtPWideChar), VPWideChar(Value) {}
  TVarRec(const TInterface& Value) : VType(TVarType::vtInterface), VInterface(&Value) {}
  TVarRec(const TWideString& Value) : VType(TVarType::vtWideString), VWideString(&Value) {}
  TVarRec(const int64_t& Value) : VType(TVarType::vtInt64), VInt64(&Value) {}

  // The kinds that share a C++ type with another kind are made by name.
  static TVarRec ShortString(const std::string& Value) {
    TVarRec r(Value);
    r.VType = TVarType::vtString;
    return r;
  }
  static TVarRec Pointer(const void* Value) {
    TVarRec r(TVarType::vtPointer);
    r.VPointer = Value;
    return r;
  }
  static TVarRec Class(const void* Value) {
    TVarRec r(TVarType::vtClass);
    r.VClass = Value;
    return r;
  }
  static TVarRec Currency(const TCurrency& Value) {
    TVarRec r(TVarType::vtCurrency);
    r.VCurrency = &Value;
    return r;
  }
  static TVarRec Variant(const TVariant& Value) {
    TVarRec r(TVarType::vtVariant);
    r.VVariant = &Value;
    return r;
  }

private:
  explicit TVarRec(TVarType Type) : VType(Type), VPointer(nullptr) {}
};

using TVarRecs = std::initializer_list<TVarRec>;
