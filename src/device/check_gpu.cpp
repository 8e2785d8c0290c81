// Device check: counts the devices, describes device 0, refuses a run without
// an acceptable device and copies the limits of device 0 into the solver object.
// No device is ever selected: all GPU work runs on the default device 0.
#include "device/check_gpu.h"

#include <cstdlib>
#include <cstring>
#include <iostream>

#include "driver/weeks_method.h"

void writeDeviceDescription(int count, const gpu::DeviceProp& prop, std::ostream& out) {
  // The first line repeats the device count, not the index of the device described.
  out << "Information for the CUDA device = " << count << std::endl;
  out << "Name: " << prop.name << std::endl;
  out << "Maximum number of threads per block: " << prop.maxThreadsPerBlock << std::endl;
  out << "Maximum threads dimensions: [ " << prop.maxThreadsDim[0] << ", " << prop.maxThreadsDim[1]
      << ", " << prop.maxThreadsDim[2] << "]" << std::endl;
  out << "Maximum grid size: [ " << prop.maxGridSize[0] << ", " << prop.maxGridSize[1] << ", "
      << prop.maxGridSize[2] << "]" << std::endl;
  out << "Warp size: " << prop.warpSize << std::endl;
  out << "Computer Capability: " << prop.major << "." << prop.minor << std::endl;
  out << std::endl;
  out << std::endl;
}

bool capabilityAccepted(int major, int minor) { return !(major == 1 && minor < 3); }

bool writeDeviceCheck(gpu::Status countStatus, int count, gpu::Status propStatus,
                      const gpu::DeviceProp& prop, std::ostream& out, std::ostream& err) {
  // A runtime that cannot count (no driver, say) has no usable device.
  if (countStatus != gpu::kSuccess) count = 0;
  out << "Number of CUDA enabled devices = " << count << std::endl;
  bool accepted = false;
  if (countStatus != gpu::kSuccess) {
    err << "The CUDA runtime could not count the devices: " << gpu::errorString(countStatus)
        << std::endl;
  } else if (count > 0 && propStatus != gpu::kSuccess) {
    err << "The CUDA runtime could not describe device 0: " << gpu::errorString(propStatus)
        << std::endl;
  } else if (count > 0) {
    writeDeviceDescription(count, prop, out);
    accepted = capabilityAccepted(prop.major, prop.minor);
  }
  if (!accepted) {
    err << "An acceptable graphics processor was not found." << std::endl;
    err << "Press <ENTER> to exit the program." << std::endl;
  }
  return accepted;
}

void WeeksMethod::wfnCheckGPU() {
  int count = 0;
  gpu::Status countStatus = gpu::getDeviceCount(&count);
  gpu::DeviceProp prop;
  std::memset(&prop, 0, sizeof prop);
  gpu::Status propStatus = gpu::kSuccess;
  if (countStatus == gpu::kSuccess && count > 0) propStatus = gpu::getDeviceProperties(&prop, 0);

  if (!writeDeviceCheck(countStatus, count, propStatus, prop, std::cout, std::cerr)) {
    std::cin.get();
    std::exit(1);
  }

  warpSize = prop.warpSize;
  maxThreadsPerBlock = prop.maxThreadsPerBlock;
  for (int d = 0; d < 3; ++d) {
    maxThreadsDim[d] = prop.maxThreadsDim[d];
    maxGridSize[d] = prop.maxGridSize[d];
  }
  major = prop.major;
  minor = prop.minor;
}
