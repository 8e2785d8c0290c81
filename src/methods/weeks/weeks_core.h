// Inversion core: f(t) for one time, one expansion size N and one (sigma, b).
// Runs the coefficient pipeline on a batch of one pair with 2N samples, brings
// the row to the host and sums its first N coefficients by Clenshaw's recurrence.
// The host row can be handed back to the caller.
#pragma once

#include "methods/weeks/pipeline.h"
#include "methods/weeks/records.h"

namespace orvane {

// Throws Error(kSizeRefused) when 2N exceeds the device's threads per block
// or N is below 1. With `row`, the coefficient row that was summed is left
// there (for the error prediction, which compares it with a 4N-point row).
CoreResult wfnWeeksCore(WeeksContext& c, double t, int N, double sigma, double b,
                        CoefficientRow* row = nullptr);

}  // namespace orvane
