// The automatic choice: every registered method in the registry's order, each
// tried on the times whose kept record still misses its request, and the
// record of each time kept by autoChoice.
#pragma once

#include <cmath>

#include "methods/method.h"
#include "orvane/result.h"

namespace orvane {

// The record kept for a time whose record `kept` missed its request, given a
// later method's record of it. The two values must agree within their
// predicted errors, the kept one taken ten times over (on the reference pairs
// no Weeks prediction lies below a tenth of the true error). Where they do
// not, the later method has missed something (a pole beyond all of Talbot's
// contours, say) and its error is put at their gap plus that bound. The later
// record replaces the kept one only with a strictly lower predicted relative
// error.
inline Result autoChoice(const Result& kept, Result later, double relErr) {
  const double gap = std::hypot(later.f.real() - kept.f.real(), later.f.imag() - kept.f.imag());
  const double keptBound = 10.0 * kept.abs_err;
  if (std::isfinite(keptBound) && std::isfinite(later.abs_err) &&
      gap > keptBound + later.abs_err) {
    later.abs_err = gap + keptBound;
    const double modulus = std::hypot(later.f.real(), later.f.imag());
    later.rel_err = modulus > 0.0 ? later.abs_err / modulus : INFINITY;
    later.flag = relErr > later.rel_err ? 0 : 1;
  }
  return betterRecord(later.rel_err, kept.rel_err) ? later : kept;
}

}  // namespace orvane
