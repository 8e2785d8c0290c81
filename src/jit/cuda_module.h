// The CUDA backend's side of run-time transforms: PTX loaded as a module.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "orvane/transform.h"

namespace orvane {
namespace jit {

// Values a run-time transform's parameter block holds.
constexpr int kMaxParams = 64;

#if defined(ORVANE_BACKEND_CUDA)
// The transform of a PTX module with the kernel orvane_jit_sample.
std::unique_ptr<Transform> loadPtx(const std::string& ptx, const std::vector<double>& params);
// Compute capability of device 0.
bool deviceCapability(int* major, int* minor);
#endif

}  // namespace jit
}  // namespace orvane
