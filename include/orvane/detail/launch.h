// Kernel launch over a grid of nx * ny elements: element (x, y) runs f(x, y).
// Kernel bodies are written once as per-element ORVANE_HD functions; under nvcc
// this launches a CUDA kernel on the default stream (full blocks of 256 threads,
// a grid-stride loop, so any size the device can hold is covered); in the host
// build it is an OpenMP loop across rows.
#pragma once

#if defined(__CUDACC__)
#include <cuda_runtime.h>
#else
#include <omp.h>
#endif

#include "orvane/config.h"

namespace orvane {
namespace detail {

// The statuses a launch returns (the CUDA runtime's own codes on that backend).
constexpr int kLaunchSuccess = 0;
constexpr int kLaunchInvalidValue = 1;
// The elements from which the host backend shares a launch among threads.
constexpr long long kShareElements = 4096;

#if defined(__CUDACC__)

template <class F>
__global__ void elementKernel(long long total, int nx, F f) {
  long long stride = (long long)blockDim.x * gridDim.x;
  for (long long e = (long long)blockIdx.x * blockDim.x + threadIdx.x; e < total; e += stride) {
    int y = (int)(e / nx);
    int x = (int)(e - (long long)y * nx);
    f(x, y);
  }
}

template <class F>
int launch(int nx, int ny, F f, long long /*shareFrom: the host backend's*/ = kShareElements) {
  if (nx <= 0 || ny <= 0) return kLaunchSuccess;
  const int block = 256;
  long long total = (long long)nx * ny;
  long long blocks = (total + block - 1) / block;
  if (blocks > 1048576) blocks = 1048576;  // the grid-stride loop covers the rest
  elementKernel<<<(unsigned)blocks, block>>>(total, nx, f);
  return (int)cudaGetLastError();
}

#else

// Inside a parallel region (rows taken one per thread) a launch runs on the
// calling thread alone. Elsewhere its elements are shared among threads from
// `shareFrom` elements on (kShareElements: below that, waking the threads
// costs more than the work, and far more on a busy machine); a launch whose
// elements are heavy (a row of work each) passes a smaller count. Every
// element is computed alike whatever the thread count, so the results are too.
template <class F>
int launch(int nx, int ny, F f, long long shareFrom = kShareElements) {
  if (nx <= 0 || ny <= 0) return kLaunchSuccess;
  const bool share = (long long)nx * ny >= shareFrom && !omp_in_parallel();
  if (ny == 1) {
#pragma omp parallel for schedule(static) if (share)
    for (int x = 0; x < nx; ++x) f(x, 0);
    return kLaunchSuccess;
  }
#pragma omp parallel for schedule(static) if (share)
  for (int y = 0; y < ny; ++y)
    for (int x = 0; x < nx; ++x) f(x, y);
  return kLaunchSuccess;
}

#endif

}  // namespace detail
}  // namespace orvane
