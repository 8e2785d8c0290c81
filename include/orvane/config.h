// Build-wide switches and the working precision of the per-element device code.
// ORVANE_HD marks a function that both backends compile: __host__ __device__
// under nvcc, nothing under a plain C++ compiler.
#pragma once

#if defined(__CUDACC__)
#define ORVANE_HD __host__ __device__
#else
#define ORVANE_HD
#endif

#ifndef ORVANE_DIAG
#define ORVANE_DIAG 0  // 1: echo lines of the run loop and GPU timing lines
#endif

#ifndef ORVANE_SINGLE
#define ORVANE_SINGLE 0  // 1: kernel arithmetic in single precision (results stored as double)
#endif

#include "orvane/complex.h"

namespace orvane {

// wreal/wcomplex: the precision of the sampling, shift, coefficient and error
// kernels, and the argument and value type of a compiled-in transform. Arrays
// in memory are always double2; values are widened on store.
#if ORVANE_SINGLE
typedef float wreal;
typedef float2 wcomplex;
#else
typedef double wreal;
typedef double2 wcomplex;
#endif

namespace detail {
// pi in the working precision: the double 3.141592653589793, or the float 3.14159274.
constexpr wreal kPi = wreal(3.141592653589793);
}  // namespace detail

}  // namespace orvane
