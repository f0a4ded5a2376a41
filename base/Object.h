#pragma once

#include <string>

// Root of the class tree. ClassName gives the class's own name for log lines.
class TObject {
public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;

  virtual std::string ClassName() const;
};

// A class reference: a value that names a class and can create an instance of it.
template <class Base>
using TClassFactory = Base* (*)();
