// Parameter search: lays a (sigma, b) grid at the current resolutions, has the
// error grid driver estimate every point, and returns the point with the
// smallest estimate that is a number.
#pragma once

#include <cmath>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "driver/weeks_method.h"
#include "error/error_core.cuh"

namespace orvane {

struct SearchGrid {
  int Nsigma = 0;
  int Nb = 0;
};

// Number of steps of `resolution` in `range`, rounded down in double; 0 when
// that is not a usable positive int (an empty range, a zero, negative or NaN
// resolution, or a count beyond int).
inline int gridCount(double range, double resolution) {
  const double q = std::floor(range / resolution);
  if (!(q >= 1.0 && q <= 2147483647.0)) return 0;
  return int(q);
}

// Nsigma = floor((sigmax - sigmin)/tolsInput), Nb = floor(bmax/tolbInput);
// ends the program when either leaves no grid point.
inline SearchGrid searchGrid(double sigmin, double sigmax, double bmax, double tolsInput,
                             double tolbInput) {
  SearchGrid g;
  g.Nsigma = gridCount(sigmax - sigmin, tolsInput);
  g.Nb = gridCount(bmax, tolbInput);
  if (g.Nsigma == 0 || g.Nb == 0)
    endWithMessage("The parameter search has no grid: the sigma range [" + std::to_string(sigmin) +
                ", " + std::to_string(sigmax) + ") must hold at least one sigma resolution " +
                std::to_string(tolsInput) + ", and bmax " + std::to_string(bmax) +
                " at least one b resolution " + std::to_string(tolbInput) + ".");
  return g;
}

// Index of the smallest estimate that is not NaN; ties keep the lower index.
// When every estimate is NaN the first point is returned.
inline int bestGridPoint(const double* Errorvec, int Nbatch) {
  int best = -1;
  for (int k = 0; k < Nbatch; ++k) {
    if (std::isnan(Errorvec[k])) continue;
    if (best < 0 || Errorvec[k] < Errorvec[best]) best = k;
  }
  return best < 0 ? 0 : best;
}

// The (sigma, b) of grid point k = i*Nb + j.
inline SigmaB gridPoint(int k, int Nsigma, int Nb, double sigmin, double sigmax, double bmax) {
  const int i = int(std::floor(double(k) / double(Nb)));
  const int j = k - Nb * i;
  SigmaB p;
  p.sigma = sigmin + (double(i) / double(Nsigma)) * (sigmax - sigmin);
  p.b = (double(j + 1) / double(Nb)) * bmax;
  return p;
}

// The error sums of recent search grids. A grid's sums do not depend on the
// time, so a run that searches the same grid for several times computes them
// once. Entries are kept up to a memory cap, oldest dropped first.
class ErrorSumsCache {
 public:
  explicit ErrorSumsCache(std::size_t maxBytes = std::size_t(256) << 20) : maxBytes_(maxBytes) {}

  // The sums of the grid, computed by `compute(double* sums)` when not kept.
  template <class Compute>
  const double* sums(int NLaguerre, int Nsigma, int Nb, double sigmin, double sigmax, double bmax,
                     Compute compute) {
    for (const Entry& e : entries_)
      if (e.NLaguerre == NLaguerre && e.Nsigma == Nsigma && e.Nb == Nb && e.sigmin == sigmin &&
          e.sigmax == sigmax && e.bmax == bmax)
        return e.sums.data();
    const std::size_t bytes = std::size_t(Nsigma) * std::size_t(Nb) * sizeof(double);
    while (!entries_.empty() && bytes_ + bytes > maxBytes_) {
      bytes_ -= entries_.front().sums.size() * sizeof(double);
      entries_.erase(entries_.begin());
    }
    Entry e{NLaguerre, Nsigma, Nb, sigmin, sigmax, bmax, {}};
    try {
      e.sums.resize(std::size_t(Nsigma) * std::size_t(Nb));
    } catch (const std::bad_alloc&) {
      endWithMessage("The parameter search cannot allocate the error sums of its " +
                     std::to_string(Nsigma) + " x " + std::to_string(Nb) + " grid on the host.");
    }
    compute(e.sums.data());
    bytes_ += bytes;
    entries_.push_back(std::move(e));
    return entries_.back().sums.data();
  }

 private:
  struct Entry {
    int NLaguerre, Nsigma, Nb;
    double sigmin, sigmax, bmax;
    std::vector<double> sums;
  };
  std::vector<Entry> entries_;
  std::size_t bytes_ = 0;
  std::size_t maxBytes_;
};

// The best (sigma, b) of the grid for time t and expansion size N. With a
// cache, the grid's error sums are taken from it (or computed into it) and
// scaled to the time; the estimates, and so the choice, are the same bit for bit.
template <class F>
SigmaB paramEst(const F& f, double TimeInput, int NLagInput, double sigmin, double sigmax,
                double bmax, double tolsInput, double tolbInput, ErrorSumsCache* cache = nullptr) {
  const SearchGrid g = searchGrid(sigmin, sigmax, bmax, tolsInput, tolbInput);
  const int Nbatch = checkErrorGrid(g.Nsigma, g.Nb, NLagInput).Nbatch;

  double* Errorvec = new (std::nothrow) double[std::size_t(Nbatch)];
  if (Errorvec == nullptr)
    endWithMessage("The parameter search cannot allocate its " + std::to_string(Nbatch) +
                " error estimates on the host.");
  if (cache != nullptr) {
    const double* sums = cache->sums(NLagInput, g.Nsigma, g.Nb, sigmin, sigmax, bmax, [&](double* out) {
      errorSums(f, g.Nsigma, g.Nb, NLagInput, sigmin, sigmax, bmax, out);
    });
    scaleErrorSums(sums, TimeInput, g.Nsigma, g.Nb, sigmin, sigmax, Nbatch, Errorvec);
  } else {
    errorCore(f, TimeInput, g.Nsigma, g.Nb, NLagInput, sigmin, sigmax, bmax, Errorvec);
  }
  const int best = bestGridPoint(Errorvec, Nbatch);
  delete[] Errorvec;
  return gridPoint(best, g.Nsigma, g.Nb, sigmin, sigmax, bmax);
}

}  // namespace orvane
