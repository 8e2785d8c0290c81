// The solver's entry for the console programs: a call whose diagnostic lines
// show the parameter file's (sigma, b) of each time even where it searches.
#pragma once

#include <vector>

#include "orvane/solver.h"

namespace orvane {

struct SolverAccess {
  static std::vector<Result> invert(Solver& solver, const Transform& F, const std::vector<double>& t,
                                    const Options& options, const std::vector<Pair>* shownPairs);
};

}  // namespace orvane
