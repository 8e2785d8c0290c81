// Test support: the engine's internal names as the tests spell them, at
// global scope (the runtime layer as gpu::, the working types, the Weeks
// stages' records).
#pragma once

#include "device/gpu_runtime.h"
#include "methods/weeks/coefficient_kernels.h"
#include "methods/weeks/records.h"
#include "orvane/config.h"
#include "orvane/detail/launch.h"

namespace gpu {
using namespace ::orvane::gpu;
using ::orvane::detail::launch;
}  // namespace gpu

using orvane::CoreResult;
using orvane::detail::wfnsampleFS;
using orvane::wfncufftshift;
using orvane::wfnLagCoeffs;
using orvane::ErrorPrediction;
using orvane::SigmaB;
using orvane::wcomplex;
using orvane::wreal;
