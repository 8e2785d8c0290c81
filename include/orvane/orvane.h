// Orvane: numerical inversion of Laplace transforms.
//
//   orvane::Options opt;            // method auto, sizes {64}, search over
//   opt.rel_err = 1e-10;            // sigma [0, 30), b (0, 30]
//   std::unique_ptr<orvane::Transform> F = orvane::compile("1/(s+a)", {{"a", 1.0}});
//   orvane::Solver solver;
//   for (const orvane::Result& r : solver.invert(*F, {0.5, 1.0, 2.0}, opt))
//     ...  // r.t, r.f, r.abs_err, r.rel_err, r.flag (0: met), r.N, methodName(r.method)
#pragma once

#include "orvane/device.h"
#include "orvane/error.h"
#include "orvane/method.h"
#include "orvane/options.h"
#include "orvane/parameter_file.h"
#include "orvane/result.h"
#include "orvane/solver.h"
#include "orvane/transform.h"
#include "orvane/version.h"
