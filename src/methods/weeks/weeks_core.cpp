// The inversion core.
#include "methods/weeks/weeks_core.h"

#include <new>
#include <string>
#include <vector>

#include "device/check_cuda.h"
#include "orvane/error.h"
#include "methods/weeks/clenshaw.h"

namespace orvane {

CoreResult wfnWeeksCore(WeeksContext& c, double t, int N, double sigma, double b,
                        CoefficientRow* row) {
  // The size is formed wide so that a huge N cannot wrap past the check.
  const long long NsamplesWide = 2LL * N;
  if (c.maxThreadsPerBlock < NsamplesWide)
    throw Error(ErrorKind::kSizeRefused, "The number of samples per block " +
                                             std::to_string(NsamplesWide) + "exceeds the maximum " +
                                             std::to_string(c.maxThreadsPerBlock));
  // An expansion needs at least one term: with none there is no row to sample
  // and no coefficient to sum.
  if (N < 1)
    throw Error(ErrorKind::kSizeRefused,
                "The number of Laguerre terms " + std::to_string(N) + " is below 1");

  const int Ncoeff = N;
  const int Nsamples = 2 * N;

  // The host row: the caller's, or one of this call. It says what it holds
  // only once it is complete.
  CoefficientRow own;
  CoefficientRow& staging = row != nullptr ? *row : own;
  staging.Nsamples = 0;
  try {
    staging.a.resize(std::size_t(Nsamples));
  } catch (const std::bad_alloc&) {
    WFN_CHECK(gpu::kErrorMemoryAllocation);
  }
  // The device row is kept in the workspace for the next call.
  WFN_CHECK(c.buffers.coreRow.reserve(sizeof(double2) * std::size_t(Nsamples)));
  double2* devData = c.buffers.coreRow.as<double2>();

  // sigmin = sigmax = sigma and bmax = b: the single row is sampled at exactly (sigma, b).
  wfngpuFFTLagCoef(c, Nsamples, detail::Grid::single(sigma, b), 0, 1, devData);

  // The blocking copy also waits for the pipeline's kernels and FFT.
  WFN_CHECK(gpu::memcpyDeviceToHost(staging.a.data(), devData, sizeof(double2) * std::size_t(Nsamples)));
  staging.Nsamples = Nsamples;
  staging.sigma = sigma;
  staging.b = b;

  // a_0 .. a_(N-1); the second half of the row is not part of the series.
  CoreResult result;
  result.Time = t;
  result.ft = wfnClenshaw(Ncoeff, t, sigma, b, staging.a.data());
  result.sigma = sigma;
  result.b = b;
  return result;
}

}  // namespace orvane
