// Test support: the stage functions run on a compiled-in functor, each call in
// a workspace of its own, as the solver runs them. A diagnostic sink that
// drops everything selects the batched path on the host backend.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <regex>
#include <string>

#include "methods/weeks/pipeline.h"
#include "device/check_cuda.h"
#include "orvane/detail/launch.h"
#include "methods/weeks/error_core.h"
#include "methods/weeks/error_est.h"
#include "methods/weeks/error_kernel.h"
#include "methods/weeks/param_est.h"
#include "orvane/error.h"
#include "orvane/transform.h"
#include "support/engine_names.h"
#include "methods/weeks/clenshaw.h"
#include "methods/weeks/weeks_core.h"

namespace stages_test {

inline std::ostream* nullSink() {
  static std::ostream sink(nullptr);
  return &sink;
}

template <class F>
struct Stage {
  orvane::gpu::Workspace ws;
  orvane::WeeksBuffers buffers;
  orvane::FunctorTransform<F> transform;
  orvane::WeeksContext c;
  explicit Stage(const F& f, std::ostream* diag = nullptr, int maxThreadsPerBlock = 1 << 30)
      : transform(f), c{{ws, transform, diag, maxThreadsPerBlock}, buffers} {}
};

// The grid of an Nsigma x Nb search over [sigmin, sigmax) x (0, bmax].
inline orvane::detail::Grid grid(int Nsigma, int Nb, double sigmin, double sigmax, double bmax) {
  orvane::detail::Grid g;
  g.sigmin = sigmin;
  g.sigmax = sigmax;
  g.Nsigma = Nsigma;
  g.bmax = bmax;
  g.Nb = Nb;
  return g;
}

// Coefficients of an Nsigma x Nb grid, all rows in one pass.
template <class F>
void coefficientPipeline(const F& f, int Nsamples, int Nsigma, int Nb, double sigmin,
                         double sigmax, double bmax, double2* devData,
                         std::ostream* diag = nullptr) {
  Stage<F> s(f, diag);
  orvane::wfngpuFFTLagCoef(s.c, Nsamples, grid(Nsigma, Nb, sigmin, sigmax, bmax), 0, Nsigma * Nb,
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
  orvane::wfnErrorCore(s.c, t, grid(Nsigma, Nb, sigmin, sigmax, bmax), N, Errorvec);
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
  const orvane::detail::Grid g = grid(Nsigma, Nb, sigmin, sigmax, 0.0);
  WFN_CHECK(gpu::launch(1, rows, [=] ORVANE_HD(int, int y) {
    orvane::wfnLagError(y, 0, Nsamples, g, t, devData, devErrorvec);
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
