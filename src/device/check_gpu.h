// The device check's text, written to any stream so that it can be checked
// byte for byte; WeeksMethod::wfnCheckGPU queries the runtime, writes it to the
// console and copies the limits of device 0 into the solver object.
#pragma once

#include <ostream>

#include "device/gpu_runtime.h"

// The description of device 0: seven lines from "Information for the CUDA
// device = <count>" to "Computer Capability: <major>.<minor>", then two empty lines.
void writeDeviceDescription(int count, const gpu::DeviceProp& prop, std::ostream& out);

// Capabilities 1.0, 1.1 and 1.2 lack double precision and are refused.
bool capabilityAccepted(int major, int minor);

// The whole check: the count line and, when there is a device, its description
// on `out`; the runtime's reason for a failed query and the refusal lines on
// `err`. `prop` is read only when the count query succeeded with a count of at
// least 1. Returns true when device 0 is acceptable.
bool writeDeviceCheck(gpu::Status countStatus, int count, gpu::Status propStatus,
                      const gpu::DeviceProp& prop, std::ostream& out, std::ostream& err);
