// The device resources of one solver: buffers kept from one stage call to the
// next, the FFT plans of every shape used, and the two timing events. Made
// empty, filled on first use, released when the workspace goes.
#pragma once

#include <memory>

#include "device/gpu_runtime.h"

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

  DeviceBuffer coreRow;      // the inversion core's row of 2N samples
  DeviceBuffer gridData;     // a chunk of coefficient rows of the error grid
  DeviceBuffer gridValues;   // a chunk of error estimates
  DeviceBuffer estimateRow;  // the error prediction's row of 4N samples
  DeviceBuffer threadRows;   // host backend: one row per thread
  DeviceBuffer talbotNodes;  // Talbot's nodes of a batch of times, then F there
  DeviceBuffer talbotTimes;  // their times and contour shifts
  DeviceBuffer talbotSums;   // the sums of every node count
  FftPlans plans;

  // Host state that a stage keeps from one call to the next (the host
  // backend's contour and phase tables), owned here so that it goes with the
  // workspace.
  struct Kept {
    virtual ~Kept() = default;
  };
  std::unique_ptr<Kept> rowTables;

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
