// The automatic choice: the first registered method on every time; the
// others on the times whose first record misses its request, each of their
// records vouched for by the records of the same time; the best kept.
#pragma once

#include <cmath>
#include <vector>

#include "methods/method.h"
#include "orvane/result.h"

namespace orvane {

// The error a later method's record can be vouched for, given the other
// records of the time. Its own prediction holds only where the method's
// assumptions hold, which it cannot see itself (a pole beyond all of Talbot's
// contours, say), so it is raised to what the best independent record
// guarantees: the gap between the two values plus that record's prediction,
// the first method's taken ten times over (on the reference pairs no Weeks
// prediction lies below a tenth of the true error). A record with no peer of
// finite error is vouched for by nothing: its error is infinite.
inline Result vouched(Result later, const std::vector<const Result*>& peers, double relErr) {
  double bound = INFINITY;
  for (std::size_t k = 0; k < peers.size(); ++k) {
    const Result& o = *peers[k];
    const double weight = k == 0 ? 10.0 : 1.0;
    const double gap = std::hypot(later.f.real() - o.f.real(), later.f.imag() - o.f.imag());
    const double peer = gap + weight * o.abs_err;
    if (std::isfinite(peer) && peer < bound) bound = peer;
  }
  if (!(later.abs_err >= bound)) {
    later.abs_err = bound;
    const double modulus = std::hypot(later.f.real(), later.f.imag());
    later.rel_err = modulus > 0.0 && std::isfinite(bound) ? bound / modulus : INFINITY;
    later.flag = relErr > later.rel_err ? 0 : 1;
  }
  return later;
}

}  // namespace orvane
