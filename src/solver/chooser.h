// What vouches for a value: the checks the solver applies to the records of
// a method whose own prediction cannot see where its assumptions fail, the
// automatic choice's comparison of records, and the search it asks for the
// times the methods without one leave unmet.
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
    r.rel_err = relativeError(bound, std::hypot(r.f.real(), r.f.imag()));
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

// The search auto gives the method with a search for the times the others
// left unmet: a coarse grid (2 sigmas by 4 b's, a quarter of the next one's
// evaluations), then, where that misses the request, finer ones (4 by 8, 12
// by 16) and the caller's resolutions, over the
// part of the caller's range that can serve the earliest of those times t:
//  - sigma below sigma_min + ln(request/eps)/t: past it the round-off
//    e^(sigma t) eps alone misses the request, since f grows no faster than
//    e^(sigma_min t);
//  - b at most N/t (N the largest size): past it 2bt leaves the range where
//    N Laguerre functions represent f (no met record of the full search on
//    the reference pairs had b t above 50 at N = 64).
// Without a search, or with no positive time, the options stay as they are.
// A time whose best record after a grid is still kSearchHopeless times its
// request, and 0.1, is given up there (a value nothing can meet: f = 0
// before a delay, a zero of f), not searched on every finer grid.
constexpr double kSearchHopeless = 1e6;
// auto asks for the positive times and for t = 0 apart, so that t = 0 keeps
// the whole range whatever other times share its call.
inline Options unmetSearch(const Options& o, const std::vector<double>& t, const std::vector<int>& unmet) {
  Options searched = o;
  if (!o.search()) return searched;
  double tMin = std::numeric_limits<double>::infinity(), request = 0.0;
  int N = 1;
  for (int i : unmet) {
    if (t[std::size_t(i)] > 0.0) tMin = std::fmin(tMin, t[std::size_t(i)]);
    request = std::fmax(request, o.request(std::size_t(i)));
  }
  for (int n : o.sizes) N = n > N ? n : N;
  if (std::isfinite(tMin)) {
    const double useful = std::fmax(std::log(request / 2.220446049250313e-16), 1.0) / tMin;
    const double top = o.sigma_min + useful;
    if (top < o.sigma_max && top > o.sigma_min) searched.sigma_max = top;
    searched.b_max = std::fmin(o.b_max, double(N) / tMin);
  }
  const double width = searched.sigma_max - searched.sigma_min, bmax = searched.b_max;
  searched.resolutions = {Resolution{width / 2.0, bmax / 4.0}, Resolution{width / 4.0, bmax / 8.0},
                          Resolution{width / 12.0, bmax / 16.0}};
  for (const Resolution& r : o.resolutions)
    searched.resolutions.push_back(Resolution{std::fmin(r.sigma, width), std::fmin(r.b, bmax)});
  return searched;
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
