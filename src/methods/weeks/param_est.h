// Parameter search: lays a (sigma, b) grid at the current resolutions, has the
// error grid driver estimate every point, and returns the point with the
// smallest estimate that is a number.
#pragma once

#include <cstddef>
#include <vector>

#include "methods/weeks/pipeline.h"
#include "methods/weeks/records.h"
#include "orvane/detail/grid.h"

namespace orvane {

// Number of steps of `resolution` in `range`, rounded down in double; 0 when
// that is not a usable positive int (an empty range, a zero, negative or NaN
// resolution, or a count beyond int).
int gridCount(double range, double resolution);

// The grid over the range with Nsigma = floor((sigmax - sigmin)/tolsInput),
// Nb = floor(bmax/tolbInput); throws Error(kParameters) when either leaves no
// grid point.
detail::Grid searchGrid(double sigmin, double sigmax, double bmax, double tolsInput,
                      double tolbInput);

// Index of the smallest estimate that is not NaN; ties keep the lower index.
// When every estimate is NaN the first point is returned.
int bestGridPoint(const double* Errorvec, int Nbatch);

// The (sigma, b) of grid point k, in double.
SigmaB gridPoint(const detail::Grid& grid, int k);

// The host memory of a run's searches: the error sums of recent grids (a
// grid's sums do not depend on the time, so a run that searches the same grid
// for several times computes them once), kept within `cacheBytes`, oldest
// dropped first; a grid whose sums exceed that is recomputed for every time.
// No search takes more than `limitBytes` of host memory: a grid whose
// estimates alone exceed it is refused before anything is allocated.
class SearchMemory {
 public:
  SearchMemory(std::size_t cacheBytes, std::size_t limitBytes)
      : cacheBytes_(cacheBytes), limitBytes_(limitBytes) {}

  struct Key {
    int NLaguerre;
    detail::Grid grid;
    bool operator==(const Key& o) const {
      return NLaguerre == o.NLaguerre && grid.Nsigma == o.grid.Nsigma && grid.Nb == o.grid.Nb &&
             grid.sigmin == o.grid.sigmin && grid.sigmax == o.grid.sigmax && grid.bmax == o.grid.bmax;
    }
  };

  // The kept sums of the grid, or null.
  const double* find(const Key& key) const;
  // Keeps the sums (when they fit the cache at all) and returns them, or null.
  const double* keep(const Key& key, std::vector<double>&& sums);
  bool cacheable(std::size_t bytes) const { return bytes <= cacheBytes_; }
  std::size_t limitBytes() const { return limitBytes_; }
  std::size_t keptBytes() const { return bytes_; }
  // Forgets every kept grid (a new run may have another transform).
  void clear() {
    entries_.clear();
    bytes_ = 0;
  }

 private:
  struct Entry {
    Key key;
    std::vector<double> sums;
  };
  std::vector<Entry> entries_;
  std::size_t bytes_ = 0;
  std::size_t cacheBytes_;
  std::size_t limitBytes_;
};

// The best (sigma, b) of the grid for time t and expansion size N. Without a
// diagnostic sink the grid's error sums come from `memory` (or are computed
// into it) and are scaled to the time; the estimates, and so the choice, are
// the same bit for bit as a full evaluation at the time.
SigmaB wfnParamEst(WeeksContext& c, SearchMemory& memory, double TimeInput, int NLagInput,
                   double sigmin, double sigmax, double bmax, double tolsInput, double tolbInput);

}  // namespace orvane
