// Test transforms that run on both backends: small rational F(s) written with
// the component type of the sample point, so they work in double and in the
// single-precision build, and under nvcc on the device. Ids name the pair of
// transforms.json whose exact f(t) they share.
#pragma once

#include "orvane/config.h"
#include "support/engine_names.h"

namespace hd {

template <class C>
ORVANE_HD C cplx(decltype(C().x) x, decltype(C().x) y) {
  C c;
  c.x = x;
  c.y = y;
  return c;
}
template <class C>
ORVANE_HD C add(C a, C b) {
  return cplx<C>(a.x + b.x, a.y + b.y);
}
template <class C>
ORVANE_HD C mul(C a, C b) {
  return cplx<C>(a.x * b.x - a.y * b.y, a.x * b.y + a.y * b.x);
}
// a / b by the textbook formula; the test transforms never come near overflow.
template <class C>
ORVANE_HD C div(C a, C b) {
  auto d = b.x * b.x + b.y * b.y;
  return cplx<C>((a.x * b.x + a.y * b.y) / d, (a.y * b.x - a.x * b.y) / d);
}
template <class C>
ORVANE_HD C real(decltype(C().x) x) {
  return cplx<C>(x, 0);
}

// 1/(s+1): f(t) = e^(-t)                       (rat_exp_decay)
struct ExpDecay {
  template <class C>
  ORVANE_HD C operator()(C s) const {
    return div(real<C>(1), add(s, real<C>(1)));
  }
};
// 1/s^2: f(t) = t                               (rat_ramp)
struct Ramp {
  template <class C>
  ORVANE_HD C operator()(C s) const {
    return div(div(real<C>(1), s), s);
  }
};
// 1/((s+1)(s+2)): f(t) = e^(-t) - e^(-2t)      (rat_two_poles)
struct TwoPoles {
  template <class C>
  ORVANE_HD C operator()(C s) const {
    return div(real<C>(1), mul(add(s, real<C>(1)), add(s, real<C>(2))));
  }
};
// 1/(s^2+1): f(t) = sin t                       (osc_sin)
struct Sine {
  template <class C>
  ORVANE_HD C operator()(C s) const {
    return div(real<C>(1), add(mul(s, s), real<C>(1)));
  }
};
// 1/(s^2+s+1): a damped oscillation             (rat_underdamped)
struct Underdamped {
  template <class C>
  ORVANE_HD C operator()(C s) const {
    return div(real<C>(1), add(add(mul(s, s), s), real<C>(1)));
  }
};
// i/(s+1): f(t) = i e^(-t), a purely imaginary result
struct ImagExpDecay {
  template <class C>
  ORVANE_HD C operator()(C s) const {
    return div(cplx<C>(0, 1), add(s, real<C>(1)));
  }
};
// F(s) = 1: the stored sample is the contour weight b (1 + i cot(theta/2)) alone.
struct One {
  template <class C>
  ORVANE_HD C operator()(C) const {
    return real<C>(1);
  }
};

}  // namespace hd
