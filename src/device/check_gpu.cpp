// Device check: asks the runtime for the device count and the properties of
// device 0 and says whether the device can run the engine.
#include "device/check_gpu.h"

#include <cstring>

#include "orvane/error.h"

namespace orvane {

bool capabilityAccepted(int major, int minor) { return !(major == 1 && minor < 3); }

DeviceCheck deviceCheckFrom(gpu::Status countStatus, int count, gpu::Status propStatus,
                            const gpu::DeviceProp& prop) {
  DeviceCheck check;
  // A runtime that cannot count (no driver, say) has no usable device.
  if (countStatus != gpu::kSuccess) {
    check.countFailure = gpu::errorString(countStatus);
    return check;
  }
  check.count = count;
  if (count < 1) return check;
  if (propStatus != gpu::kSuccess) {
    check.describeFailure = gpu::errorString(propStatus);
    return check;
  }
  DeviceInfo& d = check.device;
  d.name = prop.name;
  d.maxThreadsPerBlock = prop.maxThreadsPerBlock;
  for (int k = 0; k < 3; ++k) {
    d.maxThreadsDim[k] = prop.maxThreadsDim[k];
    d.maxGridSize[k] = prop.maxGridSize[k];
  }
  d.warpSize = prop.warpSize;
  d.major = prop.major;
  d.minor = prop.minor;
  check.accepted = capabilityAccepted(prop.major, prop.minor);
  return check;
}

DeviceCheck checkDevice() {
  int count = 0;
  const gpu::Status countStatus = gpu::getDeviceCount(&count);
  gpu::DeviceProp prop;
  std::memset(&prop, 0, sizeof prop);
  gpu::Status propStatus = gpu::kSuccess;
  if (countStatus == gpu::kSuccess && count > 0) propStatus = gpu::getDeviceProperties(&prop, 0);
  return deviceCheckFrom(countStatus, count, propStatus, prop);
}

void requireDevice(const DeviceCheck& check) {
  if (!check.accepted)
    throw Error(ErrorKind::kNoDevice, "An acceptable graphics processor was not found.");
}

}  // namespace orvane
