// Time of one inversion core call (sample, shift, FFT, coefficients, copy back,
// Clenshaw) on the compiled-in user transform, for N = 64 and N = 512 Laguerre
// terms. The per-block limit comes from device 0, as in the program.
#include <benchmark/benchmark.h>

#include "coeffs/user_transform.h"
#include "device/gpu_runtime.h"
#include "series/weeks_core.cuh"

namespace {

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
  for (auto _ : state) {
    CoreResult r = orvane::weeksCore(UserTransform{}, prop.maxThreadsPerBlock, 1.0, N, 0.0, 1.0);
    benchmark::DoNotOptimize(r);
  }
}

BENCHMARK(BM_WeeksCore)->Arg(64)->Arg(512)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
