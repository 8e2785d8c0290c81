// The library's solver: parameters built in code, results as data, typed
// failures, a solver reused across runs and transforms, two solvers in two
// threads, and the host-memory bounds of the search.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "device/gpu_runtime.h"
#include "error/param_est.h"
#include "orvane/orvane.h"
#include "support/stages.h"
#include "support/transforms_hd.h"

namespace {

orvane::Parameters search(std::vector<double> times, double request) {
  orvane::Parameters p;
  p.Time = times;
  p.RelErr.assign(times.size(), request);
  p.sigmaUser.assign(times.size(), 0.0);
  p.bUser.assign(times.size(), 1.0);
  p.NLag = {32, 64};
  return p;
}

bool sameResult(const WeeksResult& a, const WeeksResult& b) {
  return a.Time == b.Time && a.ft.x == b.ft.x && a.ft.y == b.ft.y && a.sigma == b.sigma &&
         a.b == b.b && a.AbsErrPred == b.AbsErrPred && a.RelErrPred == b.RelErrPred &&
         a.TolFlag == b.TolFlag && a.NLag == b.NLag && a.tols == b.tols && a.tolb == b.tolb;
}

}  // namespace

TEST(Solver, ResultsAsDataWithTheRecordThatProducedThem) {
  orvane::Solver solver;
  const std::vector<WeeksResult> r = solver.run(search({0.5, 2.0}, 1e-10), hd::ExpDecay{});
  ASSERT_EQ(r.size(), 2u);
  for (const WeeksResult& x : r) {
    EXPECT_NEAR(x.ft.x, std::exp(-x.Time), 1e-12) << x.Time;
    EXPECT_EQ(x.TolFlag, 0);
    EXPECT_LT(x.RelErrPred, 1e-10);
    EXPECT_TRUE(x.NLag == 32 || x.NLag == 64);
    EXPECT_TRUE(x.tols == 1.0 || x.tols == 0.5);
    EXPECT_EQ(x.tolb, x.tols);
  }
  // The user's pair: no search, so no resolution.
  orvane::Parameters user = search({1.0}, 1e-6);
  user.SearchSwitch = 0;
  const WeeksResult u = solver.run(user, hd::ExpDecay{})[0];
  EXPECT_EQ(u.sigma, 0.0);
  EXPECT_EQ(u.b, 1.0);
  EXPECT_EQ(u.tols, 0.0);
  EXPECT_EQ(u.tolb, 0.0);
  EXPECT_EQ(u.NLag, 32);
  // A search needs no user pairs.
  orvane::Parameters bare;
  bare.Time = {1.0};
  bare.RelErr = {1e-10};
  EXPECT_NEAR(solver.run(bare, hd::ExpDecay{})[0].ft.x, std::exp(-1.0), 1e-12);
  bare.SearchSwitch = 0;
  EXPECT_THROW(solver.run(bare, hd::ExpDecay{}), orvane::Error);
}

// The search keeps a grid's error sums for the times of one run; a later run
// with another transform must not see them.
TEST(Solver, ReusedSolverStartsEveryRunAfresh) {
  orvane::Solver solver;
  const orvane::Parameters p = search({0.5, 1.0}, 1e-14);
  const std::vector<WeeksResult> exp1 = solver.run(p, hd::ExpDecay{});
  const std::vector<WeeksResult> two = solver.run(p, hd::TwoPoles{});
  const std::vector<WeeksResult> exp2 = solver.run(p, hd::ExpDecay{});
  orvane::Solver fresh;
  const std::vector<WeeksResult> twoFresh = fresh.run(p, hd::TwoPoles{});
  for (std::size_t i = 0; i < p.Time.size(); ++i) {
    EXPECT_TRUE(sameResult(exp1[i], exp2[i])) << i;
    EXPECT_TRUE(sameResult(two[i], twoFresh[i])) << i;
  }
}

TEST(Solver, TwoSolversInTwoThreadsMatchASerialRun) {
  const orvane::Parameters p = search({0.25, 1.0, 4.0}, 1e-12);
  orvane::Solver serial;
  const std::vector<WeeksResult> a = serial.run(p, hd::Underdamped{});
  const std::vector<WeeksResult> b = serial.run(p, hd::Sine{});
  std::vector<WeeksResult> ta, tb;
  std::thread first([&] {
    orvane::Solver s;
    for (int k = 0; k < 3; ++k) ta = s.run(p, hd::Underdamped{});
  });
  std::thread second([&] {
    orvane::Solver s;
    for (int k = 0; k < 3; ++k) tb = s.run(p, hd::Sine{});
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
  const orvane::Parameters p = search({1.0}, 1e-6);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  orvane::Solver quiet;
  quiet.run(p, hd::ExpDecay{});
  std::ostringstream sink;
  orvane::SolverOptions options;
  options.diagnostics = &sink;
  orvane::Solver talkative(options);
  talkative.run(p, hd::ExpDecay{});
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_NE(sink.str().find("Time Input = 1"), std::string::npos);
  EXPECT_NE(sink.str().find("GPU Timing [ms]"), std::string::npos);
  EXPECT_NE(sink.str().find("GPU Error Estimation Time = "), std::string::npos);
}

TEST(Solver, FailuresArriveAsErrorsOfTheirKind) {
  using orvane::ErrorKind;
  orvane::Solver solver;
  orvane::Parameters bad = search({1.0}, 1e-6);
  bad.SearchSwitch = 2;
  stages_test::expectError(ErrorKind::kSearchSwitch, "^Incorrect selection for the SearchSwitch",
                           [&] { solver.run(bad, hd::ExpDecay{}); });
  orvane::Parameters big = search({1.0}, 1e-6);
  big.NLag = {1024};
  stages_test::expectError(ErrorKind::kSizeRefused, "^The number of samples per block 2048exceeds",
                           [&] { solver.run(big, hd::ExpDecay{}); });
  orvane::Parameters mismatched = search({1.0, 2.0}, 1e-6);
  mismatched.RelErr.pop_back();
  EXPECT_THROW(solver.run(mismatched, hd::ExpDecay{}), orvane::Error);
#if ORVANE_BACKEND_HOST
  setenv("ORVANE_HOST_FAIL_FFT", "2", 1);
  stages_test::expectError(ErrorKind::kFft, "^Error located: FFT plan or execution failed",
                           [&] { solver.run(search({1.0}, 1e-6), hd::ExpDecay{}); });
  unsetenv("ORVANE_HOST_FAIL_FFT");
  setenv("ORVANE_HOST_CAPABILITY", "1.2", 1);
  stages_test::expectError(ErrorKind::kNoDevice, "^An acceptable graphics processor was not found.$",
                           [] { orvane::Solver refused; });
  unsetenv("ORVANE_HOST_CAPABILITY");
#endif
  // The solver is still usable after a failure.
  EXPECT_EQ(solver.run(search({1.0}, 1e-6), hd::ExpDecay{}).size(), 1u);
}

// A grid whose estimates exceed the search's host memory is refused before
// anything is allocated; one whose sums exceed the cache is recomputed for
// every time, with the choice of a kept grid.
TEST(SearchMemory, BoundsTheHostMemoryOfASearch) {
  orvane::Parameters p = search({0.5, 1.0}, 1e-14);
  p.tols = {0.5};
  p.tolb = {0.5};  // 60 x 60 grid: 28,800 bytes of estimates
  orvane::SolverOptions small;
  small.hostMemoryBytes = 20000;
  orvane::Solver refusing(small);
  stages_test::expectError(orvane::ErrorKind::kResources,
                           "^The parameter search cannot hold the error estimates of its 60 x 60 "
                           "grid: 28800 bytes of host memory, more than the 20000 it may use.$",
                           [&] { refusing.run(p, hd::ExpDecay{}); });

  orvane::SolverOptions noCache;
  noCache.searchCacheBytes = 1000;
  orvane::Solver recomputing(noCache), keeping;
  const std::vector<WeeksResult> a = recomputing.run(p, hd::TwoPoles{});
  const std::vector<WeeksResult> b = keeping.run(p, hd::TwoPoles{});
  for (std::size_t i = 0; i < a.size(); ++i) EXPECT_TRUE(sameResult(a[i], b[i])) << i;
}

TEST(SearchMemory, KeepsTheNewestGridsWithinItsBudget) {
  orvane::SearchMemory memory(3 * 8 * 100, std::size_t(1) << 30);
  auto key = [](int N) { return orvane::SearchMemory::Key{N, 10, 10, 0.0, 1.0, 1.0}; };
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
  const orvane::Parameters p = search({0.5, 2.0, 7.0}, 1e-10);
  CountingPoints rows(false), batches(true);
  const std::vector<WeeksResult> a = solver.run(p, rows);
  const std::vector<WeeksResult> b = solver.run(p, batches);
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t k = 0; k < a.size(); ++k) EXPECT_TRUE(sameResult(a[k], b[k])) << k;
  EXPECT_EQ(batches.threads(), 1u);
  // Two sizes and two tolerances make at most four grids, plus the inversions.
  EXPECT_LT(batches.calls(), 40);
  EXPECT_GT(rows.calls(), 100);
}
