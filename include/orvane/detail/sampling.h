// Sampling of F(s) on the Weeks contour, as a caller's compiled-in transform
// needs it: the per-element bodies (contour point, weight, the sampling kernel
// body wfnsampleFS) and their launch over a chunk of grid rows on the active
// backend, plus F at arbitrary points for the methods that sample elsewhere.
#pragma once

// NVRTC (run-time transforms on a GPU) has the math functions built in.
#if !defined(__CUDACC_RTC__)
#include <cmath>
#include <math.h>
#endif

#include "orvane/config.h"
#include "orvane/detail/grid.h"
#if !defined(__CUDACC_RTC__)
#include "orvane/detail/launch.h"
#endif

namespace orvane {
namespace detail {

// The trigonometric factors of contour point k, the same for every row:
// theta_k = (k - M + 1/2) pi/M, M = Nsamples/2, never 0 or +-pi.
struct ContourPoint {
  wreal c;    // cos theta
  wreal sn;   // sin theta
  wreal omc;  // 1 - cos theta
};

ORVANE_HD inline ContourPoint wfnContourPoint(int k, int Nsamples) {
  const int M = Nsamples / 2;
  const wreal theta = (wreal(k - M) + wreal(0.5)) * (kPi / wreal(M));
  ContourPoint p;
  p.c = cos(theta);
  p.sn = sin(theta);
  p.omc = wreal(1) - p.c;
  return p;
}

// The contour point k of the pair (sigma, b): s = sigma + i b cot(theta/2).
ORVANE_HD inline wcomplex wfnSamplePoint(const ContourPoint& p, wreal sigma, wreal b) {
  wcomplex s;
  s.x = sigma;
  s.y = b * (p.sn / p.omc);
  return s;
}

// The weight of the sample F(s) there: b (1 + i cot(theta/2)) F(s), i.e.
// 2b/(1-w) F(s) at w = e^(i theta).
ORVANE_HD inline double2 wfnWeightSample(const ContourPoint& p, wreal b, wcomplex Fs) {
  double2 out;
  out.x = double(b * (Fs.x - p.sn * Fs.y / p.omc));
  out.y = double(b * (Fs.y + p.sn * Fs.x / p.omc));
  return out;
}

// The weighted sample at one contour point of the pair (sigma, b).
template <class F>
ORVANE_HD inline double2 wfnSampleValue(const F& f, const ContourPoint& p, wreal sigma, wreal b) {
  return wfnWeightSample(p, b, f(wfnSamplePoint(p, sigma, b)));
}

// Sampling kernel body for element k of local row y, which holds grid row
// r = rowBegin + y (large grids are sampled in chunks of rows). `contour` holds
// the factors of every contour point when a table is at hand (rows taken one
// at a time on the host); when null they are computed here.
template <class F>
ORVANE_HD inline void wfnsampleFS(const F& f, int k, int y, int rowBegin, int Nsamples,
                                  const Grid& grid, const ContourPoint* contour,
                                  double2* devSamples) {
  const int r = rowBegin + y;
  const ContourPoint p = contour != nullptr ? contour[k] : wfnContourPoint(k, Nsamples);
  devSamples[(long long)y * Nsamples + k] = wfnSampleValue(
      f, p, grid.sigma<wreal>(grid.sigmaIndex(r)), grid.b<wreal>(grid.bIndex(r)));
}

#if !defined(__CUDACC_RTC__)

// The rows one sampling call fills: grid rows [rowBegin, rowBegin + rowCount),
// Nsamples contour points each. `contour` may hold the contour factors (see
// wfnsampleFS).
struct SampleRows {
  int Nsamples;
  Grid grid;
  int rowBegin;
  int rowCount;
  const ContourPoint* contour;
};

template <class F>
int launchSampling(const F& f, const SampleRows& rows, double2* devSamples) {
  const SampleRows g = rows;
  return launch(g.Nsamples, g.rowCount, [=] ORVANE_HD(int k, int y) {
    wfnsampleFS(f, k, y, g.rowBegin, g.Nsamples, g.grid, g.contour, devSamples);
  });
}

// F at `count` points: element e reads devPoints[e] and writes devValues[e]
// (the two may be the same array).
template <class F>
int launchEvaluation(const F& f, const double2* devPoints, long long count, double2* devValues) {
  const int width = 1024;
  const long long rows = (count + width - 1) / width;
  if (rows > (1LL << 30)) return kLaunchInvalidValue;
  return launch(width, int(rows), [=] ORVANE_HD(int x, int y) {
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

#endif

}  // namespace detail
}  // namespace orvane
