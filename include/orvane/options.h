// What an inversion is asked to do besides its times: the method, the
// requested relative error, the expansion sizes, and either the (sigma, b)
// search (its range and resolutions) or the caller's own (sigma, b) pairs.
// The defaults are those of the Python package's invert().
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "orvane/method.h"

namespace orvane {

// One resolution of the search: its sigma step and its b step.
struct Resolution {
  double sigma;
  double b;
};

// A (sigma, b) pair given by the caller: sigma is the shift (the contour's
// for Talbot's method), b the Laguerre scale (positive).
struct Pair {
  double sigma;
  double b;
};

struct Options {
  Method method;                  // "auto" unless set
  double rel_err = 1e-8;          // the requested relative error of every time...
  std::vector<double> rel_errs;   // ...or, when not empty, one per time
  std::vector<int> sizes{64};     // expansion sizes N, tried in order, each 1 or more
  // Sizes auto's search tries after `sizes` for the times still unmet, each
  // larger than every size of `sizes`; empty: none. The command line and the
  // Python package set {128, 256} where the user gives no sizes, so that the
  // default follows the request; sizes a user gives are what they say.
  std::vector<int> larger_sizes;
  double sigma_min = 0.0;         // the sigma search range [sigma_min, sigma_max)
  double sigma_max = 30.0;
  double b_max = 30.0;            // the b search range (0, b_max]
  std::vector<Resolution> resolutions{{1.0, 1.0}, {0.5, 0.5}};  // tried in order
  // One pair per time (or one for every time): no search, each time is
  // inverted at its pair. Empty: search.
  std::vector<Pair> pairs;
  // Called as times are done with the number done and of all; none when empty.
  std::function<void(int done, int total)> progress;

  // What check() asks of a call beyond the rules of a parameter file, so that
  // a request no method can serve, or one that would hold the machine for
  // many minutes, is refused before any work, saying what it would take:
  // every requested error a positive finite number, every expansion size at
  // most kMaxSize, the sigma range's low end below its high end, and every
  // search grid of at most max_grid_points points. The console program
  // without arguments turns this off to run its file as it always has.
  bool strict = true;
  // The most (sigma, b) points of one search grid, floor(width / step) along
  // each axis multiplied. Each point takes 8 bytes of estimates and 4N
  // evaluations of F per expansion size; raise it for a finer search.
  long long max_grid_points = 4000000;
  // The largest expansion size: the Weeks inversion samples 2N points in one
  // block of threads, and current GPUs (and the host backend's device) run
  // at most 1024 threads in a block.
  static constexpr int kMaxSize = 512;

  bool search() const { return pairs.empty(); }
  // The request and the pair of time i of `count`.
  double request(std::size_t i) const { return rel_errs.empty() ? rel_err : rel_errs[i]; }
  Pair pair(std::size_t i) const { return pairs.size() == 1 ? pairs[0] : pairs[i]; }

  // Checks the options for `count` times, and the times themselves when given
  // (each finite and 0 or more). Throws Error(kParameters) whose refusal names
  // the field ("t", "rel_errs", "sizes", "pairs.b", "resolutions.sigma", ...).
  void check(const std::vector<double>& times) const;
};

}  // namespace orvane
