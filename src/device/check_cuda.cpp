// Location report for failed GPU runtime calls.
#include "device/check_cuda.h"

namespace orvane {

std::string wfnCheckCudaMessage(gpu::Status status, const char* file, int line) {
  return std::string("Error located: ") + gpu::errorString(status) + " in " + file + " at line " +
         std::to_string(line);
}

ErrorKind statusKind(gpu::Status status) {
  if (status == gpu::kErrorMemoryAllocation) return ErrorKind::kAllocation;
  if (status == gpu::kErrorFft) return ErrorKind::kFft;
  return ErrorKind::kDeviceCall;
}

void wfnCheckCuda(gpu::Status status, const char* file, int line) {
  if (status == gpu::kSuccess) return;
  throw Error(statusKind(status), wfnCheckCudaMessage(status, file, line));
}

}  // namespace orvane
