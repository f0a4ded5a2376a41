#pragma once

#include <memory>

#include "base/Object.h"

// An object reached through reference-counted interfaces: held by std::shared_ptr and freed
// when the last reference goes. Interface queries are std::dynamic_pointer_cast.
class TInterfacedObject : public TObject, public std::enable_shared_from_this<TInterfacedObject> {};
