// The console programs' run of a parameter file's fields.
#include "driver/console_records.h"

#include "solver/solver_access.h"

std::vector<orvane::Result> runParameters(orvane::Solver& solver, const orvane::Parameters& p,
                                          const orvane::Transform& F, orvane::Method method,
                                          const std::function<void(int, int)>& progress) {
  orvane::Inputs in = orvane::detail::inputsOf(p);
  in.options.method = method;
  in.options.progress = progress;
  // With a search the file's (sigma, b) still show in the diagnostic lines.
  std::vector<orvane::Pair> shown;
  for (std::size_t i = 0; i < p.Time.size() && i < p.sigmaUser.size() && i < p.bUser.size(); ++i)
    shown.push_back(orvane::Pair{p.sigmaUser[i], p.bUser[i]});
  return orvane::SolverAccess::invert(solver, F, in.t, in.options,
                                      shown.size() == p.Time.size() ? &shown : nullptr);
}
