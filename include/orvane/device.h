// The device the engine runs on: device 0 as the GPU runtime describes it
// (the host backend describes itself the same way), and whether it is usable.
#pragma once

#include <string>

namespace orvane {

struct DeviceInfo {
  std::string name;
  int maxThreadsPerBlock = 0;
  int maxThreadsDim[3] = {0, 0, 0};
  int maxGridSize[3] = {0, 0, 0};
  int warpSize = 0;
  int major = 0;
  int minor = 0;
};

// The device check: what the runtime said and whether device 0 is usable.
struct DeviceCheck {
  int count = 0;               // devices counted (0 when the count failed)
  std::string countFailure;    // the runtime's reason when it could not count
  std::string describeFailure; // the runtime's reason when it could not describe device 0
  DeviceInfo device;           // device 0, when counted and described
  bool accepted = false;       // device 0 exists and has double precision (capability 1.3 or more)
};

DeviceCheck checkDevice();

// Returns when the check accepted device 0; throws Error(kNoDevice) otherwise.
void requireDevice(const DeviceCheck& check);

}  // namespace orvane
