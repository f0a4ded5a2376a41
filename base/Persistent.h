#pragma once

#include "base/Object.h"

// An object that can take over the state of another of its kind. A class that does not
// know the source hands it to its base; the root raises EConvertError.
class TPersistent : public TObject {
public:
  virtual void CopyFrom(const TPersistent& Source);
};
