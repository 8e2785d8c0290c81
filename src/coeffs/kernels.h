// Per-element bodies of the three coefficient kernels: sampling of F(s) on the
// Weeks contour, the half swap of every row, and the phase-and-scale step after
// the FFT. Each runs for one element (index k or n within the row, row r) and
// is shared by the CUDA kernels and the host loops. Arithmetic is in wreal; the
// array is double2 in every build.
#pragma once

// NVRTC (run-time transforms on a GPU) has the math functions built in.
#if !defined(__CUDACC_RTC__)
#include <cmath>
#include <math.h>
#endif

#include "orvane/config.h"

// Row r = i*Nb + j holds the pair (sigma_i, b_j):
//   sigma_i = sigmin + (i/Nsigma)(sigmax - sigmin),  b_j = bmin + ((j+1)/Nb)(bmax - bmin).
ORVANE_HD inline wreal gridSigma(int i, int Nsigma, double sigmin, double sigmax) {
  return wreal(sigmin) + (wreal(i) / wreal(Nsigma)) * (wreal(sigmax) - wreal(sigmin));
}
ORVANE_HD inline wreal gridB(int j, int Nb, double bmin, double bmax) {
  return wreal(bmin) + (wreal(j + 1) / wreal(Nb)) * (wreal(bmax) - wreal(bmin));
}

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
                                  double sigmin, double sigmax, int Nsigma, double bmin,
                                  double bmax, int Nb, const ContourPoint* contour,
                                  double2* devSamples) {
  const int r = rowBegin + y;
  const int i = r / Nb;
  const int j = r - i * Nb;
  const ContourPoint p = contour != nullptr ? contour[k] : wfnContourPoint(k, Nsamples);
  devSamples[(long long)y * Nsamples + k] =
      wfnSampleValue(f, p, gridSigma(i, Nsigma, sigmin, sigmax), gridB(j, Nb, bmin, bmax));
}

// Swaps the two halves of row r: element k <-> element (k - M) mod N for k < M.
// For even N that is k <-> k + N/2; for odd N the middle element stays.
ORVANE_HD inline void wfncufftshift(int k, int r, int Nsamples, int Nb, double2* devData) {
  const int N = Nsamples;
  const int M = N / 2;
  if (k >= M) return;
  const int i = r / Nb;
  const int j = r - i * Nb;
  const int d = k - M;
  const int q = d >= 0 ? d / N : -((-d + N - 1) / N);  // floor(d / N)
  const int m = d - N * q;
  const long long base = (long long)i * Nb * N + (long long)j * N;
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
  const wreal phi = (wreal(n) * kPi) / wreal(N);
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
ORVANE_HD inline void wfnLagCoeffs(int n, int r, int Nsamples, int Nb, const LagPhase* phase,
                                   double2* devData) {
  const int N = Nsamples;
  const int i = r / Nb;
  const int j = r - i * Nb;
  const long long e = ((long long)i * Nb + j) * N + n;
  devData[e] = wfnLagValue(devData[e], phase != nullptr ? phase[n] : wfnLagPhase(n, N));
}
