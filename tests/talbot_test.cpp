// Talbot's method and the automatic choice: the prediction from the node
// counts' sums, batches of times, the F-at-points entry of every kind of
// transform, the choice between a Weeks and a Talbot record, and, on the host
// backend, honesty and accuracy on every reference pair.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "jit/expression.h"
#include "jit/runtime_transform.h"
#include "orvane/orvane.h"
#include "solver/chooser.h"
#include "support/transforms_hd.h"
#include "methods/talbot/talbot.h"
#include "methods/weeks/param_est.h"
#if defined(ORVANE_BACKEND_HOST)
#include "support/accuracy.h"
#endif

namespace {

// Times at the caller's pair (shift, 1).
struct Times {
  std::vector<double> t;
  orvane::Options o;
};

Times times(std::vector<double> t, double request, double shift = 0.0) {
  Times p;
  p.t = t;
  p.o.rel_err = request;
  p.o.pairs = {{shift, 1.0}};
  p.o.sizes = {64};
  return p;
}

std::vector<orvane::Result> run(orvane::Method method, Times p, const orvane::Transform& f) {
  p.o.method = method;
  orvane::Solver solver;
  return solver.invert(f, p.t, p.o);
}

const orvane::Method kWeeks("weeks"), kTalbot("talbot"), kAuto("auto");

// 1/sqrt(s): f(t) = 1/sqrt(pi t), a branch point at the origin.
struct InvSqrt {
  ORVANE_HD wcomplex operator()(wcomplex s) const {
    const wreal r = sqrt(sqrt(s.x * s.x + s.y * s.y)), a = atan2(s.y, s.x) / 2;
    wcomplex out;
    out.x = cos(a) / r;
    out.y = -sin(a) / r;
    return out;
  }
};

orvane::TalbotSum sum(double re, double size, int jump = 0) { return orvane::TalbotSum{{re, 0.0}, size, jump}; }

// A transform known only by its values: the functor's, through the point entry.
template <class F>
struct PointsOf final : orvane::PointTransform {
  int evaluate(const double2* points, long long count, double2* values) const override {
    return orvane::detail::launchEvaluation(F{}, points, count, values);
  }
};

bool same(const orvane::Result& a, const orvane::Result& b) {
  return a.f == b.f && a.abs_err == b.abs_err && a.rel_err == b.rel_err && a.flag == b.flag &&
         a.N == b.N && a.sigma == b.sigma && a.b == b.b && a.method == b.method;
}

}  // namespace

TEST(TalbotPrediction, KeepsTheBestAgreeingPairAndDistrustsTheRest) {
  // Converging sums: the pair (48, 64) agrees best; the error is twice the gap.
  const orvane::TalbotSum converging[] = {sum(1.0 + 1e-6, 1.0), sum(1.0 + 1e-9, 1.0), sum(1.0 + 1e-10, 1.0),
                                  sum(1.0 + 1.2e-10, 1.0)};
  orvane::TalbotRecord r = orvane::talbotPrediction(converging, 1e-8);
  EXPECT_EQ(r.nodes, 48);
  EXPECT_EQ(r.ft.x, 1.0 + 1e-10);
  EXPECT_NEAR(r.AbsErrPred, 2 * 0.2e-10, 1e-16);
  EXPECT_EQ(r.TolFlag, 0);
  // The round-off of the larger sums bounds the error from below.
  const orvane::TalbotSum noisy[] = {sum(1.0, 1e6), sum(1.0, 1e7), sum(1.0, 1e8), sum(1.0, 1e9)};
  r = orvane::talbotPrediction(noisy, 1e-8);
  EXPECT_EQ(r.nodes, 24);
  EXPECT_NEAR(r.AbsErrPred, 32 * 2.220446049250313e-16 * 1e7, 1e-12);
  // A sum that saw F jump across its contour takes no part in a pair.
  const orvane::TalbotSum cut[] = {sum(1.0, 1.0), sum(1.0, 1.0, 1), sum(1.5, 1.0), sum(1.5 + 1e-12, 1.0)};
  r = orvane::talbotPrediction(cut, 1e-8);
  EXPECT_EQ(r.nodes, 48);
  EXPECT_EQ(r.ft.x, 1.5);
  // A pole only the largest contour encloses: the small ones agree, but the
  // largest differs beyond its round-off, so nothing is met.
  const orvane::TalbotSum pole[] = {sum(1.0, 1.0), sum(1.0 + 1e-14, 1.0), sum(1.0, 1.0), sum(1.4, 1.0)};
  r = orvane::talbotPrediction(pole, 1e-1);
  EXPECT_GE(r.AbsErrPred, 0.4 - 1e-12);
  EXPECT_EQ(r.TolFlag, 1);
  // Nothing finite: unbounded errors, not met, never a number that looks valid.
  const orvane::TalbotSum bad[] = {sum(NAN, NAN), sum(INFINITY, INFINITY), sum(NAN, 1.0), sum(1.0, 1.0, 1)};
  r = orvane::talbotPrediction(bad, 1e-1);
  EXPECT_EQ(r.AbsErrPred, INFINITY);
  EXPECT_EQ(r.RelErrPred, INFINITY);
  EXPECT_EQ(r.TolFlag, 1);
}

TEST(Talbot, BatchOfTimesEqualsTimesOneByOne) {
  const std::vector<double> t = {0.1, 0.5, 1.0, 3.0, 7.5};
  const orvane::FunctorTransform<hd::TwoPoles> f;
  const std::vector<orvane::Result> batch = run(kTalbot, times(t, 1e-8), f);
  ASSERT_EQ(batch.size(), t.size());
  for (std::size_t i = 0; i < t.size(); ++i) {
    SCOPED_TRACE(t[i]);
    const orvane::Result one = run(kTalbot, times({t[i]}, 1e-8), f)[0];
    EXPECT_TRUE(same(batch[i], one));
    EXPECT_EQ(batch[i].method, kTalbot);
    EXPECT_EQ(batch[i].t, t[i]);
    EXPECT_EQ(batch[i].b, 0.0);
    EXPECT_EQ(batch[i].flag, 0) << batch[i].rel_err;
    EXPECT_NEAR(batch[i].f.real(), std::exp(-t[i]) - std::exp(-2 * t[i]), 1e-12);
  }
}

// More times than one device batch holds: those past the boundary are summed too.
TEST(Talbot, TimesBeyondOneDeviceBatch) {
  std::vector<double> t(orvane::kTalbotBatch + 3);
  for (std::size_t i = 0; i < t.size(); ++i) t[i] = 0.5 + double(i % 7);
  const std::vector<orvane::Result> r =
      run(kTalbot, times(t, 1e-9), orvane::FunctorTransform<hd::ExpDecay>());
  for (std::size_t i : {std::size_t(0), std::size_t(orvane::kTalbotBatch - 1), std::size_t(orvane::kTalbotBatch),
                        t.size() - 1}) {
    EXPECT_EQ(r[i].t, t[i]);
    EXPECT_NEAR(r[i].f.real(), std::exp(-t[i]), 1e-12 * std::exp(-t[i]) + 1e-15) << i;
    EXPECT_EQ(r[i].flag, 0) << i;
  }
}

TEST(Talbot, ShiftComesFromTheParameters) {
  // The search's lowest sigma, else the user's sigma of each time.
  Times p = times({0.5, 2.0}, 1e-10);
  p.o.pairs = {{0.25, 1.0}, {1.5, 1.0}};
  std::vector<orvane::Result> r = run(kTalbot, p, orvane::FunctorTransform<hd::ExpDecay>());
  EXPECT_EQ(r[0].sigma, 0.25);
  EXPECT_EQ(r[1].sigma, 1.5);
  p.o.pairs.clear();
  p.o.sigma_min = 0.75;
  r = run(kTalbot, p, orvane::FunctorTransform<hd::ExpDecay>());
  for (const orvane::Result& x : r) {
    EXPECT_EQ(x.sigma, 0.75);
    EXPECT_NEAR(x.f.real(), std::exp(-x.t), 1e-12);
  }
  // A time of 0 has no contour: no value, unbounded errors, not met.
  const orvane::Result zero = run(kTalbot, times({0.0}, 1e-1), orvane::FunctorTransform<hd::ExpDecay>())[0];
  EXPECT_TRUE(std::isnan(zero.f.real()));
  EXPECT_EQ(zero.rel_err, INFINITY);
  EXPECT_EQ(zero.flag, 1);
}

// Every kind of transform reaches Talbot's nodes through evaluate(), and a
// transform given by its values alone samples the Weeks contour exactly as
// the functor's own sampling does.
TEST(Talbot, EveryKindOfTransformGivesTheSameNumbers) {
  const Times p = times({0.5, 2.0}, 1e-10, 0.5);
  const orvane::FunctorTransform<hd::Underdamped> functor;
  const PointsOf<hd::Underdamped> points;
  for (orvane::Method m : {kWeeks, kTalbot}) {
    SCOPED_TRACE(orvane::methodName(m));
    const std::vector<orvane::Result> a = run(m, p, functor), b = run(m, p, points);
    for (std::size_t i = 0; i < a.size(); ++i) EXPECT_TRUE(same(a[i], b[i]));
  }
#if defined(ORVANE_BACKEND_HOST)
  // An expression compiled at run time: the same compiler and flags, the same bits.
  const std::string dir = ::testing::TempDir() + "talbot-jit-cache";
  orvane::jit::Options options;
  options.cacheDir = dir;
  const std::unique_ptr<orvane::Transform> expr = orvane::jit::compileStatements(
      orvane::jit::expressionSource("1/(s^2+s+1)", {}), "expression", {}, options);
  const std::vector<orvane::Result> a = run(kTalbot, p, *expr);
  const std::vector<orvane::Result> b = run(kTalbot, p, functor);
  for (std::size_t i = 0; i < a.size(); ++i) EXPECT_NEAR(a[i].f.real(), b[i].f.real(), 1e-14);
#endif
}

TEST(AutoChoice, AValueIsVouchedForByItsPeers) {
  orvane::Result weeks;
  weeks.f = 1.0;
  weeks.abs_err = 1e-6;
  weeks.rel_err = 1e-6;
  weeks.flag = 1;
  weeks.method = kWeeks;
  orvane::TalbotRecord t{make_cuDoubleComplex(1.0 + 1e-9, 0.0), 1e-12, 1e-12, 0, 32};
  // Weeks alone vouches for no more than the gap plus ten times its error.
  orvane::Result r = orvane::vouched(orvane::talbotResult(1.0, 0.0, t), {{&weeks, 10.0}}, 1e-8);
  EXPECT_NEAR(r.abs_err, 1e-9 + 1e-5, 1e-15);
  EXPECT_EQ(r.flag, 1);
  // A peer that agrees closely with a small error leaves Talbot's own.
  orvane::Result line = weeks;
  line.f = 1.0 + 1e-9 + 1e-13;
  line.abs_err = 1e-13;
  r = orvane::vouched(orvane::talbotResult(1.0, 0.0, t), {{&weeks, 10.0}, {&line, 1.0}}, 1e-8);
  EXPECT_EQ(r.abs_err, 1e-12);
  EXPECT_EQ(r.flag, 0);
  // With no peer of finite error nothing vouches for it.
  weeks.abs_err = line.abs_err = INFINITY;
  r = orvane::vouched(orvane::talbotResult(1.0, 0.0, t), {{&weeks, 10.0}, {&line, 1.0}}, 1e-8);
  EXPECT_EQ(r.abs_err, INFINITY);
  EXPECT_EQ(r.flag, 1);

  // In a run: the methods without a search settle the times they can vouch
  // for (a smooth transform, a branch point at the origin), each value
  // within its request.
  Times p = times({1.0}, 1e-10);
  p.o.pairs.clear();
  p.o.sizes = {32, 64};
  const orvane::Result easy = run(kAuto, p, orvane::FunctorTransform<hd::ExpDecay>())[0];
  EXPECT_NE(easy.method, kWeeks);
  EXPECT_EQ(easy.flag, 0);
  EXPECT_NEAR(easy.f.real(), std::exp(-1.0), 1e-10 * std::exp(-1.0));
  const orvane::Result hard = run(kAuto, p, orvane::FunctorTransform<InvSqrt>())[0];
  EXPECT_EQ(hard.flag, 0);
  EXPECT_NEAR(hard.f.real(), 1 / std::sqrt(M_PI), 1e-10);
}

// The search auto asks for the times it left unmet: the sigmas and b's of
// use to the earliest of them, and every grid of it at least one point,
// however narrow the range.
TEST(AutoChoice, SearchOfTheUnmetTimes) {
  orvane::Options o;
  o.rel_err = 1e-8;
  o.sigma_min = 0.25;
  o.sigma_max = 15.25;
  o.b_max = 24.0;
  o.resolutions = {{0.5, 1.0}};
  o.sizes = {32, 64};
  const std::vector<double> t{0.0, 0.1, 10.0, 20.0};
  const auto grids = [](const orvane::Options& s) {
    EXPECT_EQ(s.resolutions.size(), 4u);
    for (const orvane::Resolution& r : s.resolutions)
      EXPECT_NO_THROW(orvane::searchGrid(s.sigma_min, s.sigma_max, s.b_max, r.sigma, r.b));
  };
  // Late times: sigma below 0.25 + ln(1e-8/eps)/10, b at most 64/10.
  orvane::Options s = orvane::unmetSearch(o, t, {3, 2});
  EXPECT_NEAR(s.sigma_max, 0.25 + std::log(1e-8 / 2.220446049250313e-16) / 10.0, 1e-12);
  EXPECT_DOUBLE_EQ(s.b_max, 6.4);
  EXPECT_DOUBLE_EQ(s.resolutions[0].sigma, (s.sigma_max - s.sigma_min) / 2.0);
  EXPECT_DOUBLE_EQ(s.resolutions[1].sigma, (s.sigma_max - s.sigma_min) / 4.0);
  grids(s);
  // An early time (or only t = 0) keeps the caller's range.
  for (const std::vector<int>& unmet : {std::vector<int>{1, 3}, std::vector<int>{0}}) {
    s = orvane::unmetSearch(o, t, unmet);
    EXPECT_EQ(s.sigma_max, 15.25);
    EXPECT_EQ(s.b_max, 24.0);
    grids(s);
  }
  // A range too far out for the window to register, and a request below
  // round-off: still a grid.
  o.sigma_min = 1e17;  // sigmas 16 apart
  o.sigma_max = 1e17 + 64.0;
  o.resolutions = {{16.0, 1.0}};
  o.rel_err = 1e-18;
  grids(orvane::unmetSearch(o, t, {3}));
  // Without a search, nothing to choose.
  o.pairs = {{1.0, 2.0}};
  s = orvane::unmetSearch(o, t, {3});
  EXPECT_EQ(s.resolutions.size(), 1u);
  EXPECT_EQ(s.b_max, 24.0);
}

#if defined(ORVANE_BACKEND_HOST)
// Talbot alone over every reference pair and time: no flag claims a request
// (1e-1 to 1e-13) that the true error misses. (The automatic choice is
// checked on them in dehoog_test.cpp.)
TEST(Talbot, ReferencePairsHonestAndAccurate) {
  orvane::Solver solver;
  int checked = 0;
  for (const reference::Pair& p : reference::pairs()) {
    orvane::Options q = accuracy::optionsFor(p, 1e-13);
    const std::vector<double> times = accuracy::timesOf(p);
    q.method = kTalbot;
    const std::vector<orvane::Result> t = solver.invert(HostTransform{p.F}, times, q);
    for (std::size_t k = 0; k < times.size(); ++k) {
      const double exact = p.values[k].f;
      for (int e = 1; e <= 13; ++e) {
        const double req = std::pow(10.0, -e);
        for (const orvane::Result* r : {&t[k]}) {
          const double rel = std::hypot(r->f.real() - exact, r->f.imag()) / std::fabs(exact);
          EXPECT_FALSE(r->rel_err < req && !(rel < req))
              << p.id << " t=" << times[k] << " request " << req << " " << orvane::methodName(r->method)
              << " predicted " << r->rel_err << " true " << rel;
        }
      }
      ++checked;
    }
  }
  EXPECT_GE(checked, 300);
}
#endif
