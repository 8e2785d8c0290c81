// The console programs' run of a parameter file's fields.
#include "driver/console_records.h"

#include "solver/solver_access.h"

orvane::Inputs consoleInputs(const orvane::Parameters& p, const orvane::Options& request) {
  orvane::Inputs in = orvane::detail::inputsOf(p);
  in.options.method = request.method;
  in.options.progress = request.progress;
  in.options.strict = request.strict;
  in.options.max_grid_points = request.max_grid_points;
  in.options.larger_sizes = request.larger_sizes;
  return in;
}

std::vector<orvane::Result> runParameters(orvane::Solver& solver, const orvane::Parameters& p,
                                          const orvane::Transform& F, const orvane::Options& request) {
  const orvane::Inputs in = consoleInputs(p, request);
  // With a search the file's (sigma, b) still show in the diagnostic lines.
  std::vector<orvane::Pair> shown;
  for (std::size_t i = 0; i < p.Time.size() && i < p.sigmaUser.size() && i < p.bUser.size(); ++i)
    shown.push_back(orvane::Pair{p.sigmaUser[i], p.bUser[i]});
  return orvane::SolverAccess::invert(solver, F, in.t, in.options,
                                      shown.size() == p.Time.size() ? &shown : nullptr);
}
