// Complex helpers that user transforms and kernels use. Under nvcc these are
// CUDA's own (cuComplex.h); the host build gets the same names and the same
// overflow-safe formulas from here, so it needs no CUDA headers.
#pragma once

#if defined(__CUDACC__) || defined(ORVANE_USE_CUDA_HEADERS)
#include <cuComplex.h>
#include <vector_types.h>
#else
#include <cmath>

struct alignas(16) double2 {
  double x, y;
};
struct alignas(8) float2 {
  float x, y;
};
typedef double2 cuDoubleComplex;
typedef float2 cuFloatComplex;

inline double2 make_double2(double x, double y) { return double2{x, y}; }
inline float2 make_float2(float x, float y) { return float2{x, y}; }
inline cuDoubleComplex make_cuDoubleComplex(double r, double i) { return double2{r, i}; }
inline cuFloatComplex make_cuFloatComplex(float r, float i) { return float2{r, i}; }

inline double cuCreal(cuDoubleComplex x) { return x.x; }
inline double cuCimag(cuDoubleComplex x) { return x.y; }
inline cuDoubleComplex cuConj(cuDoubleComplex x) { return double2{x.x, -x.y}; }
inline cuDoubleComplex cuCadd(cuDoubleComplex a, cuDoubleComplex b) { return double2{a.x + b.x, a.y + b.y}; }
inline cuDoubleComplex cuCsub(cuDoubleComplex a, cuDoubleComplex b) { return double2{a.x - b.x, a.y - b.y}; }
inline cuDoubleComplex cuCmul(cuDoubleComplex a, cuDoubleComplex b) {
  return double2{a.x * b.x - a.y * b.y, a.x * b.y + a.y * b.x};
}
// Division scaled by 1/(|Re b| + |Im b|) so that neither operand overflows.
inline cuDoubleComplex cuCdiv(cuDoubleComplex a, cuDoubleComplex b) {
  double s = std::fabs(b.x) + std::fabs(b.y);
  double oos = 1.0 / s;
  double ars = a.x * oos, ais = a.y * oos;
  double brs = b.x * oos, bis = b.y * oos;
  s = (brs * brs) + (bis * bis);
  oos = 1.0 / s;
  return double2{((ars * brs) + (ais * bis)) * oos, ((ais * brs) - (ars * bis)) * oos};
}
// Modulus v*sqrt(1 + (w/v)^2), v the larger of |x| and |y|; v + w when v is 0
// or either part exceeds the largest finite double.
inline double cuCabs(cuDoubleComplex x) {
  double a = std::fabs(x.x), b = std::fabs(x.y);
  double v = a > b ? a : b, w = a > b ? b : a;
  double t = w / v;
  t = 1.0 + t * t;
  t = v * std::sqrt(t);
  if ((v == 0.0) || (v > 1.79769313486231570e+308) || (w > 1.79769313486231570e+308)) t = v + w;
  return t;
}

inline float cuCrealf(cuFloatComplex x) { return x.x; }
inline float cuCimagf(cuFloatComplex x) { return x.y; }
inline cuFloatComplex cuConjf(cuFloatComplex x) { return float2{x.x, -x.y}; }
inline cuFloatComplex cuCaddf(cuFloatComplex a, cuFloatComplex b) { return float2{a.x + b.x, a.y + b.y}; }
inline cuFloatComplex cuCsubf(cuFloatComplex a, cuFloatComplex b) { return float2{a.x - b.x, a.y - b.y}; }
inline cuFloatComplex cuCmulf(cuFloatComplex a, cuFloatComplex b) {
  return float2{a.x * b.x - a.y * b.y, a.x * b.y + a.y * b.x};
}
inline cuFloatComplex cuCdivf(cuFloatComplex a, cuFloatComplex b) {
  float s = std::fabs(b.x) + std::fabs(b.y);
  float oos = 1.0f / s;
  float ars = a.x * oos, ais = a.y * oos;
  float brs = b.x * oos, bis = b.y * oos;
  s = (brs * brs) + (bis * bis);
  oos = 1.0f / s;
  return float2{((ars * brs) + (ais * bis)) * oos, ((ais * brs) - (ars * bis)) * oos};
}
inline float cuCabsf(cuFloatComplex x) {
  float a = std::fabs(x.x), b = std::fabs(x.y);
  float v = a > b ? a : b, w = a > b ? b : a;
  float t = w / v;
  t = 1.0f + t * t;
  t = v * std::sqrt(t);
  if ((v == 0.0f) || (v > 3.402823466e38f) || (w > 3.402823466e38f)) t = v + w;
  return t;
}
#endif
