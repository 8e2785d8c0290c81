// What every stage of every method works in: the solver's shared device
// resources (FFT plans, timing events), the transform, the diagnostic sink and
// the device's limits; and the stage timer of the diagnostic lines.
#pragma once

#include <iosfwd>

#include "device/workspace.h"
#include "orvane/transform.h"

namespace orvane {

struct StageContext {
  gpu::Workspace& ws;
  const Transform& transform;
  std::ostream* diag;      // the diagnostic timing and echo lines go here; none when null
  int maxThreadsPerBlock;  // of device 0, as the device check found it
};

// Stage timing for the diagnostic lines: with a sink, records the workspace's
// events around a stage and writes " <label> <ms>" after it; without one,
// does nothing.
class StageTimer {
 public:
  explicit StageTimer(StageContext& c);
  void start();
  // Waits for the device and returns the milliseconds since start() (0 without a sink).
  float stop();
  void stopAndPrint(const char* label);
  float total() const { return total_; }

 private:
  std::ostream* out_;
  gpu::Event start_ = nullptr;
  gpu::Event stop_ = nullptr;
  float total_ = 0.0f;
};

}  // namespace orvane
