// Google Benchmark cases of the parameter search on the compiled-in user
// transform: each stage of one grid pass, the whole pass (wfnErrorCore),
// the floor (the same number of bare F(s) evaluations on every core) and one
// inversion core call. Grids of 30x30, 60x60, 120x120 points, N = 32 .. 512,
// Nsamples = 4N per grid point, sigma in [0, 30), b in (0, 30] at t = 1.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <thread>
#include <utility>
#include <vector>

#ifdef _OPENMP
#include <omp.h>
#endif

#include "methods/weeks/coefficient_kernels.h"
#include "driver/user_transform.h"
#include "device/check_cuda.h"
#include "orvane/detail/launch.h"
#include "device/gpu_runtime.h"
#include "methods/weeks/error_kernel.h"
#include "support/stages.h"
#include "methods/talbot/talbot.h"
#include "jit/runtime_transform.h"
#include "orvane/orvane.h"

namespace {

// ---- Workload shared by every case ------------------------------------------------

constexpr double kSigmin = 0.0;
constexpr double kSigmax = 30.0;
constexpr double kBmax = 30.0;
constexpr double kTime = 1.0;

const int kGridSides[] = {30, 60, 120};
const int kSizes[] = {32, 64, 128, 256, 512};

// One grid pass: side x side points, Nsamples = 4N samples per point.
struct GridCase {
  int side, N, Nsigma, Nb, Nbatch, Nsamples;
  long long evaluations() const { return (long long)Nbatch * Nsamples; }
};

GridCase gridCase(const benchmark::State& state) {
  GridCase g;
  g.side = int(state.range(0));
  g.N = int(state.range(1));
  g.Nsigma = g.side;
  g.Nb = g.side;
  g.Nbatch = g.Nsigma * g.Nb;
  g.Nsamples = 4 * g.N;
  return g;
}

int hostThreads() {
#ifdef _OPENMP
  return omp_get_max_threads();
#else
  return int(std::thread::hardware_concurrency());
#endif
}

// Every (side, N) pair of the grid cases.
void gridArguments(benchmark::internal::Benchmark* b) {
  b->ArgNames({"side", "N"});
  for (int side : kGridSides)
    for (int N : kSizes) b->Args({side, N});
}

// Device memory for the length of one case.
class DeviceArray {
 public:
  explicit DeviceArray(std::size_t bytes) { WFN_CHECK(gpu::malloc(&ptr_, bytes)); }
  ~DeviceArray() { gpu::free(ptr_); }
  DeviceArray(const DeviceArray&) = delete;
  DeviceArray& operator=(const DeviceArray&) = delete;
  double2* complex() const { return static_cast<double2*>(ptr_); }
  double* real() const { return static_cast<double*>(ptr_); }

 private:
  void* ptr_ = nullptr;
};

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Seconds per iteration of the floor, by (side, N): the floor case runs before
// the grid pass of the same shape, which reports its ratio to it.
std::map<std::pair<int, int>, double>& floorSeconds() {
  static std::map<std::pair<int, int>, double> seconds;
  return seconds;
}

// ---- Stages through their per-element functions -------------------------------------
// These cases launch the per-element bodies the way the coefficient pipeline and
// the error driver do today; when those drivers change shape, this part follows.

// The search grid of a case.
orvane::detail::Grid gridOf(const GridCase& g) {
  return stages_test::grid(g.Nsigma, g.Nb, kSigmin, kSigmax, kBmax);
}

void sampleStage(const GridCase& g, double2* dev) {
  const UserTransform f{};
  const int Nsamples = g.Nsamples;
  const orvane::detail::Grid grid = gridOf(g);
  WFN_CHECK(gpu::launch(Nsamples, g.Nbatch, [=] ORVANE_HD(int k, int r) {
    wfnsampleFS(f, k, r, 0, Nsamples, grid, nullptr, dev);
  }));
}

void shiftStage(const GridCase& g, double2* dev) {
  const int Nsamples = g.Nsamples;
  WFN_CHECK(gpu::launch(Nsamples / 2, g.Nbatch, [=] ORVANE_HD(int k, int r) {
    wfncufftshift(k, r, Nsamples, dev);
  }));
}

void coefficientStage(const GridCase& g, double2* dev) {
  const int Nsamples = g.Nsamples;
  WFN_CHECK(gpu::launch(Nsamples, g.Nbatch, [=] ORVANE_HD(int n, int r) {
    wfnLagCoeffs(n, r, Nsamples, nullptr, dev);
  }));
}

void errorStage(const GridCase& g, const double2* dev, double* errors) {
  const int Nsamples = g.Nsamples;
  const orvane::detail::Grid grid = gridOf(g);
  WFN_CHECK(gpu::launch(1, g.Nbatch, [=] ORVANE_HD(int, int k) {
    orvane::wfnLagError(k, 0, Nsamples, grid, kTime, dev, errors);
  }));
}

void sync() { WFN_CHECK(gpu::deviceSynchronize()); }

// The input each stage sees in a pass: the rows after the stages before it.
void prepareRows(const GridCase& g, double2* dev, gpu::FftPlans* plan, int stagesBefore) {
  if (stagesBefore >= 1) sampleStage(g, dev);
  if (stagesBefore >= 2) shiftStage(g, dev);
  if (stagesBefore >= 3) WFN_CHECK(plan->forward(g.Nsamples, g.Nbatch, dev));
  if (stagesBefore >= 4) coefficientStage(g, dev);
  sync();
}

// The FFT and the coefficient stage work in place and would drift (overflow,
// subnormals) if repeated, so their input is put back, untimed, before every
// call: copied from a saved image on the host backend (its device memory is
// host memory), recomputed on a GPU.
class StageInput {
 public:
  StageInput(const GridCase& g, double2* dev, gpu::FftPlans* plan, int stagesBefore)
      : g_(g), dev_(dev), plan_(plan), stagesBefore_(stagesBefore) {
    prepareRows(g, dev, plan, stagesBefore);
#if defined(ORVANE_BACKEND_HOST)
    saved_.assign(dev, dev + g.evaluations());
#endif
  }
  void restore() {
#if defined(ORVANE_BACKEND_HOST)
    std::memcpy(static_cast<void*>(dev_), saved_.data(), saved_.size() * sizeof(double2));
#else
    prepareRows(g_, dev_, plan_, stagesBefore_);
#endif
  }

 private:
  GridCase g_;
  double2* dev_;
  gpu::FftPlans* plan_;
  int stagesBefore_;
  std::vector<double2> saved_;
};

void BM_Sampling(benchmark::State& state) {
  const GridCase g = gridCase(state);
  DeviceArray data(sizeof(double2) * std::size_t(g.evaluations()));
  for (auto _ : state) {
    sampleStage(g, data.complex());
    sync();
  }
}

void BM_Shift(benchmark::State& state) {
  const GridCase g = gridCase(state);
  DeviceArray data(sizeof(double2) * std::size_t(g.evaluations()));
  prepareRows(g, data.complex(), nullptr, 1);
  // The swap is its own inverse: repeating it keeps the rows valid.
  for (auto _ : state) {
    shiftStage(g, data.complex());
    sync();
  }
}

// The batched FFT of one pass; the plan is made once outside the timing.
void BM_Fft(benchmark::State& state) {
  const GridCase g = gridCase(state);
  DeviceArray data(sizeof(double2) * std::size_t(g.evaluations()));
  gpu::FftPlans plan;
  WFN_CHECK(plan.prepare(g.Nsamples, g.Nbatch));
  StageInput input(g, data.complex(), &plan, 2);
  for (auto _ : state) {
    state.PauseTiming();
    input.restore();
    state.ResumeTiming();
    WFN_CHECK(plan.forward(g.Nsamples, g.Nbatch, data.complex()));
    sync();
  }
}

// Plan creation for the shape of one pass (a solver makes one per shape and keeps it).
void BM_FftPlan(benchmark::State& state) {
  const GridCase g = gridCase(state);
  for (auto _ : state) {
    gpu::FftPlans plan;
    WFN_CHECK(plan.prepare(g.Nsamples, g.Nbatch));
  }
}

void BM_Coefficients(benchmark::State& state) {
  const GridCase g = gridCase(state);
  DeviceArray data(sizeof(double2) * std::size_t(g.evaluations()));
  gpu::FftPlans plan;
  WFN_CHECK(plan.prepare(g.Nsamples, g.Nbatch));
  StageInput input(g, data.complex(), &plan, 3);
  for (auto _ : state) {
    state.PauseTiming();
    input.restore();
    state.ResumeTiming();
    coefficientStage(g, data.complex());
    sync();
  }
}

void BM_ErrorKernel(benchmark::State& state) {
  const GridCase g = gridCase(state);
  DeviceArray data(sizeof(double2) * std::size_t(g.evaluations()));
  DeviceArray errors(sizeof(double) * std::size_t(g.Nbatch));
  gpu::FftPlans plan;
  WFN_CHECK(plan.prepare(g.Nsamples, g.Nbatch));
  prepareRows(g, data.complex(), &plan, 4);
  for (auto _ : state) {
    errorStage(g, data.complex(), errors.real());
    sync();
  }
}

// The search's scan: the lowest estimate that is a number, over the estimates
// of one real grid pass (N = 64).
void BM_Scan(benchmark::State& state) {
  const int side = int(state.range(0));
  const int Nbatch = side * side;
  std::vector<double> errors(std::size_t(Nbatch), 0.0);
  stages_test::errorCore(UserTransform{}, kTime, side, side, 64, kSigmin, kSigmax, kBmax, errors.data());
  for (auto _ : state) {
    int best = orvane::bestGridPoint(errors.data(), Nbatch);
    benchmark::DoNotOptimize(best);
  }
}

// ---- Public entry points ---------------------------------------------------------------

// The floor: Nbatch * Nsamples bare evaluations of F(s) at the contour points of
// the pass, rows spread over all cores, nothing stored. Reports the time of one
// evaluation on one core (ns_per_eval_core = wall time * threads / evaluations).
void BM_Floor(benchmark::State& state) {
  const GridCase g = gridCase(state);
  const UserTransform f{};
  const int M = g.Nsamples / 2;
  std::vector<double> w(std::size_t(g.Nsamples)), sig(std::size_t(g.Nsigma)), bv(std::size_t(g.Nb));
  for (int k = 0; k < g.Nsamples; ++k) {
    const double theta = (double(k - M) + 0.5) * (orvane::detail::kPi / double(M));
    w[std::size_t(k)] = std::sin(theta) / (1.0 - std::cos(theta));
  }
  for (int i = 0; i < g.Nsigma; ++i)
    sig[std::size_t(i)] = kSigmin + (double(i) / g.Nsigma) * (kSigmax - kSigmin);
  for (int j = 0; j < g.Nb; ++j) bv[std::size_t(j)] = (double(j + 1) / g.Nb) * kBmax;
  const double* wp = w.data();
  const double* sp = sig.data();
  const double* bp = bv.data();
  const int Nb = g.Nb, Nsamples = g.Nsamples, Nbatch = g.Nbatch;

  double total = 0.0;
  long long iterations = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    double acc = 0.0;
#pragma omp parallel for schedule(static) reduction(+ : acc)
    for (int r = 0; r < Nbatch; ++r) {
      const double sigma = sp[r / Nb];
      const double b = bp[r % Nb];
      for (int k = 0; k < Nsamples; ++k) {
        wcomplex s;
        s.x = sigma;
        s.y = b * wp[k];
        const wcomplex Fs = f(s);
        acc += Fs.x + Fs.y;
      }
    }
    benchmark::DoNotOptimize(acc);
    total += secondsSince(start);
    ++iterations;
  }
  const double perIteration = total / double(iterations);
  floorSeconds()[{g.side, g.N}] = perIteration;
  state.counters["threads"] = hostThreads();
  state.counters["ns_per_eval_core"] = perIteration * hostThreads() * 1e9 / double(g.evaluations());
}

// One whole grid pass of the search: wfnErrorCore on the user transform
// (buffers kept in the workspace, sampling, shift, FFT, coefficients, error kernel, copy back).
// x_floor: its time over the floor of the same shape.
void BM_GridPass(benchmark::State& state) {
  const GridCase g = gridCase(state);
  std::vector<double> errors(std::size_t(g.Nbatch));
  double total = 0.0;
  long long iterations = 0;
  // One solver's workspace for every pass, as in a run.
  stages_test::Stage<UserTransform> stage(UserTransform{});
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    orvane::wfnErrorCore(stage.c, kTime, gridOf(g), g.N, errors.data());
    total += secondsSince(start);
    ++iterations;
    benchmark::DoNotOptimize(errors.data());
  }
  const auto floor = floorSeconds().find({g.side, g.N});
  if (floor != floorSeconds().end() && floor->second > 0.0)
    state.counters["x_floor"] = (total / double(iterations)) / floor->second;
}

// One inversion core call (sample, shift, FFT, coefficients, copy back, Clenshaw)
// with 2N samples; the per-block limit comes from device 0, as in the program.
void BM_WeeksCore(benchmark::State& state) {
  gpu::DeviceProp prop;
  if (gpu::getDeviceProperties(&prop, 0) != gpu::kSuccess) {
    state.SkipWithError("device 0 cannot be described");
    return;
  }
  const int N = int(state.range(0));
  if (prop.maxThreadsPerBlock < 2 * N) {
    state.SkipWithError("2N exceeds the per-block thread limit of device 0");
    return;
  }
  stages_test::Stage<UserTransform> stage(UserTransform{}, nullptr, prop.maxThreadsPerBlock);
  for (auto _ : state) {
    CoreResult r = orvane::wfnWeeksCore(stage.c, 1.0, N, 0.0, 1.0);
    benchmark::DoNotOptimize(r);
  }
}

// Talbot's method for a batch of times 0.1 ... 10 of the shipped transform (four
// node counts, the reduction and the prediction); counter: microseconds per value.
void BM_Talbot(benchmark::State& state) {
  const int count = int(state.range(0));
  std::vector<double> times(count), shifts(count, 0.0), requests(count, 1e-8);
  for (int i = 0; i < count; ++i) times[i] = 0.1 + 9.9 * i / std::max(count - 1, 1);
  stages_test::Stage<UserTransform> stage(UserTransform{}, nullptr, 1024);
  orvane::TalbotBuffers buffers;
  for (auto _ : state) {
    std::vector<orvane::TalbotRecord> r = orvane::wfnTalbot(stage.c, buffers, times, shifts, requests);
    benchmark::DoNotOptimize(r);
  }
  state.counters["us_per_value"] = benchmark::Counter(
      double(count) * 1e-6, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The same F(s) = s/(s^2 + 25) as a formula (arg 0, the formula's program)
// and compiled at run time from the equivalent statements (arg 1), on a search with sizes 64 and 128 at
// t = 0.5 and 1 (the objects come from the cache after the first run). The
// formula's time over the statements' is the ratio the expressions are held to.
void BM_RuntimeTransform(benchmark::State& state) {
  static const std::unique_ptr<orvane::Transform> transforms[2] = {
      orvane::compile("s/(s^2+25)"),
      orvane::jit::compileStatements("double2 d = cuCmul(s, s);\nd.x = d.x + 25.0;\nFs = cuCdiv(s, d);\n",
                                     "statements", {})};
  orvane::Solver solver;
  orvane::Options options;
  options.method = orvane::Method("weeks");
  options.sizes = {64, 128};
  options.rel_err = 1e-14;
  for (auto _ : state) {
    std::vector<orvane::Result> r = solver.invert(*transforms[state.range(0)], {0.5, 1.0}, options);
    benchmark::DoNotOptimize(r);
  }
}

// Formulas as the program of jit/formula_program.h (arg 1 = 0) and compiled
// (arg 1 = 1, ORVANE_JIT_FORMULA=compile; the object comes from the cache
// after the first run): F at 4096 points from one thread (per point, arg 0
// picks the formula), and a whole inversion of the shipped example's F and of
// 1/(s+1)^2 at t = 0.5 and 1 to 1e-6 (auto, N = 64).
const char* const kFormulas[] = {
    "(s+0.6)^(-9/11)", "1/(s+1)^2", "1/((s*s+1)*(s*s+1))", "1/(s+1)+20/((s+0.1)*(s+0.1)+400)",
    "exp(-sqrt(s))/s", "1/(sqrt(s*s+1)*(sqrt(s*s+1)+s))", "2*atanh(1/(2*s+1))", "1/(s*(1+exp(-s)))",
};

std::unique_ptr<orvane::Transform> formulaOf(int formula, bool compiled) {
  if (compiled) setenv("ORVANE_JIT_FORMULA", "compile", 1);
  std::unique_ptr<orvane::Transform> t = orvane::compile(kFormulas[formula]);
  unsetenv("ORVANE_JIT_FORMULA");
  return t;
}

void BM_FormulaPoints(benchmark::State& state) {
  const std::unique_ptr<orvane::Transform> f = formulaOf(int(state.range(0)), state.range(1) != 0);
  const long long n = 4096;
  std::vector<double2> points(n), values(n);
  for (long long k = 0; k < n; ++k) points[k] = make_double2(0.5 + 1e-3 * k, -20 + 40.0 * k / n);
  // One thread, as the host backend's rows call it (inside a parallel region).
  for (auto _ : state) {
#pragma omp parallel num_threads(1)
    f->evaluate(points.data(), n, values.data());
    benchmark::DoNotOptimize(values.data());
  }
  state.counters["ns_per_point"] = benchmark::Counter(
      double(n) * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_FormulaInversion(benchmark::State& state) {
  const std::unique_ptr<orvane::Transform> f = formulaOf(int(state.range(0)), state.range(1) != 0);
  orvane::Solver solver;
  orvane::Options options;
  options.sizes = {64};
  options.rel_err = 1e-6;
  for (auto _ : state) {
    std::vector<orvane::Result> r = solver.invert(*f, {0.5, 1.0}, options);
    benchmark::DoNotOptimize(r);
  }
}

// Wall time throughout: the host backend spreads the work over OpenMP threads.
BENCHMARK(BM_Sampling)->Apply(gridArguments)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Shift)->Apply(gridArguments)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FftPlan)->Apply(gridArguments)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fft)->Apply(gridArguments)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Coefficients)->Apply(gridArguments)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ErrorKernel)->Apply(gridArguments)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Scan)->ArgName("side")->Arg(30)->Arg(60)->Arg(120)->UseRealTime()->Unit(benchmark::kMicrosecond);
// The floor before the grid pass: the pass reads the floor's time of its shape.
BENCHMARK(BM_Floor)->Apply(gridArguments)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GridPass)->Apply(gridArguments)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WeeksCore)->Arg(64)->Arg(512)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Talbot)->Arg(1)->Arg(100)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RuntimeTransform)->ArgName("statements")->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FormulaPoints)->ArgNames({"formula", "compiled"})->ArgsProduct({{0, 1, 2, 3, 4, 5, 6, 7}, {0, 1}})
    ->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FormulaInversion)->ArgNames({"formula", "compiled"})->ArgsProduct({{0, 1}, {0, 1}})
    ->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
