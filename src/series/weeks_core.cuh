// Inversion core: f(t) for one time, one expansion size N and one (sigma, b).
// Runs the coefficient pipeline on a batch of one pair with 2N samples, brings
// the row to the host and sums its first N coefficients by Clenshaw's recurrence.
// Generic over the transform functor; WeeksMethod::wfnWeeksCore uses UserTransform.
#pragma once

#include <cstdlib>
#include <iostream>
#include <new>

#include "coeffs/pipeline.cuh"
#include "device/check_cuda.h"
#include "device/gpu_runtime.h"
#include "driver/weeks_method.h"
#include "series/clenshaw.h"

namespace orvane {

// Ends the process with the location report when a host buffer could not be had.
inline void checkHostBuffer(const void* buffer, const char* file, int line) {
  if (buffer == nullptr) wfnCheckCuda(gpu::kErrorMemoryAllocation, file, line);
}

template <class F>
CoreResult weeksCore(const F& f, int maxThreadsPerBlock, double t, int N, double sigma, double b) {
  // The size is formed wide so that a huge N cannot wrap past the check.
  const long long NsamplesWide = 2LL * N;
  if (maxThreadsPerBlock < NsamplesWide) {
    std::cerr << "The number of samples per block " << NsamplesWide << "exceeds the maximum "
              << maxThreadsPerBlock << std::endl;
    std::cin.get();
    std::exit(1);
  }
  // An expansion needs at least one term: with none there is no row to sample
  // and no coefficient to sum.
  if (N < 1) {
    std::cerr << "The number of Laguerre terms " << N << " is below 1" << std::endl;
    std::cin.get();
    std::exit(1);
  }

  const int Ncoeff = N;
  const int Nsamples = 2 * N;
  const int Nsigma = 1;
  const int Nb = 1;
  const int Nbatch = Nsigma * Nb;
  const int Ncombo = Nbatch * Nsamples;

  double2* coeffs = new (std::nothrow) double2[Ncoeff];
  checkHostBuffer(coeffs, __FILE__, __LINE__);
  double2* staging = new (std::nothrow) double2[Ncombo];
  checkHostBuffer(staging, __FILE__, __LINE__);
  // The device array is kept for the next call.
  static gpu::DeviceBuffer buffer;
  WFN_CHECK(buffer.reserve(sizeof(double2) * std::size_t(Ncombo)));
  double2* devData = buffer.as<double2>();

  // sigmin = sigmax = sigma and bmax = b: the single row is sampled at exactly (sigma, b).
  coefficientPipeline(f, Ncoeff, Nsamples, Nsigma, Nb, Nbatch, Ncombo, sigma, sigma, b, devData);

  // The blocking copy also waits for the pipeline's kernels and FFT.
  WFN_CHECK(gpu::memcpyDeviceToHost(staging, devData, sizeof(double2) * std::size_t(Ncombo)));

  // a_0 .. a_(N-1); the second half of the row is not part of the series.
  for (int n = 0; n < Ncoeff; ++n) coeffs[n] = staging[n];
  delete[] staging;

  CoreResult result;
  result.Time = t;
  result.ft = clenshaw(Ncoeff, t, sigma, b, coeffs);
  result.sigma = sigma;
  result.b = b;
  delete[] coeffs;
  return result;
}

}  // namespace orvane
