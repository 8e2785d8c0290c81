// The one interface through which the program reaches the GPU. Two backends
// implement it: gpu_runtime_cuda.cu (the CUDA runtime and cuFFT) and
// gpu_runtime_host.cpp (heap memory, a steady clock and FFTW), chosen at
// configure time. Every operation returns a Status; 0 is success.
#pragma once

#include <cstddef>

#include "orvane/complex.h"

namespace orvane {
namespace gpu {

// Status codes. The CUDA backend passes cudaError_t values through unchanged
// (cudaSuccess is 0, cudaErrorMemoryAllocation is 2); FFT failures, which cuFFT
// reports in its own code space, are mapped to kErrorFft.
typedef int Status;
constexpr Status kSuccess = 0;
constexpr Status kErrorInvalidValue = 1;
constexpr Status kErrorMemoryAllocation = 2;
constexpr Status kErrorInvalidConfiguration = 9;
constexpr Status kErrorNoDevice = 100;
constexpr Status kErrorFft = 1000;

// The text for a status (cudaGetErrorString on the CUDA backend).
const char* errorString(Status status);

// The device limits the program reads, as the CUDA runtime reports them.
struct DeviceProp {
  char name[256];
  std::size_t totalGlobalMem;
  int maxThreadsPerBlock;
  int maxThreadsDim[3];
  int maxGridSize[3];
  int warpSize;
  int major;
  int minor;
};

Status getDeviceCount(int* count);
Status getDeviceProperties(DeviceProp* prop, int device);
// Free and total memory of the current device, in bytes.
Status memGetInfo(std::size_t* freeBytes, std::size_t* totalBytes);

Status malloc(void** ptr, std::size_t bytes);
Status free(void* ptr);
// Blocking copy; waits for all earlier work on the default stream.
Status memcpyDeviceToHost(void* dst, const void* src, std::size_t bytes);
Status memcpyHostToDevice(void* dst, const void* src, std::size_t bytes);
// Returns when all device work has finished.
Status deviceSynchronize();

// Timing events on the default stream; elapsed times in milliseconds.
struct EventRec;
typedef EventRec* Event;
Status eventCreate(Event* event);
Status eventRecord(Event event);
Status eventElapsedTime(float* ms, Event start, Event stop);
Status eventDestroy(Event event);

// Batched one-dimensional double-complex FFT, forward, in place, unnormalised:
// for each of `batch` consecutive rows of `n` elements,
//   X_k = sum_m x_m exp(-2 pi i k m / n),  k = 0 .. n-1.
// The plans of every shape used are made once and kept by this object, which
// destroys them with itself; it cannot be copied. One FftPlans serves one
// thread that makes plans, but a plan once made may execute on many rows from
// many threads at once (the host backend's rows run in parallel).
class FftPlans {
 public:
  FftPlans() = default;
  ~FftPlans();
  FftPlans(const FftPlans&) = delete;
  FftPlans& operator=(const FftPlans&) = delete;

  // Makes (or finds) the plan of this shape; call before forward().
  Status prepare(int n, int batch);
  // Transforms `batch` rows of `n` elements at `data` with a prepared plan.
  Status forward(int n, int batch, double2* data);

 private:
  void* impl_ = nullptr;
};

// True on the host backend, whose device memory is host memory: a stage may
// then take rows through its whole pipeline one at a time on the host.
#if defined(ORVANE_BACKEND_CUDA)
constexpr bool kHostBackend = false;
#else
constexpr bool kHostBackend = true;
#endif

// Device memory kept from one call of a stage to the next: a call that needs
// no more than the buffer holds reuses it; a larger one releases it and
// allocates anew. The status of that allocation is the caller's to check, at
// the call site, like any device allocation.
class DeviceBuffer {
 public:
  DeviceBuffer() = default;
  ~DeviceBuffer() { release(); }
  DeviceBuffer(const DeviceBuffer&) = delete;
  DeviceBuffer& operator=(const DeviceBuffer&) = delete;

  Status reserve(std::size_t bytes) {
    if (bytes <= bytes_ && ptr_ != nullptr) return kSuccess;
    release();
    Status status = gpu::malloc(&ptr_, bytes);
    if (status == kSuccess) bytes_ = bytes;
    return status;
  }
  template <class T>
  T* as() const { return static_cast<T*>(ptr_); }
  std::size_t bytes() const { return bytes_; }
  void release() {
    if (ptr_ != nullptr) gpu::free(ptr_);
    ptr_ = nullptr;
    bytes_ = 0;
  }

 private:
  void* ptr_ = nullptr;
  std::size_t bytes_ = 0;
};

}  // namespace gpu
}  // namespace orvane
