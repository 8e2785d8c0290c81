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

// F at `count` points: element e reads devPoints[e] and writes devValues[e]
// (the two may be the same array).
template <class F>
int launchEvaluation(const F& f, const double2* devPoints, long long count, double2* devValues) {
  const int width = 1024;
  const long long rows = (count + width - 1) / width;
  if (rows > (1LL << 30)) return gpu::kErrorInvalidValue;
  return gpu::launch(width, int(rows), [=] ORVANE_HD(int x, int y) {
    const long long e = (long long)y * width + x;
    if (e >= count) return;
    wcomplex s;
    s.x = wreal(devPoints[e].x);
    s.y = wreal(devPoints[e].y);
    const wcomplex Fs = f(s);
    devValues[e].x = double(Fs.x);
    devValues[e].y = double(Fs.y);
  });
}

// The steps of PointTransform::sampleRows: the contour points of the rows
// into devSamples, and, once F has replaced them, the weights.
int launchRowPoints(const SampleRows& rows, double2* devSamples);
int launchRowWeights(const SampleRows& rows, double2* devSamples);

}  // namespace orvane
