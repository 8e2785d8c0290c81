// Device check: counts the devices and describes device 0, which is accepted
// when it has double precision (compute capability 1.3 or more). No device is
// ever selected: all GPU work runs on the default device 0.
#pragma once

#include "device/gpu_runtime.h"
#include "orvane/device.h"

namespace orvane {

// Capabilities 1.0, 1.1 and 1.2 lack double precision and are refused.
bool capabilityAccepted(int major, int minor);

// The check from the runtime's answers; `prop` is read only when the count
// query succeeded with a count of at least 1 and device 0 was described.
DeviceCheck deviceCheckFrom(gpu::Status countStatus, int count, gpu::Status propStatus,
                            const gpu::DeviceProp& prop);

}  // namespace orvane
