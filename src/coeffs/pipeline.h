// Coefficient pipeline: F(s) -> Laguerre coefficients for a chunk of (sigma, b)
// grid rows, in place in one device array. Step 1 samples F on the contour
// (the transform's own sampling entry point), step 2 swaps the halves of every
// row, step 3 is one batched forward FFT, step 4 scales and dephases into
// coefficients. Every stage works in a StageContext: the solver's workspace,
// the transform, the diagnostic sink and the device's limits.
#pragma once

#include <iosfwd>
#include <vector>

#include "device/workspace.h"
#include "orvane/transform.h"

namespace orvane {

struct StageContext {
  gpu::Workspace& ws;
  const Transform& transform;
  std::ostream* diag;      // the diagnostic timing and echo lines go here; none when null
  int maxThreadsPerBlock;  // of device 0, as the device check found it
};

// Stage timing for the diagnostic lines: with a sink, records the workspace's
// events around a stage and writes " <label> <ms>" after it; without one,
// does nothing.
class StageTimer {
 public:
  explicit StageTimer(StageContext& c);
  void start();
  // Waits for the device and returns the milliseconds since start() (0 without a sink).
  float stop();
  void stopAndPrint(const char* label);
  float total() const { return total_; }

 private:
  std::ostream* out_;
  gpu::Event start_ = nullptr;
  gpu::Event stop_ = nullptr;
  float total_ = 0.0f;
};

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

// Coefficients of the grid rows [rowBegin, rowBegin + rowCount) of a grid of
// Nsigma x Nb pairs over [sigmin, sigmax) x (0, bmax], into devData (rowCount
// rows of Nsamples elements; local row y holds grid row rowBegin + y); element
// n < Nsamples/2 of a row is a_n. With a sink, writes the timing block.
void wfngpuFFTLagCoef(StageContext& c, int Nsamples, int Nsigma, int Nb, int rowBegin,
                      int rowCount, double sigmin, double sigmax, double bmax, double2* devData);

}  // namespace orvane
