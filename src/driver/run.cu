// WeeksMethod::Run: the library's solver on the compiled-in transform, made
// with the options of this build.
#include <iostream>

#include "driver/command_line.h"
#include "driver/user_transform.h"
#include "driver/weeks_method.h"

void WeeksMethod::makeSolver(const orvane::DeviceCheck& check) {
  orvane::SolverOptions options;
  // The diagnostic build writes the run loop's echo lines and the stage
  // timing lines on the console.
  options.diagnostics = ORVANE_DIAG ? &std::cout : nullptr;
  solver_.reset(new orvane::Solver(options, check));
}

void WeeksMethod::Run() {
  if (!solver_) makeSolver(orvane::checkDevice());
  const std::vector<WeeksResult> results = solver_->run(parameters(), UserTransform{});
  for (int i = 0; i < Ntimes; ++i) Results[i] = results[std::size_t(i)];
}

std::unique_ptr<orvane::Transform> compiledInTransform() {
  return std::unique_ptr<orvane::Transform>(new orvane::FunctorTransform<UserTransform>());
}
