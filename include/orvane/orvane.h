// Orvane: numerical inversion of Laplace transforms by the Weeks method.
//
//   struct Exp {  // F(s) = 1/(s + 1)
//     ORVANE_HD wcomplex operator()(wcomplex s) const { ... }
//   };
//   orvane::Parameters p;           // defaults: search, N = 64
//   p.Time = {0.5, 1.0};
//   p.RelErr = {1e-10, 1e-10};
//   orvane::Solver solver;
//   for (const WeeksResult& r : solver.run(p, Exp{})) ...
#pragma once

#include "orvane/error.h"
#include "orvane/method.h"
#include "orvane/parameters.h"
#include "orvane/result.h"
#include "orvane/solver.h"
#include "orvane/transform.h"
#include "orvane/version.h"
