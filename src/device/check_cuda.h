// Checking of GPU runtime statuses: a failed call becomes an orvane::Error
// whose message names the reason, the source file and the line,
//   "Error located: <reason> in <file> at line <line>",
// and whose kind says what failed (allocation, FFT, any other call).
#pragma once

#include <string>

#include "device/gpu_runtime.h"
#include "orvane/error.h"

namespace orvane {

// "Error located: <reason> in <file> at line <line>"
std::string wfnCheckCudaMessage(gpu::Status status, const char* file, int line);

// The kind of error a failed status is.
ErrorKind statusKind(gpu::Status status);

// Returns only when status is success; throws orvane::Error otherwise.
void wfnCheckCuda(gpu::Status status, const char* file, int line);

}  // namespace orvane

#define WFN_CHECK(call) ::orvane::wfnCheckCuda((call), __FILE__, __LINE__)
