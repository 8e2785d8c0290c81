// Error grid driver: the total-error estimate of every point of a (sigma, b)
// grid at one time. One batched coefficient pipeline over the grid, then the
// error kernel reads the coefficients as the pipeline delivers them.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <iostream>
#include <string>

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

// Sizes of one error evaluation. Counts of elements must fit the 32-bit
// interfaces of the pipeline and the FFT; byte counts are 64-bit.
struct ErrorGridSizes {
  int Ncoeff = 0;
  int Nsamples = 0;
  int Nbatch = 0;
  int Ncombo = 0;
  std::size_t dataBytes = 0;   // Ncombo double2 coefficients
  std::size_t errorBytes = 0;  // Nbatch double estimates
};

// Forms the sizes in 64-bit arithmetic. Returns an empty string when they are
// usable, otherwise the reason they are not.
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
  if (ncombo > kIntMax)
    return std::to_string(nbatch) + " grid points x " + std::to_string(nsamples) + " samples = " +
           std::to_string(ncombo) + " coefficients exceed " + std::to_string(kIntMax);
  out->Nsamples = int(nsamples);
  out->Ncoeff = int(nsamples / 2);
  out->Nbatch = int(nbatch);
  out->Ncombo = int(ncombo);
  out->dataBytes = std::size_t(ncombo) * sizeof(double2);
  out->errorBytes = std::size_t(nbatch) * sizeof(double);
  return "";
}

// Refuses, before anything is allocated, a grid whose arrays do not fit in the
// device memory that is free now.
inline void requireDeviceMemory(const ErrorGridSizes& sizes, int Nsigma, int Nb) {
  std::size_t freeBytes = 0, totalBytes = 0;
  WFN_CHECK(gpu::memGetInfo(&freeBytes, &totalBytes));
  const std::size_t need = sizes.dataBytes + sizes.errorBytes;
  if (need > freeBytes)
    endWithMessage("The error grid is too large for the device: " + std::to_string(Nsigma) + " x " +
                std::to_string(Nb) + " points with " + std::to_string(sizes.Nsamples) +
                " samples each need " + std::to_string(need) + " bytes of device memory, " +
                "but only " + std::to_string(freeBytes) + " bytes are free.");
}

// The sizes of a usable grid that fits in free device memory; ends the
// program with the reason otherwise.
inline ErrorGridSizes checkErrorGrid(int Nsigma, int Nb, int NLaguerre) {
  ErrorGridSizes sizes;
  const std::string problem = errorGridSizes(Nsigma, Nb, NLaguerre, &sizes);
  if (!problem.empty()) endWithMessage("The error grid cannot be evaluated: " + problem + ".");
  requireDeviceMemory(sizes, Nsigma, Nb);
  return sizes;
}

// Launches the error kernel over the grid: one worker per grid point.
inline void launchErrorKernel(int Nsamples, double sigmin, double sigmax, int Nsigma, int Nb,
                              int Nbatch, double TimeInput, const double2* devData,
                              double* devErrorvec) {
  WFN_CHECK(gpu::launch(1, Nbatch, [=] ORVANE_HD(int, int k) {
    wfnLagError(k, Nsamples, sigmin, sigmax, Nsigma, Nb, TimeInput, devData, devErrorvec);
  }));
}

// Leaves in Errorvec[k] (k < Nsigma*Nb) the estimate of grid point
// k = i*Nb + j, i.e. (sigmin + (i/Nsigma)(sigmax - sigmin), ((j+1)/Nb) bmax).
template <class F>
void errorCore(const F& f, double TimeInput, int Nsigma, int Nb, int NLaguerre, double sigmin,
               double sigmax, double bmax, double* Errorvec) {
  const ErrorGridSizes sizes = checkErrorGrid(Nsigma, Nb, NLaguerre);

  StageTimer timer;
  double2* devData = nullptr;
  double* devErrorvec = nullptr;
  WFN_CHECK(gpu::malloc(reinterpret_cast<void**>(&devData), sizes.dataBytes));
  WFN_CHECK(gpu::malloc(reinterpret_cast<void**>(&devErrorvec), sizes.errorBytes));

  // The pipeline's last stage already turns the FFT output into the Laguerre
  // coefficients a_n; the error kernel reads them as they are.
  coefficientPipeline(f, sizes.Ncoeff, sizes.Nsamples, Nsigma, Nb, sizes.Nbatch, sizes.Ncombo,
                      sigmin, sigmax, bmax, devData);
  WFN_CHECK(gpu::deviceSynchronize());

  timer.start();
  launchErrorKernel(sizes.Nsamples, sigmin, sigmax, Nsigma, Nb, sizes.Nbatch, TimeInput, devData,
                    devErrorvec);
  const float ms = timer.stop();
  if (ORVANE_DIAG) std::cout << "GPU Error Estimation Time = " << ms << std::endl << std::endl;

  WFN_CHECK(gpu::memcpyDeviceToHost(Errorvec, devErrorvec, sizes.errorBytes));
  WFN_CHECK(gpu::free(devData));
  WFN_CHECK(gpu::free(devErrorvec));
}

}  // namespace orvane
