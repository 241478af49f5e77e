#pragma once
// The copyable-object protocol the settings objects follow: Assign asks the source to copy
// itself into the destination; a source that does not know the destination's class fails
// with a conversion error naming both classes.
#include <stdexcept>
#include <string>

#include "rt/tobject.h"

class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TPersistent : public TObject {
 public:
  virtual const char* ClassName() const { return "TPersistent"; }

  // Copies this object's values into Dest; the base knows no class, so it raises
  // "Cannot assign a <this class> to a <Dest class>".
  virtual void AssignTo(TPersistent& Dest) const;
  virtual void Assign(const TPersistent& Source) { Source.AssignTo(*this); }
};
