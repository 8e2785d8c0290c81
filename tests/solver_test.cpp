// The library's solver: options built in code, results as data, typed
// failures, a solver reused across runs and transforms, two solvers in two
// threads, and the host-memory bounds of the search.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "device/gpu_runtime.h"
#include "methods/weeks/param_est.h"
#include "orvane/orvane.h"
#include "support/stages.h"
#include "support/transforms_hd.h"

namespace {

// A Weeks search at the times, sizes 32 and 64.
orvane::Options search(double request) {
  orvane::Options o;
  o.method = "weeks";
  o.rel_err = request;
  o.sizes = {32, 64};
  return o;
}

bool sameResult(const orvane::Result& a, const orvane::Result& b) {
  return a.t == b.t && a.f == b.f && a.sigma == b.sigma && a.b == b.b && a.abs_err == b.abs_err &&
         a.rel_err == b.rel_err && a.flag == b.flag && a.N == b.N && a.sigma_step == b.sigma_step &&
         a.b_step == b.b_step && a.method == b.method;
}

// e^(-5s)/s on the host: f = 0 before t = 5.
struct Delayed {
  template <class C>
  C operator()(C s) const {
    const std::complex<double> z(double(s.x), double(s.y)), F = std::exp(-5.0 * z) / z;
    C out;
    out.x = decltype(s.x)(F.real());
    out.y = decltype(s.x)(F.imag());
    return out;
  }
};

}  // namespace

TEST(Solver, ResultsAsDataWithTheRecordThatProducedThem) {
  orvane::Solver solver;
  const std::vector<orvane::Result> r = solver.invert(hd::ExpDecay{}, {0.5, 2.0}, search(1e-10));
  ASSERT_EQ(r.size(), 2u);
  for (const orvane::Result& x : r) {
    EXPECT_NEAR(x.f.real(), std::exp(-x.t), 1e-12) << x.t;
    EXPECT_EQ(x.flag, 0);
    EXPECT_LT(x.rel_err, 1e-10);
    EXPECT_TRUE(x.N == 32 || x.N == 64);
    EXPECT_TRUE(x.sigma_step == 1.0 || x.sigma_step == 0.5);
    EXPECT_EQ(x.b_step, x.sigma_step);
    EXPECT_STREQ(orvane::methodName(x.method), "weeks");
  }
  // The caller's pair: no search, so no resolution; one pair serves every time.
  orvane::Options user = search(1e-6);
  user.pairs = {{0.0, 1.0}};
  const orvane::Result u = solver.invert(hd::ExpDecay{}, {1.0}, user)[0];
  EXPECT_EQ(u.sigma, 0.0);
  EXPECT_EQ(u.b, 1.0);
  EXPECT_EQ(u.sigma_step, 0.0);
  EXPECT_EQ(u.b_step, 0.0);
  EXPECT_EQ(u.N, 32);
  // The defaults: auto, N = 64, the search of Python's invert().
  const orvane::Result d = solver.invert(hd::ExpDecay{}, {1.0})[0];
  EXPECT_NEAR(d.f.real(), std::exp(-1.0), 1e-12);
  EXPECT_EQ(d.flag, 0);
  // A pair whose b is not positive is refused, naming the field.
  user.pairs = {{0.0, -1.0}};
  try {
    solver.invert(hd::ExpDecay{}, {1.0}, user);
    ADD_FAILURE() << "no error";
  } catch (const orvane::Error& e) {
    EXPECT_EQ(e.refusal().field, "pairs.b");
    EXPECT_EQ(e.refusal().index, 0);
    EXPECT_EQ(e.refusal().found, "-1");
  }
}

// The search keeps a grid's error sums for the times of one run; a later run
// with another transform must not see them.
TEST(Solver, ReusedSolverStartsEveryRunAfresh) {
  orvane::Solver solver;
  const orvane::Options p = search(1e-14);
  const std::vector<double> t{0.5, 1.0};
  const std::vector<orvane::Result> exp1 = solver.invert(hd::ExpDecay{}, t, p);
  const std::vector<orvane::Result> two = solver.invert(hd::TwoPoles{}, t, p);
  const std::vector<orvane::Result> exp2 = solver.invert(hd::ExpDecay{}, t, p);
  orvane::Solver fresh;
  const std::vector<orvane::Result> twoFresh = fresh.invert(hd::TwoPoles{}, t, p);
  for (std::size_t i = 0; i < t.size(); ++i) {
    EXPECT_TRUE(sameResult(exp1[i], exp2[i])) << i;
    EXPECT_TRUE(sameResult(two[i], twoFresh[i])) << i;
  }
}

TEST(Solver, TwoSolversInTwoThreadsMatchASerialRun) {
  const orvane::Options p = search(1e-12);
  const std::vector<double> t{0.25, 1.0, 4.0};
  orvane::Solver serial;
  const std::vector<orvane::Result> a = serial.invert(hd::Underdamped{}, t, p);
  const std::vector<orvane::Result> b = serial.invert(hd::Sine{}, t, p);
  std::vector<orvane::Result> ta, tb;
  std::thread first([&] {
    orvane::Solver s;
    for (int k = 0; k < 3; ++k) ta = s.invert(hd::Underdamped{}, t, p);
  });
  std::thread second([&] {
    orvane::Solver s;
    for (int k = 0; k < 3; ++k) tb = s.invert(hd::Sine{}, t, p);
  });
  first.join();
  second.join();
  ASSERT_EQ(ta.size(), a.size());
  ASSERT_EQ(tb.size(), b.size());
  for (std::size_t i = 0; i < a.size(); ++i) {
    EXPECT_TRUE(sameResult(a[i], ta[i])) << i;
    EXPECT_TRUE(sameResult(b[i], tb[i])) << i;
  }
}

// Nothing reaches the console; with a sink the diagnostic lines go there.
TEST(Solver, WritesOnlyToTheSinkItIsGiven) {
  const orvane::Options p = search(1e-6);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  orvane::Solver quiet;
  quiet.invert(hd::ExpDecay{}, {1.0}, p);
  std::ostringstream sink;
  orvane::SolverSettings settings;
  settings.diagnostics = &sink;
  orvane::Solver talkative(settings);
  talkative.invert(hd::ExpDecay{}, {1.0}, p);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_NE(sink.str().find("Time Input = 1"), std::string::npos);
  EXPECT_NE(sink.str().find("GPU Timing [ms]"), std::string::npos);
  EXPECT_NE(sink.str().find("GPU Error Estimation Time = "), std::string::npos);
}

TEST(Solver, FailuresArriveAsErrorsOfTheirKind) {
  using orvane::ErrorKind;
  orvane::Solver solver;
  stages_test::expectError(ErrorKind::kParameters, "^method is 'fastest'; expected weeks, talbot, dehoog or auto$",
                           [&] { orvane::Options o; o.method = "fastest"; });
  // A size no device runs is refused before any work; unchecked, the device refuses it.
  orvane::Options big = search(1e-6);
  big.sizes = {1024};
  stages_test::expectError(ErrorKind::kParameters, "^options: sizes\\[0\\] is 1024; expected an integer from 1 to 512",
                           [&] { solver.invert(hd::ExpDecay{}, {1.0}, big); });
  big.strict = false;
  stages_test::expectError(ErrorKind::kSizeRefused, "^The number of samples per block 2048exceeds",
                           [&] { solver.invert(hd::ExpDecay{}, {1.0}, big); });
  orvane::Options mismatched = search(1e-6);
  mismatched.rel_errs = {1e-6};
  stages_test::expectError(ErrorKind::kParameters, "^options: the size of rel_errs is 1; expected 2",
                           [&] { solver.invert(hd::ExpDecay{}, {1.0, 2.0}, mismatched); });
#if ORVANE_BACKEND_HOST
  setenv("ORVANE_HOST_FAIL_FFT", "2", 1);
  stages_test::expectError(ErrorKind::kFft, "^Error located: FFT plan or execution failed",
                           [&] { solver.invert(hd::ExpDecay{}, {1.0}, search(1e-6)); });
  unsetenv("ORVANE_HOST_FAIL_FFT");
  setenv("ORVANE_HOST_CAPABILITY", "1.2", 1);
  stages_test::expectError(ErrorKind::kNoDevice, "^An acceptable graphics processor was not found.$",
                           [] { orvane::Solver refused; });
  unsetenv("ORVANE_HOST_CAPABILITY");
#endif
  // The solver is still usable after a failure.
  EXPECT_EQ(solver.invert(hd::ExpDecay{}, {1.0}, search(1e-6)).size(), 1u);
  // One whose resources went to another says so instead of crashing.
  orvane::Solver taken = std::move(solver);
  stages_test::expectError(ErrorKind::kParameters, "^solver: this solver was moved from",
                           [&] { solver.invert(hd::ExpDecay{}, {1.0}); });
  EXPECT_EQ(taken.invert(hd::ExpDecay{}, {1.0}).size(), 1u);
}

// What auto gives a time does not depend on far-away times of the same
// call (t = 0 beside a large t), and every call states its bill: the points
// at which F was evaluated, as many as the transform was asked for.
TEST(Solver, ATimeIsNoWorseForItsNeighboursAndTheCallStatesItsBill) {
  orvane::Solver solver;
  orvane::Options o;
  o.rel_err = 1e-8;
  const orvane::Result alone = solver.invert(hd::ExpDecay{}, {0.0}, o)[0];
  for (const std::vector<double>& t : {std::vector<double>{0.0, 1e4}, std::vector<double>{0.0, 1e308}}) {
    const orvane::Result shared = solver.invert(hd::ExpDecay{}, t, o)[0];
    EXPECT_TRUE(sameResult(alone, shared)) << t[1] << ": " << shared.f.real() << " " << shared.rel_err;
  }
  EXPECT_EQ(alone.flag, 0);
  EXPECT_NEAR(alone.f.real(), 1.0, 1e-8);

  struct Counting {
    std::atomic<long long>* points;
    int evaluate(const double2* p, long long n, double2* v) const {
      *points += n;
      for (long long k = 0; k < n; ++k) {
        const std::complex<double> F = 1.0 / (std::complex<double>(p[k].x, p[k].y) + 1.0);
        v[k] = double2{F.real(), F.imag()};
      }
      return 0;
    }
  };
  struct Points final : orvane::PointTransform {
    Counting c;
    int evaluate(const double2* p, long long n, double2* v) const override { return c.evaluate(p, n, v); }
  };
  std::atomic<long long> points{0};
  Points F;
  F.c.points = &points;
  for (const char* m : {"dehoog", "talbot", "weeks", "auto"}) {
    points = 0;
    o.method = m;
    solver.invert(F, {0.5, 1.0, 2.0}, o);
    EXPECT_EQ(solver.lastCall().evaluations, points.load()) << m;
    EXPECT_GT(points.load(), 0) << m;
  }
#if ORVANE_BACKEND_HOST
  // A value nothing can meet (f = 0 before a delay) is not searched on every
  // grid: the search gives it up after the first.
  o.method = "auto";
  const orvane::Result zero = solver.invert(Delayed{}, {1.45}, o)[0];
  EXPECT_EQ(zero.flag, 1);
  std::printf("evaluations of a value nothing can meet: %lld\n", solver.lastCall().evaluations);
  EXPECT_LT(solver.lastCall().evaluations, 20000);
#endif
}

// A grid whose estimates exceed the search's host memory is refused before
// anything is allocated; one whose sums exceed the cache is recomputed for
// every time, with the choice of a kept grid.
TEST(SearchMemory, BoundsTheHostMemoryOfASearch) {
  orvane::Options p = search(1e-14);
  const std::vector<double> t{0.5, 1.0};
  p.resolutions = {{0.5, 0.5}};  // 60 x 60 grid: 28,800 bytes of estimates
  orvane::SolverSettings small;
  small.hostMemoryBytes = 20000;
  orvane::Solver refusing(small);
  stages_test::expectError(orvane::ErrorKind::kResources,
                           "^The parameter search cannot hold the error estimates of its 60 x 60 "
                           "grid: 28800 bytes of host memory, more than the 20000 it may use.$",
                           [&] { refusing.invert(hd::ExpDecay{}, t, p); });

  orvane::SolverSettings noCache;
  noCache.searchCacheBytes = 1000;
  orvane::Solver recomputing(noCache), keeping;
  const std::vector<orvane::Result> a = recomputing.invert(hd::TwoPoles{}, t, p);
  const std::vector<orvane::Result> b = keeping.invert(hd::TwoPoles{}, t, p);
  for (std::size_t i = 0; i < a.size(); ++i) EXPECT_TRUE(sameResult(a[i], b[i])) << i;
}

TEST(SearchMemory, KeepsTheNewestGridsWithinItsBudget) {
  orvane::SearchMemory memory(3 * 8 * 100, std::size_t(1) << 30);
  auto key = [](int N) { return orvane::SearchMemory::Key{N, stages_test::grid(10, 10, 0.0, 1.0, 1.0)}; };
  for (int N = 1; N <= 4; ++N) EXPECT_NE(memory.keep(key(N), std::vector<double>(100, N)), nullptr);
  EXPECT_EQ(memory.find(key(1)), nullptr);  // the oldest went first
  for (int N = 2; N <= 4; ++N) ASSERT_NE(memory.find(key(N)), nullptr) << N;
  EXPECT_EQ(memory.find(key(3))[0], 3.0);
  EXPECT_EQ(memory.keptBytes(), 3u * 8u * 100u);
  EXPECT_EQ(memory.keep(key(5), std::vector<double>(400, 5.0)), nullptr);  // larger than the budget
  EXPECT_NE(memory.find(key(4)), nullptr);
}

namespace {

// F(s) = 1/(s + 1) known only by its values at points, counting its calls and
// the threads they come from.
class CountingPoints : public orvane::PointTransform {
 public:
  explicit CountingPoints(bool wholeBatches) : wholeBatches_(wholeBatches) {}
  int evaluate(const double2* points, long long count, double2* values) const override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++calls_;
      threads_.insert(std::this_thread::get_id());
    }
    for (long long k = 0; k < count; ++k) {
      const std::complex<double> v = 1.0 / (std::complex<double>(points[k].x, points[k].y) + 1.0);
      values[k].x = v.real();
      values[k].y = v.imag();
    }
    return 0;
  }
  bool wantsWholeBatches() const override { return wholeBatches_; }
  int calls() const { return calls_; }
  std::size_t threads() const { return threads_.size(); }

 private:
  bool wholeBatches_;
  mutable std::mutex mutex_;
  mutable int calls_ = 0;
  mutable std::set<std::thread::id> threads_;
};

}  // namespace

// A transform that serves one call at a time is asked for whole chunks of rows
// from the calling thread, and the results are those of the per-row path.
TEST(Solver, WholeBatchTransformsGetFewCallsFromOneThreadAndTheSameResults) {
  // The points live in device memory on the CUDA backend, which takes whole batches anyway.
  if (!gpu::kHostBackend) GTEST_SKIP() << "host backend only";
  orvane::Solver solver;
  const orvane::Options p = search(1e-10);
  const std::vector<double> t{0.5, 2.0, 7.0};
  CountingPoints rows(false), batches(true);
  const std::vector<orvane::Result> a = solver.invert(rows, t, p);
  const std::vector<orvane::Result> b = solver.invert(batches, t, p);
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t k = 0; k < a.size(); ++k) EXPECT_TRUE(sameResult(a[k], b[k])) << k;
  EXPECT_EQ(batches.threads(), 1u);
  // Two sizes and two tolerances make at most four grids, plus the inversions.
  EXPECT_LT(batches.calls(), 40);
  EXPECT_GT(rows.calls(), 100);
}
