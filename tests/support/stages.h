// Test support: the stage functions run on a compiled-in functor, each call in
// a workspace of its own, as the solver runs them. A diagnostic sink that
// drops everything selects the batched path on the host backend.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <regex>
#include <string>

#include "coeffs/pipeline.h"
#include "device/check_cuda.h"
#include "device/gpu_launch.h"
#include "error/error_core.h"
#include "error/error_est.h"
#include "error/error_kernel.h"
#include "error/param_est.h"
#include "orvane/error.h"
#include "orvane/transform.h"
#include "series/clenshaw.h"
#include "series/weeks_core.h"

namespace stages_test {

inline std::ostream* nullSink() {
  static std::ostream sink(nullptr);
  return &sink;
}

template <class F>
struct Stage {
  gpu::Workspace ws;
  orvane::FunctorTransform<F> transform;
  orvane::StageContext c;
  explicit Stage(const F& f, std::ostream* diag = nullptr, int maxThreadsPerBlock = 1 << 30)
      : transform(f), c{ws, transform, diag, maxThreadsPerBlock} {}
};

// Coefficients of an Nsigma x Nb grid, all rows in one pass.
template <class F>
void coefficientPipeline(const F& f, int Nsamples, int Nsigma, int Nb, double sigmin,
                         double sigmax, double bmax, double2* devData,
                         std::ostream* diag = nullptr) {
  Stage<F> s(f, diag);
  orvane::wfngpuFFTLagCoef(s.c, Nsamples, Nsigma, Nb, 0, Nsigma * Nb, sigmin, sigmax, bmax,
                           devData);
}

template <class F>
CoreResult weeksCore(const F& f, int maxThreadsPerBlock, double t, int N, double sigma, double b,
                     std::ostream* diag = nullptr) {
  Stage<F> s(f, diag, maxThreadsPerBlock);
  return orvane::wfnWeeksCore(s.c, t, N, sigma, b);
}

template <class F>
void errorCore(const F& f, double t, int Nsigma, int Nb, int N, double sigmin, double sigmax,
               double bmax, double* Errorvec, std::ostream* diag = nullptr) {
  Stage<F> s(f, diag);
  orvane::wfnErrorCore(s.c, t, Nsigma, Nb, N, sigmin, sigmax, bmax, Errorvec);
}

// The batched path, whatever the backend.
template <class F>
void errorCoreBatched(const F& f, double t, int Nsigma, int Nb, int N, double sigmin,
                      double sigmax, double bmax, double* Errorvec) {
  errorCore(f, t, Nsigma, Nb, N, sigmin, sigmax, bmax, Errorvec, nullSink());
}

template <class F>
SigmaB paramEst(const F& f, double t, int N, double sigmin, double sigmax, double bmax,
                double tols, double tolb, std::ostream* diag = nullptr) {
  Stage<F> s(f, diag);
  orvane::SearchMemory memory(std::size_t(256) << 20, std::size_t(1) << 40);
  return orvane::wfnParamEst(s.c, memory, t, N, sigmin, sigmax, bmax, tols, tolb);
}

template <class F>
ErrorPrediction errorEst(const F& f, double2 ft, double t, int N, double sigma, double b,
                         double relErr) {
  Stage<F> s(f);
  return orvane::wfnErrorEst(s.c, ft, t, N, sigma, b, relErr);
}

// The error kernel over `rows` consecutive coefficient blocks of devData.
inline void launchErrorKernel(int Nsamples, double sigmin, double sigmax, int Nsigma, int Nb,
                              int rows, double t, const double2* devData, double* devErrorvec) {
  WFN_CHECK(gpu::launch(1, rows, [=] ORVANE_HD(int, int y) {
    orvane::wfnLagError(y, 0, Nsamples, sigmin, sigmax, Nsigma, Nb, t, devData, devErrorvec);
  }));
}

// Expects `call` to throw an orvane::Error of `kind` whose message matches `pattern`.
template <class Call>
void expectError(orvane::ErrorKind kind, const std::string& pattern, Call call) {
  try {
    call();
    ADD_FAILURE() << "no error; expected one matching " << pattern;
  } catch (const orvane::Error& e) {
    EXPECT_EQ(int(e.kind()), int(kind)) << e.what();
    EXPECT_TRUE(std::regex_search(e.what(), std::regex(pattern))) << e.what();
  }
}

}  // namespace stages_test
