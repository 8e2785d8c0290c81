// Test and bench support: transforms and parameters chosen to break the error
// prediction, each with its exact f(t). A pole on the 2N-point contour of the
// inversion core (which the 4N-point row of the estimate never samples), a
// singularity right of sigma (which the expansion silently drops), and
// expansions of one to three terms. Host backend only.
#pragma once

#include <cmath>
#include <complex>
#include <vector>

#include "support/accuracy.h"

namespace hostile {

using cplx = std::complex<double>;

// tan(theta/2) for the contour point k of a row of Nsamples: a b for which
// that point of the contour lies at s = sigma + i (with sigma = 0: a pole at
// s = +-i is sampled exactly there).
inline double bOnContour(int k, int Nsamples) {
  const int M = Nsamples / 2;
  const double theta = (double(k - M) + 0.5) * (M_PI / double(M));
  return std::tan(theta / 2);
}

inline cplx cosine(cplx s) { return s / (s * s + 1.0); }
inline double cosineF(double t) { return std::cos(t); }
inline cplx sine(cplx s) { return 1.0 / (s * s + 1.0); }
inline double sineF(double t) { return std::sin(t); }
inline cplx coshTwo(cplx s) { return 1.0 / (s - 1.0) + 1.0 / (s + 1.0); }
inline double coshTwoF(double t) { return 2 * std::cosh(t); }
inline cplx nearPole(cplx s) { return 1.0 / (s - 0.05) + 1.0 / (s + 1.0); }
inline double nearPoleF(double t) { return std::exp(0.05 * t) + std::exp(-t); }
inline cplx farPole(cplx s) { return 1.0 / (s - 10.0) + 1.0 / (s + 1.0); }
inline double farPoleF(double t) { return std::exp(10 * t) + std::exp(-t); }
inline cplx weakPole(cplx s) { return 1e-6 / (s - 2.0) + 1.0 / (s + 1.0); }
inline double weakPoleF(double t) { return 1e-6 * std::exp(2 * t) + std::exp(-t); }
inline cplx shiftedRoot(cplx s) { return 1.0 / std::sqrt(s - 1.0); }
inline double shiftedRootF(double t) { return std::exp(t) / std::sqrt(M_PI * t); }
inline cplx invRoot(cplx s) { return 1.0 / std::sqrt(s); }
inline double invRootF(double t) { return 1.0 / std::sqrt(M_PI * t); }
inline cplx decay(cplx s) { return 1.0 / (s + 1.0); }
inline double decayF(double t) { return std::exp(-t); }

struct Case {
  const char* name;
  cplx (*F)(cplx);
  double (*f)(double);
  double t;
  int N;
  bool search;  // the search over (sigma0, sigma0 + 15) x (0, 24]; otherwise (sigma, b)
  double sigma, b;
};

inline std::vector<Case> cases() {
  std::vector<Case> out;
  // A pole on the inversion core's contour: with odd N its 2N points include
  // w = +-i, which is s = sigma +- i b.
  for (int N : {1, 3, 7, 15, 31, 63, 127})
    for (double t : {0.5, 2.0, 10.0}) {
      out.push_back({"cos, pole at w=i", cosine, cosineF, t, N, false, 0.0, 1.0});
      out.push_back({"sin, pole at w=i", sine, sineF, t, N, false, 0.0, 1.0});
    }
  // ... and at other points of that contour, for even N too.
  for (int N : {8, 32, 64})
    for (int k : {N + N / 4, 2 * N - 2, N}) {
      out.push_back({"cos, pole on 2N contour", cosine, cosineF, 0.5, N, false, 0.0, bOnContour(k, 2 * N)});
      out.push_back({"sin, pole on 2N contour", sine, sineF, 3.0, N, false, 0.0, bOnContour(k, 2 * N)});
    }
  // A pole on the estimate's 4N contour instead.
  for (int N : {8, 32})
    out.push_back({"cos, pole on 4N contour", cosine, cosineF, 0.5, N, false, 0.0, bOnContour(3 * N + 1, 4 * N)});
  // Singularities right of sigma.
  for (int N : {8, 16, 32, 64})
    for (double t : {0.5, 2.0, 10.0})
      for (double b : {0.5, 1.0, 4.0}) {
        out.push_back({"2cosh t, sigma 0", coshTwo, coshTwoF, t, N, false, 0.0, b});
        out.push_back({"pole at 0.05, sigma 0", nearPole, nearPoleF, t, N, false, 0.0, b});
        out.push_back({"pole at 10, sigma 0", farPole, farPoleF, t, N, false, 0.0, b});
        out.push_back({"weak pole at 2, sigma 0", weakPole, weakPoleF, t, N, false, 0.0, b});
        out.push_back({"branch point at 1, sigma 0.5", shiftedRoot, shiftedRootF, t, N, false, 0.5, b});
      }
  // Expansions of one to three terms.
  for (int N : {1, 2, 3})
    for (double t : {0.1, 0.5, 2.0, 10.0}) {
      out.push_back({"s^-1/2", invRoot, invRootF, t, N, true, 0.25, 0});
      out.push_back({"s^-1/2", invRoot, invRootF, t, N, false, 0.5, 1.0});
      out.push_back({"1/(s+1)", decay, decayF, t, N, true, 0.25, 0});
      out.push_back({"cos", cosine, cosineF, t, N, true, 0.25, 0});
    }
  return out;
}

struct Outcome {
  double sigma, b;
  double2 ft;
  double exact, trueRel;
  ErrorPrediction pred;
};

inline Outcome evaluate(const Case& k, double request) {
  const HostTransform f{k.F};
  SigmaB sb{k.sigma, k.b};
  if (k.search) sb = stages_test::paramEst(f, k.t, k.N, k.sigma, k.sigma + 15.0, 24.0, 0.5, 1.0);
  const CoreResult core = stages_test::weeksCore(f, 1 << 20, k.t, k.N, sb.sigma, sb.b);
  Outcome o;
  o.sigma = sb.sigma;
  o.b = sb.b;
  o.ft = core.ft;
  o.exact = k.f(k.t);
  o.trueRel = std::hypot(core.ft.x - o.exact, core.ft.y) / std::fabs(o.exact);
  o.pred = stages_test::errorEst(f, core.ft, k.t, k.N, sb.sigma, sb.b, request);
  return o;
}

}  // namespace hostile
