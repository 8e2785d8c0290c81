// The Weeks method as the solver's registry sees it: the Laguerre series with
// (sigma, b) from a search over a grid (or the caller's pairs), tried over the
// expansion sizes and resolutions in order until the request is met.
#pragma once

#include <memory>

#include "methods/method.h"

namespace orvane {

std::unique_ptr<InversionMethod> makeWeeksMethod(const SolverSettings& settings);

}  // namespace orvane
