// Error grid driver: the total-error estimate of every point of a (sigma, b)
// grid at one time. The coefficients of every grid point come from the
// coefficient pipeline; the error kernel reads them as the pipeline delivers them.
//
// Two ways to the same numbers, bit for bit:
//  - batched (the CUDA backend and the diagnostic build): sample, shift, FFT and
//    scale whole chunks of rows in device memory, then one error kernel launch.
//    Chunks are as large as free device memory allows, so a grid larger than the
//    device is done in several passes with exactly the result of one.
//  - fused (the host backend): every thread takes one row at a time through
//    sample, FFT, scaling and error sum in a buffer of its own, with the
//    contour and phase factors computed once per call.
// The estimate of a point is e^(sigma t) times a sum that does not depend on t,
// so errorSums gives the sums and a search can reuse them for every time.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <iostream>
#include <map>
#include <new>
#include <string>
#include <utility>
#include <vector>

#if !defined(__CUDACC__)
#include <omp.h>
#endif

#include "coeffs/kernels.h"
#include "coeffs/pipeline.cuh"
#include "device/check_cuda.h"
#include "device/gpu_launch.h"
#include "device/gpu_runtime.h"
#include "error/error_kernel.h"

namespace orvane {

// Ends the program on a grid it cannot evaluate or a host buffer it cannot
// get: the reason on the standard error stream, exit code 1, no wait (as for a
// failed device allocation).
[[noreturn]] inline void endWithMessage(const std::string& message) {
  std::cerr << message << std::endl;
  std::exit(1);
}

// Sizes of one error evaluation, formed in 64-bit arithmetic. Per-point counts
// must fit the 32-bit interfaces of the kernels and the FFT; the whole grid's
// array need not fit anywhere, since large grids are done in chunks.
struct ErrorGridSizes {
  int Ncoeff = 0;
  int Nsamples = 0;
  int Nbatch = 0;
  int Ncombo = 0;              // Nbatch * Nsamples, or 0 when that exceeds int
  std::size_t dataBytes = 0;   // Nbatch * Nsamples double2 coefficients
  std::size_t errorBytes = 0;  // Nbatch double estimates
};

// Returns an empty string when the sizes are usable, otherwise the reason.
inline std::string errorGridSizes(int Nsigma, int Nb, int NLaguerre, ErrorGridSizes* out) {
  const long long kIntMax = 2147483647LL;
  if (NLaguerre < 1) return "the expansion size must be at least 1, not " + std::to_string(NLaguerre);
  if (Nsigma < 1 || Nb < 1)
    return "the grid needs at least one sigma and one b value, not " + std::to_string(Nsigma) +
           " x " + std::to_string(Nb);
  const long long nsamples = 4LL * NLaguerre;
  const long long nbatch = (long long)Nsigma * Nb;
  if (nsamples > kIntMax)
    return std::to_string(nsamples) + " samples per grid point exceed " + std::to_string(kIntMax);
  if (nbatch > kIntMax)
    return std::to_string(Nsigma) + " x " + std::to_string(Nb) + " = " + std::to_string(nbatch) +
           " grid points exceed " + std::to_string(kIntMax);
  // Both factors are below 2^31, so the product cannot overflow 64 bits.
  const long long ncombo = nbatch * nsamples;
  out->Nsamples = int(nsamples);
  out->Ncoeff = int(nsamples / 2);
  out->Nbatch = int(nbatch);
  out->Ncombo = ncombo <= kIntMax ? int(ncombo) : 0;
  out->dataBytes = std::size_t(ncombo) * sizeof(double2);
  out->errorBytes = std::size_t(nbatch) * sizeof(double);
  return "";
}

// The sizes of a usable grid; ends the program with the reason otherwise.
inline ErrorGridSizes checkErrorGrid(int Nsigma, int Nb, int NLaguerre) {
  ErrorGridSizes sizes;
  const std::string problem = errorGridSizes(Nsigma, Nb, NLaguerre, &sizes);
  if (!problem.empty()) endWithMessage("The error grid cannot be evaluated: " + problem + ".");
  return sizes;
}

// Rows per chunk of the batched path: as many as fit in free device memory
// plus the `heldBytes` that the driver's own kept buffers can give back
// (leaving an eighth for the FFT's work space), at least one. When not even one
// row fits, its allocation fails and is reported where it is made.
inline int rowsPerChunk(const ErrorGridSizes& sizes, std::size_t heldBytes) {
  std::size_t freeBytes = 0, totalBytes = 0;
  WFN_CHECK(gpu::memGetInfo(&freeBytes, &totalBytes));
  const std::size_t available = freeBytes + heldBytes;
  const std::size_t usable = available - available / 8;
  const std::size_t perRow = std::size_t(sizes.Nsamples) * sizeof(double2) + sizeof(double);
  std::size_t rows = usable / perRow;
  // One chunk's element count must also fit the kernels' 32-bit interfaces.
  const std::size_t intRows = std::size_t(2147483647) / std::size_t(sizes.Nsamples);
  if (rows > intRows) rows = intRows;
  if (rows > std::size_t(sizes.Nbatch)) rows = std::size_t(sizes.Nbatch);
  return rows < 1 ? 1 : int(rows);
}

// Launches the error kernel over `rows` grid points whose coefficient blocks
// are consecutive in devData: one worker per point. With sumsOnly the kernel
// leaves the time-independent sums instead of the estimates at TimeInput.
inline void launchErrorKernel(int Nsamples, double sigmin, double sigmax, int Nsigma, int Nb,
                              int rows, double TimeInput, const double2* devData,
                              double* devErrorvec, int rowBegin = 0, bool sumsOnly = false) {
  WFN_CHECK(gpu::launch(1, rows, [=] ORVANE_HD(int, int y) {
    const wreal sum = wfnLagErrorSum(devData + (long long)y * Nsamples, Nsamples);
    devErrorvec[y] = sumsOnly ? double(sum)
                              : wfnLagErrorAt(sum, wfnGridRowSigma(rowBegin + y, Nb), Nsigma,
                                              sigmin, sigmax, TimeInput);
  }));
}

// Batched path: Errorvec[k] for every grid point k = i*Nb + j (the estimate at
// TimeInput, or with sumsOnly the time-independent sum).
template <class F>
void errorCoreBatched(const F& f, double TimeInput, int Nsigma, int Nb, int NLaguerre,
                      double sigmin, double sigmax, double bmax, double* Errorvec,
                      bool sumsOnly = false) {
  // The coefficient and estimate arrays are kept for the next call.
  static gpu::DeviceBuffer dataBuffer, errorBuffer;
  const ErrorGridSizes sizes = checkErrorGrid(Nsigma, Nb, NLaguerre);
  const int chunk = rowsPerChunk(sizes, dataBuffer.bytes() + errorBuffer.bytes());
  const int Nsamples = sizes.Nsamples;

  StageTimer timer;
  WFN_CHECK(dataBuffer.reserve(std::size_t(chunk) * std::size_t(Nsamples) * sizeof(double2)));
  WFN_CHECK(errorBuffer.reserve(std::size_t(chunk) * sizeof(double)));
  double2* devData = dataBuffer.as<double2>();
  double* devErrorvec = errorBuffer.as<double>();

  for (int rowBegin = 0; rowBegin < sizes.Nbatch; rowBegin += chunk) {
    const int rows = sizes.Nbatch - rowBegin < chunk ? sizes.Nbatch - rowBegin : chunk;
    // The pipeline's last stage already turns the FFT output into the Laguerre
    // coefficients a_n; the error kernel reads them as they are.
    coefficientRows(f, Nsamples, Nsigma, Nb, rowBegin, rows, sigmin, sigmax, bmax, devData);
    if (ORVANE_DIAG) WFN_CHECK(gpu::deviceSynchronize());

    timer.start();
    launchErrorKernel(Nsamples, sigmin, sigmax, Nsigma, Nb, rows, TimeInput, devData, devErrorvec,
                      rowBegin, sumsOnly);
    const float ms = timer.stop();
    if (ORVANE_DIAG) std::cout << "GPU Error Estimation Time = " << ms << std::endl << std::endl;

    WFN_CHECK(gpu::memcpyDeviceToHost(Errorvec + rowBegin, devErrorvec, std::size_t(rows) * sizeof(double)));
  }
  timer.destroy();
}

#if !defined(__CUDACC__)
// The contour factors of every sample and the phase factors of the first half
// of a row of Nsamples elements.
struct ContourTables {
  std::vector<ContourPoint> contour;
  std::vector<LagPhase> phase;
};

inline const ContourTables& contourTables(int Nsamples) {
  static std::map<int, ContourTables> kept;
  auto found = kept.find(Nsamples);
  if (found != kept.end()) return found->second;
  ContourTables t;
  try {
    t.contour.resize(std::size_t(Nsamples));
    t.phase.resize(std::size_t(Nsamples / 2));
  } catch (const std::bad_alloc&) {
    endWithMessage("The error grid driver cannot allocate its contour tables on the host.");
  }
  for (int k = 0; k < Nsamples; ++k) t.contour[k] = wfnContourPoint(k, Nsamples);
  for (int n = 0; n < Nsamples / 2; ++n) t.phase[n] = wfnLagPhase(n, Nsamples);
  return kept.emplace(Nsamples, std::move(t)).first->second;
}

// Fused host path: sums[k] = the time-independent error sum of grid point k.
// Each row is sampled straight into its shifted position (sample k goes to
// (k + M) mod Nsamples, as the half swap would put it), transformed by FFT,
// and its first half scaled into coefficients before the sum; every value is
// formed by the same per-element functions as the batched path.
template <class F>
void errorSumsFused(const F& f, int Nsigma, int Nb, int NLaguerre, double sigmin, double sigmax,
                    double bmax, double* sums) {
  const ErrorGridSizes sizes = checkErrorGrid(Nsigma, Nb, NLaguerre);
  const int Nsamples = sizes.Nsamples;
  const int M = Nsamples / 2;

  // Contour and phase factors: the same for every row and every call with this
  // many samples, so computed once and kept.
  const ContourTables& tables = contourTables(Nsamples);

  // One row buffer per thread, in device memory of the emulated device, kept
  // for the next call.
  static gpu::DeviceBuffer rowBuffer;
  const int threads = omp_get_max_threads();
  WFN_CHECK(rowBuffer.reserve(std::size_t(threads) * std::size_t(Nsamples) * sizeof(double2)));
  double2* devRows = rowBuffer.as<double2>();
  gpu::FftPlan plan;
  WFN_CHECK(plan.create(Nsamples, 1));

  const ContourPoint* cp = tables.contour.data();
  const LagPhase* lp = tables.phase.data();
  gpu::Status fftStatus = gpu::kSuccess;
#pragma omp parallel num_threads(threads)
  {
    double2* row = devRows + std::size_t(omp_get_thread_num()) * Nsamples;
#pragma omp for schedule(dynamic, 16)
    for (int r = 0; r < sizes.Nbatch; ++r) {
      const int i = r / Nb;
      const int j = r - i * Nb;
      const wreal sigma = gridSigma(i, Nsigma, sigmin, sigmax);
      const wreal b = gridB(j, Nb, 0.0, bmax);
      for (int k = 0; k < M; ++k) row[k + M] = wfnSampleValue(f, cp[k], sigma, b);
      for (int k = M; k < Nsamples; ++k) row[k - M] = wfnSampleValue(f, cp[k], sigma, b);
      const gpu::Status status = plan.execForward(row);
      if (status != gpu::kSuccess) {
#pragma omp critical
        fftStatus = status;
      }
      for (int n = 0; n < M; ++n) row[n] = wfnLagValue(row[n], lp[n]);
      sums[r] = double(wfnLagErrorSum(row, Nsamples));
    }
  }
  WFN_CHECK(fftStatus);
}
#endif

// The time-independent error sums of every grid point.
template <class F>
void errorSums(const F& f, int Nsigma, int Nb, int NLaguerre, double sigmin, double sigmax,
               double bmax, double* sums) {
#if ORVANE_DIAG || defined(__CUDACC__)
  errorCoreBatched(f, 0.0, Nsigma, Nb, NLaguerre, sigmin, sigmax, bmax, sums, true);
#else
  errorSumsFused(f, Nsigma, Nb, NLaguerre, sigmin, sigmax, bmax, sums);
#endif
}

// The estimates at TimeInput from the sums, in place or into Errorvec.
inline void scaleErrorSums(const double* sums, double TimeInput, int Nsigma, int Nb, double sigmin,
                           double sigmax, int Nbatch, double* Errorvec) {
  for (int k = 0; k < Nbatch; ++k)
    Errorvec[k] = wfnLagErrorAt(wreal(sums[k]), wfnGridRowSigma(k, Nb), Nsigma, sigmin, sigmax,
                                TimeInput);
}

// Leaves in Errorvec[k] (k < Nsigma*Nb) the estimate of grid point
// k = i*Nb + j, i.e. (sigmin + (i/Nsigma)(sigmax - sigmin), ((j+1)/Nb) bmax).
template <class F>
void errorCore(const F& f, double TimeInput, int Nsigma, int Nb, int NLaguerre, double sigmin,
               double sigmax, double bmax, double* Errorvec) {
#if ORVANE_DIAG || defined(__CUDACC__)
  errorCoreBatched(f, TimeInput, Nsigma, Nb, NLaguerre, sigmin, sigmax, bmax, Errorvec);
#else
  errorSumsFused(f, Nsigma, Nb, NLaguerre, sigmin, sigmax, bmax, Errorvec);
  scaleErrorSums(Errorvec, TimeInput, Nsigma, Nb, sigmin, sigmax, Nsigma * Nb, Errorvec);
#endif
}

}  // namespace orvane
