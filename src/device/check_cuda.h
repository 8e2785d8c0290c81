// Checking of GPU runtime statuses: a failed call is reported on standard
// output as one line naming the reason, the source file and the line, and the
// program ends with exit code 1 (no wait for Enter).
#pragma once

#include <string>

#include "device/gpu_runtime.h"

// "Error located: <reason> in <file> at line <line>"
std::string wfnCheckCudaMessage(gpu::Status status, const char* file, int line);

// Returns only when status is success.
void wfnCheckCuda(gpu::Status status, const char* file, int line);

#define WFN_CHECK(call) wfnCheckCuda((call), __FILE__, __LINE__)
