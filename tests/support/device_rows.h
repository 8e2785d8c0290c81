// A device array of double2 for tests, filled by a per-element generator on the
// device and read back to the host. Works on both backends: nothing is copied
// to the device, so the runtime interface needs no host-to-device copy.
#pragma once

#include <cstddef>
#include <vector>

#include "device/check_cuda.h"
#include "orvane/detail/launch.h"
#include "device/gpu_runtime.h"
#include "support/engine_names.h"

class DeviceRows {
 public:
  explicit DeviceRows(long long count) : count_(count) {
    WFN_CHECK(gpu::malloc(reinterpret_cast<void**>(&data_), sizeof(double2) * std::size_t(count)));
  }
  ~DeviceRows() { gpu::free(data_); }
  DeviceRows(const DeviceRows&) = delete;
  DeviceRows& operator=(const DeviceRows&) = delete;

  double2* data() const { return data_; }
  std::vector<double2> host() const {
    std::vector<double2> out(static_cast<std::size_t>(count_));
    WFN_CHECK(gpu::memcpyDeviceToHost(out.data(), data_, sizeof(double2) * std::size_t(count_)));
    return out;
  }

 private:
  long long count_;
  double2* data_ = nullptr;
};

// A value that names its row and position, so a moved element can be traced.
ORVANE_HD inline double2 tagOf(int row, int k) {
  double2 v;
  v.x = 1000.0 * row + k;
  v.y = -0.5 - k;
  return v;
}
