// The point where a transform enters the engine: the sampling stage asks it
// for whole rows of weighted samples of F(s) on the Weeks contour, one call per
// batch of rows, never per element. A transform compiled into the caller's
// program is a functor with an ORVANE_HD call operator on the working complex
// type (wcomplex: double2, float2 in a single-precision build):
//
//   struct Exp { ORVANE_HD wcomplex operator()(wcomplex s) const { ... } };
//
// FunctorTransform runs the sampling kernel body wfnsampleFS with it on the
// active backend. A transform made at run time derives from Transform itself;
// one known only by its values at given points (a function of another
// language, say) derives from PointTransform.
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
  // F at `count` points (device memory) into `devValues` (device memory,
  // which may be `devPoints` itself): the entry of the methods that sample F
  // off the Weeks contour. Returns a GPU runtime status, 0 on success.
  virtual int evaluate(const double2* devPoints, long long count, double2* devValues) const = 0;
  // True for a transform that serves one call at a time at a fixed cost per
  // call (a function of an interpreter that holds a lock, say): the error grid
  // then asks it for whole chunks of rows from one thread, as on the CUDA
  // backend, instead of one row per call from every thread of the host
  // backend. The numbers are the same either way.
  virtual bool wantsWholeBatches() const { return false; }
};

// A transform given by evaluate() alone: the rows of the Weeks contour are
// filled by writing their points, evaluating F there in place, and weighting.
class PointTransform : public Transform {
 public:
  int sampleRows(const SampleRows& rows, double2* devSamples) const override;
};

template <class F>
class FunctorTransform final : public Transform {
 public:
  explicit FunctorTransform(const F& f = F()) : f_(f) {}
  int sampleRows(const SampleRows& rows, double2* devSamples) const override {
    return launchSampling(f_, rows, devSamples);
  }
  int evaluate(const double2* devPoints, long long count, double2* devValues) const override {
    return launchEvaluation(f_, devPoints, count, devValues);
  }
  const F& functor() const { return f_; }

 private:
  F f_;
};

}  // namespace orvane
