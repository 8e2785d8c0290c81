// CUDA backend of the GPU runtime interface (gpu_runtime.h); mirrors
// gpu_runtime_host.cpp. Runtime statuses pass through unchanged; cuFFT statuses
// become kErrorFft. All work goes to the default stream of device 0.
#include <cuda_runtime.h>
#include <cufft.h>

#include <cstring>
#include <map>
#include <utility>

#include "device/gpu_runtime.h"

namespace orvane {
namespace gpu {

const char* errorString(Status status) {
  if (status == kErrorFft) return "cuFFT plan or execution failed";
  return cudaGetErrorString((cudaError_t)status);
}

Status getDeviceCount(int* count) { return (Status)cudaGetDeviceCount(count); }

Status getDeviceProperties(DeviceProp* prop, int device) {
  cudaDeviceProp p;
  std::memset(&p, 0, sizeof p);
  Status status = (Status)cudaGetDeviceProperties(&p, device);
  std::memset(prop, 0, sizeof *prop);
  std::strncpy(prop->name, p.name, sizeof prop->name - 1);
  prop->totalGlobalMem = p.totalGlobalMem;
  prop->maxThreadsPerBlock = p.maxThreadsPerBlock;
  for (int d = 0; d < 3; ++d) {
    prop->maxThreadsDim[d] = p.maxThreadsDim[d];
    prop->maxGridSize[d] = p.maxGridSize[d];
  }
  prop->warpSize = p.warpSize;
  prop->major = p.major;
  prop->minor = p.minor;
  return status;
}

Status memGetInfo(std::size_t* freeBytes, std::size_t* totalBytes) {
  return (Status)cudaMemGetInfo(freeBytes, totalBytes);
}

Status malloc(void** ptr, std::size_t bytes) { return (Status)cudaMalloc(ptr, bytes); }
Status free(void* ptr) { return (Status)cudaFree(ptr); }

Status memcpyDeviceToHost(void* dst, const void* src, std::size_t bytes) {
  return (Status)cudaMemcpy(dst, src, bytes, cudaMemcpyDeviceToHost);
}

Status memcpyHostToDevice(void* dst, const void* src, std::size_t bytes) {
  return (Status)cudaMemcpy(dst, src, bytes, cudaMemcpyHostToDevice);
}

Status deviceSynchronize() { return (Status)cudaDeviceSynchronize(); }

struct EventRec {
  cudaEvent_t event;
};

Status eventCreate(Event* event) {
  *event = new EventRec;
  return (Status)cudaEventCreate(&(*event)->event);
}
Status eventRecord(Event event) { return (Status)cudaEventRecord(event->event, 0); }
Status eventElapsedTime(float* ms, Event start, Event stop) {
  return (Status)cudaEventElapsedTime(ms, start->event, stop->event);
}
Status eventDestroy(Event event) {
  Status status = (Status)cudaEventDestroy(event->event);
  delete event;
  return status;
}

// cuFFT plans are costly to make, so one plan per (length, batch) is kept
// until the FftPlans object goes.
namespace {
typedef std::map<std::pair<int, int>, cufftHandle> PlanMap;
}

FftPlans::~FftPlans() {
  PlanMap* plans = static_cast<PlanMap*>(impl_);
  if (plans == nullptr) return;
  for (auto& entry : *plans) cufftDestroy(entry.second);
  delete plans;
}

Status FftPlans::prepare(int n, int batch) {
  if (n < 1 || batch < 1) return kErrorFft;
  if (impl_ == nullptr) impl_ = new PlanMap;
  PlanMap& plans = *static_cast<PlanMap*>(impl_);
  const auto key = std::make_pair(n, batch);
  if (plans.count(key) != 0) return kSuccess;
  cufftHandle handle;
  if (cufftPlan1d(&handle, n, CUFFT_Z2Z, batch) != CUFFT_SUCCESS) return kErrorFft;
  plans.emplace(key, handle);
  return kSuccess;
}

Status FftPlans::forward(int n, int batch, double2* data) {
  PlanMap* plans = static_cast<PlanMap*>(impl_);
  if (plans == nullptr) return kErrorFft;
  auto found = plans->find(std::make_pair(n, batch));
  if (found == plans->end()) return kErrorFft;
  cufftDoubleComplex* d = reinterpret_cast<cufftDoubleComplex*>(data);
  return cufftExecZ2Z(found->second, d, d, CUFFT_FORWARD) == CUFFT_SUCCESS ? kSuccess : kErrorFft;
}

}  // namespace gpu
}  // namespace orvane
