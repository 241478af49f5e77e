#include "cport/persistent.h"

void TPersistent::AssignTo(TPersistent& Dest) const {
  throw EConvertError(std::string("Cannot assign a ") + ClassName() + " to a " + Dest.ClassName());
}
