// What vouches for a value: the checks the solver applies to the records of
// a method whose own prediction cannot see where its assumptions fail, and
// the automatic choice's comparison of records.
#pragma once

#include <cmath>
#include <limits>
#include <vector>

#include "methods/method.h"
#include "orvane/result.h"

namespace orvane {

// A record of another method of the same time, and the factor its prediction
// is taken with.
struct Peer {
  const Result* record;
  double weight;
};

// The record with its error raised to what the best independent record
// guarantees: the gap between the two values plus that record's prediction
// (times its weight). Its own prediction holds only where the method's
// assumptions hold, which it cannot see itself (a pole beyond all of
// Talbot's contours, say). With no peer of finite error nothing vouches for
// it: its error is infinite.
inline Result vouched(Result r, const std::vector<Peer>& peers, double relErr) {
  double bound = std::numeric_limits<double>::infinity();
  for (const Peer& p : peers) {
    const Result& o = *p.record;
    const double gap = std::hypot(r.f.real() - o.f.real(), r.f.imag() - o.f.imag());
    const double peer = gap + p.weight * o.abs_err;
    if (std::isfinite(peer) && peer < bound) bound = peer;
  }
  if (!(r.abs_err >= bound)) {
    r.abs_err = bound;
    const double modulus = std::hypot(r.f.real(), r.f.imag());
    r.rel_err = modulus > 0.0 && std::isfinite(bound) ? bound / modulus
                                                      : std::numeric_limits<double>::infinity();
    r.flag = relErr > r.rel_err ? 0 : 1;
  }
  return r;
}

// The record of a method whose assumption is known not to hold (or cannot be
// checked) at this time: its value stays, with no bound on its error.
inline Result unbounded(Result r) {
  if (!std::isnan(r.rel_err)) {
    r.abs_err = std::numeric_limits<double>::infinity();
    r.rel_err = std::numeric_limits<double>::infinity();
  }
  r.flag = 1;
  return r;
}

// The line a method on a Bromwich line (or a Talbot contour) with this shift
// is checked at, for times up to tMax: just right of the shift, so that a
// singularity on the shift itself (F = 1/s with the shift 0) passes, while
// one further right, which the methods' discretisation errors multiply by
// e^(2 (p - shift) T) for periods T up to 4 tMax, does not.
inline double checkedLine(double shift, double tMax) {
  return tMax > 0.0 && std::isfinite(tMax) ? shift + 0.125 / tMax : shift;
}

}  // namespace orvane
