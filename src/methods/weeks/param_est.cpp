// Parameter search over one grid, with the run's kept error sums.
#include "methods/weeks/param_est.h"

#include <cmath>
#include <new>
#include <string>
#include <utility>

#include "methods/weeks/error_core.h"
#include "orvane/error.h"

namespace orvane {

int gridCount(double range, double resolution) {
  const double q = std::floor(range / resolution);
  if (!(q >= 1.0 && q <= 2147483647.0)) return 0;
  return int(q);
}

detail::Grid searchGrid(double sigmin, double sigmax, double bmax, double tolsInput,
                        double tolbInput) {
  detail::Grid g;
  g.sigmin = sigmin;
  g.sigmax = sigmax;
  g.bmax = bmax;
  g.Nsigma = gridCount(sigmax - sigmin, tolsInput);
  g.Nb = gridCount(bmax, tolbInput);
  if (g.Nsigma == 0 || g.Nb == 0)
    throw Error(ErrorKind::kParameters,
                "The parameter search has no grid: the sigma range [" + std::to_string(sigmin) +
                    ", " + std::to_string(sigmax) + ") must hold at least one sigma resolution " +
                    std::to_string(tolsInput) + ", and bmax " + std::to_string(bmax) +
                    " at least one b resolution " + std::to_string(tolbInput) + ".");
  return g;
}

int bestGridPoint(const double* Errorvec, int Nbatch) {
  int best = -1;
  for (int k = 0; k < Nbatch; ++k) {
    if (std::isnan(Errorvec[k])) continue;
    if (best < 0 || Errorvec[k] < Errorvec[best]) best = k;
  }
  return best < 0 ? 0 : best;
}

SigmaB gridPoint(const detail::Grid& grid, int k) {
  SigmaB p;
  p.sigma = grid.sigma<double>(grid.sigmaIndex(k));
  p.b = grid.b<double>(grid.bIndex(k));
  return p;
}

const double* SearchMemory::find(const Key& key) const {
  for (const Entry& e : entries_)
    if (e.key == key) return e.sums.data();
  return nullptr;
}

const double* SearchMemory::keep(const Key& key, std::vector<double>&& sums) {
  const std::size_t bytes = sums.size() * sizeof(double);
  if (!cacheable(bytes)) return nullptr;
  while (!entries_.empty() && bytes_ + bytes > cacheBytes_) {
    bytes_ -= entries_.front().sums.size() * sizeof(double);
    entries_.erase(entries_.begin());
  }
  entries_.push_back(Entry{key, std::move(sums)});
  bytes_ += bytes;
  return entries_.back().sums.data();
}

namespace {

std::vector<double> hostArray(std::size_t count, int Nsigma, int Nb) {
  try {
    return std::vector<double>(count);
  } catch (const std::bad_alloc&) {
    throw Error(ErrorKind::kResources, "The parameter search cannot allocate the error estimates of its " +
                                           std::to_string(Nsigma) + " x " + std::to_string(Nb) +
                                           " grid on the host.");
  }
}

}  // namespace

SigmaB wfnParamEst(WeeksContext& c, SearchMemory& memory, double TimeInput, int NLagInput,
                   double sigmin, double sigmax, double bmax, double tolsInput, double tolbInput) {
  const detail::Grid g = searchGrid(sigmin, sigmax, bmax, tolsInput, tolbInput);
  const int Nbatch = checkErrorGrid(g, NLagInput).Nbatch;
  const std::size_t bytes = std::size_t(Nbatch) * sizeof(double);
  if (bytes > memory.limitBytes())
    throw Error(ErrorKind::kResources,
                "The parameter search cannot hold the error estimates of its " +
                    std::to_string(g.Nsigma) + " x " + std::to_string(g.Nb) + " grid: " +
                    std::to_string(bytes) + " bytes of host memory, more than the " +
                    std::to_string(memory.limitBytes()) + " it may use.");

  std::vector<double> Errorvec = hostArray(std::size_t(Nbatch), g.Nsigma, g.Nb);
  const SearchMemory::Key key{NLagInput, g};
  // With diagnostic lines every search runs the whole pipeline, so that its
  // timing lines show.
  const double* sums = c.diag == nullptr ? memory.find(key) : nullptr;
  if (sums == nullptr && c.diag == nullptr && memory.cacheable(bytes) &&
      bytes <= memory.limitBytes() - bytes) {
    std::vector<double> computed = hostArray(std::size_t(Nbatch), g.Nsigma, g.Nb);
    wfnErrorCore(c, 0.0, g, NLagInput, computed.data());
    sums = memory.keep(key, std::move(computed));
  }
  if (sums != nullptr)
    scaleErrorSums(sums, TimeInput, g, Errorvec.data());
  else
    wfnErrorCore(c, TimeInput, g, NLagInput, Errorvec.data());
  const int best = bestGridPoint(Errorvec.data(), Nbatch);
  return gridPoint(g, best);
}

}  // namespace orvane
