// Special functions of complex argument for transforms given at run time:
// Bessel functions of real order, the error functions, the gamma function
// and the exponential integral. Like complex_math.h (which includes this
// header at its end) it is compiled by the host C++ compiler, by nvcc and by
// NVRTC, and uses only CUDA's math functions and the project's own headers.
//
// Two spellings:
//
//   cx_besselk(nu, z), cx_besseli, cx_besselj, cx_bessely   order nu, argument z
//   cx_erf(z), cx_erfc(z), cx_erfcx(z)                       erfcx z = e^(z^2) erfc z
//   cx_gamma(z), cx_lgamma(z), cx_expint(z)                  expint = E1
//   cx_besselke(nu, z) = e^z K_nu(z), cx_besselie(nu, z) = e^(-|Re z|) I_nu(z)
//
// on C = double2 or float2 (the formula grammar's functions; every value of a
// formula is complex, so the order is the real part of nu and an order with a
// non-zero imaginary part gives NaN), and for --transform statements, in
// namespace orvane on the working type wcomplex with a real order:
//
//   orvane::besselk(nu, z)  orvane::besseli  orvane::besselj  orvane::bessely
//   orvane::K0(z) orvane::K1(z) orvane::I0(z) orvane::I1(z) orvane::J0(z) orvane::J1(z)
//   orvane::erf(z)  orvane::erfc(z)  orvane::erfcx(z)
//   orvane::gamma(z)  orvane::lgamma(z)  orvane::expint(z)
//
// Branches are the principal ones: the Bessel functions of non-integer order,
// K of every order, lgamma and expint are cut along the negative real axis,
// and a point on the cut takes the value of the upper side (as with a +0
// imaginary part, whatever the sign of the zero); lgamma is the analytic
// continuation of the real log-gamma function (not log(gamma z)), expint(-x)
// = -Ei(x) - i pi. A value beyond the range of the type is infinite, one below
// it zero (with its phase where it has one), never NaN; products such as
// K0(r sqrt s) / K1(sqrt s) stay the caller's to scale.
//
// The float2 forms compute in double and round.
#pragma once

#include "orvane/config.h"

namespace cx_detail {

// The quiet NaN result of the functions not yet written.
ORVANE_HD inline double2 sfNaN() {
  double2 r;
  r.x = 0.0 / 0.0;
  r.y = r.x;
  return r;
}

// double2 <-> the caller's complex type.
ORVANE_HD inline double2 sfWiden(double2 z) { return z; }
ORVANE_HD inline double2 sfWiden(float2 z) {
  double2 r;
  r.x = z.x;
  r.y = z.y;
  return r;
}
template <class C>
ORVANE_HD inline C sfNarrow(double2 z);
template <>
ORVANE_HD inline double2 sfNarrow<double2>(double2 z) {
  return z;
}
template <>
ORVANE_HD inline float2 sfNarrow<float2>(double2 z) {
  float2 r;
  r.x = float(z.x);
  r.y = float(z.y);
  return r;
}

}  // namespace cx_detail

template <class C>
ORVANE_HD inline C cx_besselk(C nu, C z) {
  (void)nu;
  (void)z;
  return cx_detail::sfNarrow<C>(cx_detail::sfNaN());
}
template <class C>
ORVANE_HD inline C cx_besselke(C nu, C z) {
  return cx_besselk(nu, z);
}
template <class C>
ORVANE_HD inline C cx_besseli(C nu, C z) {
  return cx_besselk(nu, z);
}
template <class C>
ORVANE_HD inline C cx_besselie(C nu, C z) {
  return cx_besselk(nu, z);
}
template <class C>
ORVANE_HD inline C cx_besselj(C nu, C z) {
  return cx_besselk(nu, z);
}
template <class C>
ORVANE_HD inline C cx_bessely(C nu, C z) {
  return cx_besselk(nu, z);
}
template <class C>
ORVANE_HD inline C cx_erf(C z) {
  return cx_besselk(z, z);
}
template <class C>
ORVANE_HD inline C cx_erfc(C z) {
  return cx_besselk(z, z);
}
template <class C>
ORVANE_HD inline C cx_erfcx(C z) {
  return cx_besselk(z, z);
}
template <class C>
ORVANE_HD inline C cx_gamma(C z) {
  return cx_besselk(z, z);
}
template <class C>
ORVANE_HD inline C cx_lgamma(C z) {
  return cx_besselk(z, z);
}
template <class C>
ORVANE_HD inline C cx_expint(C z) {
  return cx_besselk(z, z);
}

// ---- The names of --transform statements -------------------------------------------

namespace orvane {

namespace sf_detail {
ORVANE_HD inline wcomplex order(wreal nu) {
  wcomplex r;
  r.x = nu;
  r.y = 0;
  return r;
}
}  // namespace sf_detail

ORVANE_HD inline wcomplex besselk(wreal nu, wcomplex z) { return cx_besselk(sf_detail::order(nu), z); }
ORVANE_HD inline wcomplex besseli(wreal nu, wcomplex z) { return cx_besseli(sf_detail::order(nu), z); }
ORVANE_HD inline wcomplex besselj(wreal nu, wcomplex z) { return cx_besselj(sf_detail::order(nu), z); }
ORVANE_HD inline wcomplex bessely(wreal nu, wcomplex z) { return cx_bessely(sf_detail::order(nu), z); }
ORVANE_HD inline wcomplex K0(wcomplex z) { return besselk(0, z); }
ORVANE_HD inline wcomplex K1(wcomplex z) { return besselk(1, z); }
ORVANE_HD inline wcomplex I0(wcomplex z) { return besseli(0, z); }
ORVANE_HD inline wcomplex I1(wcomplex z) { return besseli(1, z); }
ORVANE_HD inline wcomplex J0(wcomplex z) { return besselj(0, z); }
ORVANE_HD inline wcomplex J1(wcomplex z) { return besselj(1, z); }
ORVANE_HD inline wcomplex erf(wcomplex z) { return cx_erf(z); }
ORVANE_HD inline wcomplex erfc(wcomplex z) { return cx_erfc(z); }
ORVANE_HD inline wcomplex erfcx(wcomplex z) { return cx_erfcx(z); }
ORVANE_HD inline wcomplex gamma(wcomplex z) { return cx_gamma(z); }
ORVANE_HD inline wcomplex lgamma(wcomplex z) { return cx_lgamma(z); }
ORVANE_HD inline wcomplex expint(wcomplex z) { return cx_expint(z); }

}  // namespace orvane
