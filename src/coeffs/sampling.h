// The sampling stage for a compiled-in transform: the sampling kernel body
// wfnsampleFS launched over a chunk of grid rows on the active backend.
#pragma once

#include "coeffs/kernels.h"
#include "device/gpu_launch.h"

namespace orvane {

// The rows one sampling call fills: grid rows [rowBegin, rowBegin + rowCount)
// of the Nsigma x Nb grid over [sigmin, sigmax) x (0, bmax], Nsamples contour
// points each. `contour` may hold the contour factors (see wfnsampleFS).
struct SampleRows {
  int Nsamples;
  int Nsigma;
  int Nb;
  double sigmin;
  double sigmax;
  double bmax;
  int rowBegin;
  int rowCount;
  const ContourPoint* contour;
};

template <class F>
int launchSampling(const F& f, const SampleRows& rows, double2* devSamples) {
  const SampleRows g = rows;
  return gpu::launch(g.Nsamples, g.rowCount, [=] ORVANE_HD(int k, int y) {
    wfnsampleFS(f, k, y, g.rowBegin, g.Nsamples, g.sigmin, g.sigmax, g.Nsigma, 0.0, g.bmax, g.Nb,
                g.contour, devSamples);
  });
}

}  // namespace orvane
