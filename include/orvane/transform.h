// The point where a transform enters the engine: the sampling stage asks it
// for whole rows of weighted samples of F(s) on the Weeks contour, one call per
// batch of rows, never per element. A transform compiled into the caller's
// program is a functor with an ORVANE_HD call operator on the working complex
// type (wcomplex: double2, float2 in a single-precision build):
//
//   struct Exp { ORVANE_HD wcomplex operator()(wcomplex s) const { ... } };
//
// FunctorTransform runs the sampling kernel body wfnsampleFS with it on the
// active backend. A transform made at run time derives from Transform itself.
#pragma once

#include "coeffs/sampling.h"
#include "orvane/config.h"

namespace orvane {

class Transform {
 public:
  virtual ~Transform() = default;
  // Fills `devSamples` (device memory, rows.rowCount rows of rows.Nsamples
  // elements) with the weighted samples of the rows it names, in contour order.
  // Returns a GPU runtime status, 0 on success.
  virtual int sampleRows(const SampleRows& rows, double2* devSamples) const = 0;
};

template <class F>
class FunctorTransform final : public Transform {
 public:
  explicit FunctorTransform(const F& f = F()) : f_(f) {}
  int sampleRows(const SampleRows& rows, double2* devSamples) const override {
    return launchSampling(f_, rows, devSamples);
  }
  const F& functor() const { return f_; }

 private:
  F f_;
};

}  // namespace orvane
