// The device resources every method of one solver shares: the FFT plans of
// every shape used and the two timing events. Made empty, filled on first use,
// released when the workspace goes. Each method keeps its own buffers.
#pragma once

#include "device/gpu_runtime.h"

namespace orvane {
namespace gpu {

class Workspace {
 public:
  Workspace() = default;
  ~Workspace() {
    if (start_ != nullptr) eventDestroy(start_);
    if (stop_ != nullptr) eventDestroy(stop_);
  }
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  FftPlans plans;

  // The timing events, made on first use.
  Status events(Event* start, Event* stop) {
    if (start_ == nullptr) {
      Status status = eventCreate(&start_);
      if (status != kSuccess) {
        start_ = nullptr;
        return status;
      }
    }
    if (stop_ == nullptr) {
      Status status = eventCreate(&stop_);
      if (status != kSuccess) {
        stop_ = nullptr;
        return status;
      }
    }
    *start = start_;
    *stop = stop_;
    return kSuccess;
  }

 private:
  Event start_ = nullptr;
  Event stop_ = nullptr;
};

}  // namespace gpu
}  // namespace orvane
