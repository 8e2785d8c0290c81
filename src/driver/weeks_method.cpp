// Construction, copying and destruction of the solver object. (Being written.)
#include "driver/weeks_method.h"

WeeksMethod::WeeksMethod() {}
WeeksMethod::WeeksMethod(const WeeksMethod& other) { copyFrom(other); }
WeeksMethod& WeeksMethod::operator=(const WeeksMethod& other) {
  copyFrom(other);
  return *this;
}
WeeksMethod::~WeeksMethod() {}
void WeeksMethod::copyFrom(const WeeksMethod&) {}
void WeeksMethod::release() {}
