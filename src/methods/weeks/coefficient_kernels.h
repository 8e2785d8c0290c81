// Per-element bodies of the two coefficient kernels after the sampling (whose
// bodies are in orvane/detail/sampling.h): the half swap of every row and the
// phase-and-scale step after the FFT. Each runs for one element (index k or n
// within the row, row r of rows laid end to end) and is shared by the CUDA
// kernels and the host loops. Arithmetic is in wreal; the array is double2 in
// every build.
#pragma once

#include <cmath>
#include <math.h>

#include "orvane/config.h"
#include "orvane/detail/sampling.h"

namespace orvane {

using detail::ContourPoint;
using detail::wfnContourPoint;

// Swaps the two halves of row r: element k <-> element (k - M) mod N for k < M.
// For even N that is k <-> k + N/2; for odd N the middle element stays.
ORVANE_HD inline void wfncufftshift(int k, int r, int Nsamples, double2* devData) {
  const int N = Nsamples;
  const int M = N / 2;
  if (k >= M) return;
  const int d = k - M;
  const int q = d >= 0 ? d / N : -((-d + N - 1) / N);  // floor(d / N)
  const int m = d - N * q;
  const long long base = (long long)r * N;
  const double2 tmp = devData[base + k];
  devData[base + k] = devData[base + m];
  devData[base + m] = tmp;
}

// The factor e^(-i n pi / N) / N of element n, as (c, d) = (cos phi / N, -sin phi / N)
// with phi = (n pi) / N: it removes the half-step phase of the midpoint contour
// and the factor N of the unnormalised FFT.
struct LagPhase {
  wreal c;
  wreal d;
};

ORVANE_HD inline LagPhase wfnLagPhase(int n, int N) {
  const wreal phi = (wreal(n) * detail::kPi) / wreal(N);
  LagPhase p;
  p.c = cos(phi) / wreal(N);
  p.d = -sin(phi) / wreal(N);
  return p;
}

ORVANE_HD inline double2 wfnLagValue(double2 X, const LagPhase& p) {
  const wreal xr = wreal(X.x), xi = wreal(X.y);
  double2 out;
  out.x = double(xr * p.c - xi * p.d);
  out.y = double(xr * p.d + xi * p.c);
  return out;
}

// Coefficient kernel body for element n of row r. Elements n < N/2 become the
// Laguerre coefficients a_n. `phase` holds the factors of every n when a table
// is at hand (host rows); when null they are computed here.
ORVANE_HD inline void wfnLagCoeffs(int n, int r, int Nsamples, const LagPhase* phase,
                                   double2* devData) {
  const long long e = (long long)r * Nsamples + n;
  devData[e] = wfnLagValue(devData[e], phase != nullptr ? phase[n] : wfnLagPhase(n, Nsamples));
}

}  // namespace orvane
