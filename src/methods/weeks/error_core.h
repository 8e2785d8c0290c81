// Error grid driver: the total-error estimate of every point of a (sigma, b)
// grid at one time, from the coefficients the coefficient pipeline delivers.
//
// Two ways to the same numbers, bit for bit:
//  - batched (the CUDA backend, and any run with diagnostic lines): whole
//    chunks of rows through the pipeline in device memory, then one error
//    kernel launch per chunk. Chunks are as large as free device memory
//    allows, so a grid larger than the device is done in several passes with
//    exactly the result of one.
//  - host rows (the host backend, unless the transform wants whole batches):
//    every thread takes one row at a time through sampling, shift, FFT,
//    coefficients and error sum in a buffer of its own, with the contour and
//    phase factors computed once.
// The estimate of a point is e^(sigma t) times a sum that does not depend on
// t; the estimate at t = 0 is that sum, so a search can keep the sums and
// scale them for every time.
#pragma once

#include <cstddef>
#include <string>

#include "methods/weeks/pipeline.h"

namespace orvane {

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
std::string errorGridSizes(const detail::Grid& grid, int NLaguerre, ErrorGridSizes* out);

// The sizes of a usable grid; throws Error(kResources) with the reason otherwise.
ErrorGridSizes checkErrorGrid(const detail::Grid& grid, int NLaguerre);

// Rows per chunk of the batched path: as many as fit in free device memory
// plus the `heldBytes` that the driver's own kept buffers can give back
// (leaving an eighth for the FFT's work space), at least one.
int rowsPerChunk(const ErrorGridSizes& sizes, std::size_t heldBytes);

// Leaves in Errorvec[k] (k < Nsigma*Nb, host memory) the estimate at
// TimeInput of grid point k, from 4N samples per point. With a diagnostic
// sink, or a transform that wants whole batches, the batched path runs (and,
// with the sink, writes its lines).
void wfnErrorCore(WeeksContext& c, double TimeInput, const detail::Grid& grid, int NLaguerre,
                  double* Errorvec);

// The host backend's row-at-a-time path of wfnErrorCore (error_rows.cpp).
void errorCoreHostRows(WeeksContext& c, double TimeInput, const ErrorGridSizes& sizes,
                       const detail::Grid& grid, double* Errorvec);

// The estimates at TimeInput from the sums (the estimates at 0), into Errorvec.
void scaleErrorSums(const double* sums, double TimeInput, const detail::Grid& grid,
                    double* Errorvec);

}  // namespace orvane
