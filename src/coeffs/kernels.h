// Per-element bodies of the three coefficient kernels: sampling of F(s) on the
// Weeks contour, the half swap of every row, and the phase-and-scale step after
// the FFT. Each runs for one element (index k or n within the row, row r) and
// is shared by the CUDA kernels and the host loops. Arithmetic is in wreal; the
// array is double2 in every build.
#pragma once

#include <cmath>
#include <math.h>

#include "config.h"

// Row r = i*Nb + j holds the pair (sigma_i, b_j):
//   sigma_i = sigmin + (i/Nsigma)(sigmax - sigmin),  b_j = bmin + ((j+1)/Nb)(bmax - bmin).
// Contour angle theta_k = (k - M + 1/2) pi/M, M = Nsamples/2, never 0 or +-pi.
// Stored: b (1 + i cot(theta/2)) F(sigma + i b cot(theta/2)), i.e. 2b/(1-w) F(...) at w = e^(i theta).
template <class F>
ORVANE_HD inline void wfnsampleFS(const F& f, int k, int r, int Nsamples, double sigmin,
                                  double sigmax, int Nsigma, double bmin, double bmax, int Nb,
                                  double2* devSamples) {
  const int i = r / Nb;
  const int j = r - i * Nb;
  const int M = Nsamples / 2;
  const wreal theta = (wreal(k - M) + wreal(0.5)) * (kPi / wreal(M));
  const wreal c = cos(theta);
  const wreal sn = sin(theta);
  const wreal sigma = wreal(sigmin) + (wreal(i) / wreal(Nsigma)) * (wreal(sigmax) - wreal(sigmin));
  const wreal b = wreal(bmin) + (wreal(j + 1) / wreal(Nb)) * (wreal(bmax) - wreal(bmin));
  const wreal w = sn / (wreal(1) - c);
  wcomplex s;
  s.x = sigma;
  s.y = b * w;
  const wcomplex Fs = f(s);
  double2 out;
  out.x = double(b * (Fs.x - sn * Fs.y / (wreal(1) - c)));
  out.y = double(b * (Fs.y + sn * Fs.x / (wreal(1) - c)));
  devSamples[(long long)r * Nsamples + k] = out;
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

// Element n of row r times e^(-i n pi / N) / N: removes the half-step phase of
// the midpoint contour and the factor N of the unnormalised FFT. Elements
// n < N/2 become the Laguerre coefficients a_n.
ORVANE_HD inline void wfnLagCoeffs(int n, int r, int Nsamples, int Nb, double2* devData) {
  const int N = Nsamples;
  const int i = r / Nb;
  const int j = r - i * Nb;
  const long long e = ((long long)i * Nb + j) * N + n;
  const wreal phi = (wreal(n) * kPi) / wreal(N);
  const wreal c = cos(phi) / wreal(N);
  const wreal d = -sin(phi) / wreal(N);
  const double2 X = devData[e];
  const wreal xr = wreal(X.x), xi = wreal(X.y);
  double2 out;
  out.x = double(xr * c - xi * d);
  out.y = double(xr * d + xi * c);
  devData[e] = out;
}
