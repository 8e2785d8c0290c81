// Location report for failed GPU runtime calls.
#include "device/check_cuda.h"

std::string wfnCheckCudaMessage(gpu::Status status, const char* file, int line) {
  return std::string("Error located: ") + gpu::errorString(status) + " in " + file + " at line " +
         std::to_string(line);
}

orvane::ErrorKind statusKind(gpu::Status status) {
  if (status == gpu::kErrorMemoryAllocation) return orvane::ErrorKind::kAllocation;
  if (status == gpu::kErrorFft) return orvane::ErrorKind::kFft;
  return orvane::ErrorKind::kDeviceCall;
}

void wfnCheckCuda(gpu::Status status, const char* file, int line) {
  if (status == gpu::kSuccess) return;
  throw orvane::Error(statusKind(status), wfnCheckCudaMessage(status, file, line));
}
