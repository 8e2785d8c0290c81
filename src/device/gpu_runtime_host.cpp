// Host backend of the GPU runtime interface (gpu_runtime.h); its CUDA twin is
// gpu_runtime_cuda.cu. "Device" memory is heap memory under a byte budget, so
// an allocation can fail for real; events read a steady clock; the FFT is FFTW.
//
// The emulated device is described honestly and can be reshaped for tests
// through the environment:
//   ORVANE_HOST_DEVICE_COUNT        number of devices reported (default 1)
//   ORVANE_HOST_CAPABILITY          "major.minor" (default 0.0: not a GPU)
//   ORVANE_HOST_MAX_THREADS_PER_BLOCK  (default 1024, as on current NVIDIA GPUs)
//   ORVANE_HOST_MEMORY              device memory in bytes (default half of RAM)
//   ORVANE_HOST_FAIL_FFT            1: every FFT plan creation fails; 2: every execution
#include <fftw3.h>
#include <omp.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "device/gpu_runtime.h"

namespace orvane {
namespace gpu {
namespace {

long long envInteger(const char* name, long long fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  char* end = nullptr;
  long long value = std::strtoll(text, &end, 10);
  return (end != nullptr && *end == '\0') ? value : fallback;
}

std::size_t physicalMemory() {
  long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || pageSize <= 0) return std::size_t(1) << 32;
  return std::size_t(pages) * std::size_t(pageSize);
}

// Read on every call, so that tests can change the emulated device's size.
std::size_t memoryBudget() {
  long long bytes = envInteger("ORVANE_HOST_MEMORY", -1);
  return bytes >= 0 ? std::size_t(bytes) : physicalMemory() / 2;
}

std::atomic<std::size_t> bytesInUse{0};

std::string cpuModel() {
  std::ifstream info("/proc/cpuinfo");
  std::string line;
  while (std::getline(info, line)) {
    if (line.rfind("model name", 0) == 0) {
      std::size_t colon = line.find(':');
      if (colon != std::string::npos) {
        std::size_t start = line.find_first_not_of(' ', colon + 1);
        if (start != std::string::npos) return line.substr(start);
      }
    }
  }
  return "unknown CPU";
}

// Each block carries its size in a header so that free() can return it to the budget.
constexpr std::size_t kHeader = 64;

}  // namespace

const char* errorString(Status status) {
  switch (status) {
    case kSuccess: return "no error";
    case kErrorInvalidValue: return "invalid argument";
    case kErrorMemoryAllocation: return "out of memory";
    case kErrorInvalidConfiguration: return "invalid configuration argument";
    case kErrorNoDevice: return "no CUDA-capable device is detected";
    case kErrorFft: return "FFT plan or execution failed";
    default: return "unrecognized error code";
  }
}

Status getDeviceCount(int* count) {
  *count = (int)envInteger("ORVANE_HOST_DEVICE_COUNT", 1);
  return kSuccess;
}

Status getDeviceProperties(DeviceProp* prop, int device) {
  int count = 0;
  getDeviceCount(&count);
  if (device < 0 || device >= count) return kErrorInvalidValue;
  std::memset(prop, 0, sizeof *prop);
  std::snprintf(prop->name, sizeof prop->name, "Host emulation, no GPU used (%s, %d OpenMP threads)",
                cpuModel().c_str(), omp_get_max_threads());
  prop->totalGlobalMem = memoryBudget();
  prop->maxThreadsPerBlock = (int)envInteger("ORVANE_HOST_MAX_THREADS_PER_BLOCK", 1024);
  prop->maxThreadsDim[0] = 1024;
  prop->maxThreadsDim[1] = 1024;
  prop->maxThreadsDim[2] = 64;
  prop->maxGridSize[0] = 2147483647;
  prop->maxGridSize[1] = 65535;
  prop->maxGridSize[2] = 65535;
  prop->warpSize = 32;
  prop->major = 0;
  prop->minor = 0;
  if (const char* cap = std::getenv("ORVANE_HOST_CAPABILITY")) {
    int major = 0, minor = 0;
    if (std::sscanf(cap, "%d.%d", &major, &minor) == 2) {
      prop->major = major;
      prop->minor = minor;
    }
  }
  return kSuccess;
}

Status memGetInfo(std::size_t* freeBytes, std::size_t* totalBytes) {
  std::size_t total = memoryBudget(), used = bytesInUse.load();
  *totalBytes = total;
  *freeBytes = used < total ? total - used : 0;
  return kSuccess;
}

Status malloc(void** ptr, std::size_t bytes) {
  *ptr = nullptr;
  std::size_t used = bytesInUse.load();
  if (bytes > memoryBudget() - std::min(used, memoryBudget()) || bytes > SIZE_MAX - 2 * kHeader)
    return kErrorMemoryAllocation;
  std::size_t rounded = (bytes + kHeader + 63) / 64 * 64;
  void* block = std::aligned_alloc(64, rounded);
  if (block == nullptr) return kErrorMemoryAllocation;
  *static_cast<std::size_t*>(block) = bytes;
  bytesInUse += bytes;
  *ptr = static_cast<char*>(block) + kHeader;
  return kSuccess;
}

Status free(void* ptr) {
  if (ptr == nullptr) return kSuccess;
  void* block = static_cast<char*>(ptr) - kHeader;
  bytesInUse -= *static_cast<std::size_t*>(block);
  std::free(block);
  return kSuccess;
}

Status memcpyDeviceToHost(void* dst, const void* src, std::size_t bytes) {
  if (bytes > 0) std::memcpy(dst, src, bytes);
  return kSuccess;
}

Status memcpyHostToDevice(void* dst, const void* src, std::size_t bytes) {
  if (bytes > 0) std::memcpy(dst, src, bytes);
  return kSuccess;
}

Status deviceSynchronize() { return kSuccess; }

struct EventRec {
  std::chrono::steady_clock::time_point when{};
};

Status eventCreate(Event* event) {
  *event = new (std::nothrow) EventRec;
  return *event != nullptr ? kSuccess : kErrorMemoryAllocation;
}

Status eventRecord(Event event) {
  event->when = std::chrono::steady_clock::now();
  return kSuccess;
}

Status eventElapsedTime(float* ms, Event start, Event stop) {
  *ms = std::chrono::duration<float, std::milli>(stop->when - start->when).count();
  return kSuccess;
}

Status eventDestroy(Event event) {
  delete event;
  return kSuccess;
}

// FFTW plans one row; rows are transformed in parallel with the new-array
// execute, which FFTW documents as thread-safe. Rows whose SIMD alignment
// differs from the planning buffer's need a second, unaligned plan, made only
// when such a row first comes (rows of an even length in one allocation never
// do). Plans are made once per length and kept until the FftPlans object goes.
// FFTW's planner is not thread-safe, so plans of every FftPlans in the process
// are made and destroyed under one lock; executing needs none.
namespace {
struct RowPlans {
  fftw_plan aligned = nullptr;
  std::atomic<fftw_plan> unaligned{nullptr};
  int planAlignment = 0;
};
typedef std::map<int, std::unique_ptr<RowPlans>> PlanMap;

std::mutex& plannerLock() {
  static std::mutex lock;
  return lock;
}

// A plan for rows of n elements in place; null when FFTW cannot make one.
fftw_plan planRow(int n, unsigned flags, int* alignment) {
  std::lock_guard<std::mutex> guard(plannerLock());
  fftw_complex* buffer = fftw_alloc_complex(std::size_t(n));
  if (buffer == nullptr) return nullptr;
  fftw_plan plan = fftw_plan_dft_1d(n, buffer, buffer, FFTW_FORWARD, FFTW_ESTIMATE | flags);
  if (alignment != nullptr) *alignment = fftw_alignment_of(reinterpret_cast<double*>(buffer));
  fftw_free(buffer);
  return plan;
}

// The unaligned plan of these rows, made on first use by whichever thread needs it.
fftw_plan unalignedPlan(RowPlans& rows, int n) {
  fftw_plan plan = rows.unaligned.load();
  if (plan != nullptr) return plan;
  static std::mutex making;
  std::lock_guard<std::mutex> guard(making);
  plan = rows.unaligned.load();
  if (plan == nullptr) {
    plan = planRow(n, FFTW_UNALIGNED, nullptr);
    rows.unaligned.store(plan);
  }
  return plan;
}
}  // namespace

FftPlans::~FftPlans() {
  PlanMap* plans = static_cast<PlanMap*>(impl_);
  if (plans == nullptr) return;
  {
    std::lock_guard<std::mutex> guard(plannerLock());
    for (auto& entry : *plans) {
      fftw_destroy_plan(entry.second->aligned);
      if (entry.second->unaligned.load() != nullptr) fftw_destroy_plan(entry.second->unaligned.load());
    }
  }
  delete plans;
}

Status FftPlans::prepare(int n, int batch) {
  if (n < 1 || batch < 1 || envInteger("ORVANE_HOST_FAIL_FFT", 0) == 1) return kErrorFft;
  if (impl_ == nullptr) impl_ = new (std::nothrow) PlanMap;
  PlanMap* plans = static_cast<PlanMap*>(impl_);
  if (plans == nullptr) return kErrorFft;
  if (plans->count(n) != 0) return kSuccess;
  std::unique_ptr<RowPlans> made(new (std::nothrow) RowPlans);
  if (!made) return kErrorFft;
  made->aligned = planRow(n, 0, &made->planAlignment);
  if (made->aligned == nullptr) return kErrorFft;
  try {
    plans->emplace(n, std::move(made));
  } catch (const std::bad_alloc&) {
    std::lock_guard<std::mutex> guard(plannerLock());
    fftw_destroy_plan(made->aligned);
    return kErrorFft;
  }
  return kSuccess;
}

Status FftPlans::forward(int n, int batch, double2* data) {
  const PlanMap* plans = static_cast<const PlanMap*>(impl_);
  if (plans == nullptr || envInteger("ORVANE_HOST_FAIL_FFT", 0) == 2) return kErrorFft;
  auto found = plans->find(n);
  if (found == plans->end() || batch < 1) return kErrorFft;
  RowPlans& rows = *found->second;
  std::atomic<bool> failed{false};
#pragma omp parallel for schedule(static) if (batch > 1 && !omp_in_parallel())
  for (int r = 0; r < batch; ++r) {
    fftw_complex* row = reinterpret_cast<fftw_complex*>(data + std::size_t(r) * n);
    fftw_plan plan = rows.aligned;
    if (fftw_alignment_of(reinterpret_cast<double*>(row)) != rows.planAlignment) {
      plan = unalignedPlan(rows, n);
      if (plan == nullptr) {
        failed = true;
        continue;
      }
    }
    fftw_execute_dft(plan, row, row);
  }
  return failed ? kErrorFft : kSuccess;
}

}  // namespace gpu
}  // namespace orvane
