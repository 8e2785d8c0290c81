// Location report for failed GPU runtime calls.
#include "device/check_cuda.h"

#include <cstdlib>
#include <iostream>

std::string wfnCheckCudaMessage(gpu::Status status, const char* file, int line) {
  return std::string("Error located: ") + gpu::errorString(status) + " in " + file + " at line " +
         std::to_string(line);
}

void wfnCheckCuda(gpu::Status status, const char* file, int line) {
  if (status == gpu::kSuccess) return;
  std::cout << wfnCheckCudaMessage(status, file, line) << std::endl;
  std::exit(1);
}
