// Test and bench support: search, inversion and prediction of one reference
// pair at one time and expansion size, against its exact f(t). Host backend
// only (the reference transforms are std::complex host functions).
#pragma once

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "orvane/options.h"
#include "support/reference.h"
#include "support/stages.h"

namespace accuracy {

// The search range right of a pair's abscissa of convergence, or the one the
// pair names (a hostile pair: a singularity lies right of it).
struct Range {
  double sigmin, sigmax, bmax, tols, tolb;
};

inline Range rangeFor(const reference::Pair& p) {
  if (!std::isnan(p.searchFrom))
    return Range{p.searchFrom, p.searchTo, 24.0, std::min(0.5, (p.searchTo - p.searchFrom) / 2), 1.0};
  const double s0 = std::max(p.abscissa, 0.0) + 0.25;
  return Range{s0, s0 + 15.0, 24.0, 0.5, 1.0};
}

// The reference times of a pair.
inline std::vector<double> timesOf(const reference::Pair& p) {
  std::vector<double> t;
  for (const reference::Value& v : p.values) t.push_back(v.t);
  return t;
}

// A solver's options for a pair at N = 64, with that search and one tolerance.
inline orvane::Options optionsFor(const reference::Pair& p, double request) {
  const Range range = rangeFor(p);
  orvane::Options q;
  q.rel_err = request;
  q.sizes = {64};
  q.sigma_min = range.sigmin;
  q.sigma_max = range.sigmax;
  q.b_max = range.bmax;
  q.resolutions = {{range.tols, range.tolb}};
  return q;
}

struct Row {
  std::string id, tags;
  double t, exact;
  int N;
  double sigma, b;
  double computed;  // real part of f(t)
  double imag;
  double trueAbs, trueRel;  // against the exact f(t)
  ErrorPrediction pred;
  double legacyAbsPred;  // the estimate with a second coefficient pass, for comparison
};

// The estimate as it comes out when the coefficient kernel is applied a second
// time to the pipeline's output before the error kernel (every modulus 1/Nsamples).
template <class F>
double legacyEstimate(const F& f, double t, int N, double sigma, double b) {
  const orvane::ErrorGridSizes s = orvane::checkErrorGrid(orvane::detail::Grid::single(0.0, 1.0), N);
  double2* devData = nullptr;
  double* devErr = nullptr;
  WFN_CHECK(gpu::malloc(reinterpret_cast<void**>(&devData), s.dataBytes));
  WFN_CHECK(gpu::malloc(reinterpret_cast<void**>(&devErr), s.errorBytes));
  stages_test::coefficientPipeline(f, s.Nsamples, 1, 1, sigma, sigma, b, devData);
  const int Nsamples = s.Nsamples;
  WFN_CHECK(gpu::launch(Nsamples, 1, [=] ORVANE_HD(int n, int r) {
    orvane::wfnLagCoeffs(n, r, Nsamples, nullptr, devData);
  }));
  stages_test::launchErrorKernel(Nsamples, sigma, sigma, 1, 1, 1, t, devData, devErr);
  double e = 0;
  WFN_CHECK(gpu::memcpyDeviceToHost(&e, devErr, sizeof e));
  WFN_CHECK(gpu::free(devData));
  WFN_CHECK(gpu::free(devErr));
  return e;
}

inline Row evaluate(const reference::Pair& p, const reference::Value& v, int N, double request,
                    bool withLegacy) {
  const HostTransform f{p.F};
  const Range r = rangeFor(p);
  const SigmaB sb = stages_test::paramEst(f, v.t, N, r.sigmin, r.sigmax, r.bmax, r.tols, r.tolb);
  const CoreResult core = stages_test::weeksCore(f, 1 << 20, v.t, N, sb.sigma, sb.b);
  Row row;
  row.id = p.id;
  row.tags = p.tags;
  row.t = v.t;
  row.exact = v.f;
  row.N = N;
  row.sigma = sb.sigma;
  row.b = sb.b;
  row.computed = core.ft.x;
  row.imag = core.ft.y;
  row.trueAbs = std::hypot(core.ft.x - v.f, core.ft.y);
  row.trueRel = row.trueAbs / std::fabs(v.f);
  row.pred = stages_test::errorEst(f, core.ft, v.t, N, sb.sigma, sb.b, request);
  row.legacyAbsPred = withLegacy ? legacyEstimate(f, v.t, N, sb.sigma, sb.b) : NAN;
  return row;
}

}  // namespace accuracy
