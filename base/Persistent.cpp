#include "base/Persistent.h"

#include "base/Exception.h"
#include "base/Format.h"

void TPersistent::CopyFrom(const TPersistent& Source) {
  throw EConvertError(
      Format("Cannot assign a %s to a %s", Source.ClassName().c_str(), ClassName().c_str()));
}
