// Coefficient pipeline: F(s) -> Laguerre coefficients for a chunk of (sigma, b)
// grid rows, in place in one device array. Step 1 samples F on the contour
// (the transform's own sampling entry point), step 2 swaps the halves of every
// row, step 3 is one batched forward FFT, step 4 scales and dephases into
// coefficients. The Weeks stages work in a WeeksContext: the stage context of
// every method and the Weeks method's own buffers.
#pragma once

#include <memory>
#include <vector>

#include "device/gpu_runtime.h"
#include "methods/weeks/coefficient_kernels.h"
#include "orvane/detail/grid.h"
#include "orvane/detail/sampling.h"
#include "stages/stage_context.h"

namespace orvane {

// The device buffers the Weeks stages keep from one call to the next, and the
// host backend's contour and phase tables.
struct WeeksBuffers {
  gpu::DeviceBuffer coreRow;      // the inversion core's row of 2N samples
  gpu::DeviceBuffer gridData;     // a chunk of coefficient rows of the error grid
  gpu::DeviceBuffer gridValues;   // a chunk of error estimates
  gpu::DeviceBuffer estimateRow;  // the error prediction's row of 4N samples
  gpu::DeviceBuffer threadRows;   // host backend: one row per thread
  struct Kept {
    virtual ~Kept() = default;
  };
  std::unique_ptr<Kept> rowTables;  // the RowTables of hostRowTables()
};

struct WeeksContext : StageContext {
  WeeksBuffers& buffers;
};

// The host backend's tables of the contour points' factors and of the
// phases of every element of a row of Nsamples, made once per row length and
// kept in the buffers (error_rows.cpp).
struct RowTables {
  std::vector<detail::ContourPoint> contour;
  std::vector<LagPhase> phase;
};
const RowTables& hostRowTables(WeeksBuffers& ws, int Nsamples);

// One row of coefficients on the host: element n < Nsamples/2 is a_n of the
// pair (sigma, b), the upper half the negative indices (as on the device).
// The inversion core leaves its 2N-point row here for the error prediction.
struct CoefficientRow {
  int Nsamples = 0;  // 0: holds nothing
  double sigma = 0.0;
  double b = 0.0;
  std::vector<double2> a;
  bool holds(int rowSamples, double rowSigma, double rowB) const {
    return Nsamples != 0 && Nsamples == rowSamples && sigma == rowSigma && b == rowB;
  }
};

// Coefficients of the grid rows [rowBegin, rowBegin + rowCount) into devData
// (rowCount rows of Nsamples elements; local row y holds grid row
// rowBegin + y); element n < Nsamples/2 of a row is a_n. With a sink, writes
// the timing block. `contour` and `phase`, where given, are tables of the
// contour points' factors and the phases (device memory), else computed.
void wfngpuFFTLagCoef(StageContext& c, int Nsamples, const detail::Grid& grid, int rowBegin,
                      int rowCount, double2* devData, const detail::ContourPoint* contour = nullptr,
                      const LagPhase* phase = nullptr);

}  // namespace orvane
