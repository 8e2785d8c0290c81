// The solver: the device check, the shared workspace, one instance of each
// registered method (made on first use), and the run of a call: one method
// on every time, or the automatic choice over all of them.
#include "orvane/solver.h"

#include <utility>

#include "device/check_gpu.h"
#include "device/workspace.h"
#include "solver/registry.h"
#include "solver/chooser.h"
#include "solver/solver_access.h"

namespace orvane {

struct Solver::Impl {
  SolverSettings settings;
  DeviceInfo device;
  gpu::Workspace ws;
  std::vector<std::unique_ptr<InversionMethod>> methods;
  Impl(const SolverSettings& s, const DeviceInfo& d) : settings(s), device(d), methods(Registry::count()) {}

  InversionMethod& method(int index) {
    std::unique_ptr<InversionMethod>& m = methods[std::size_t(index)];
    if (!m) m = Registry::entry(index).make(settings);
    return *m;
  }

  std::vector<Result> run(const Transform& F, const std::vector<double>& t, const Options& o,
                          const std::vector<Pair>* shownPairs) {
    o.check(t);
    for (std::unique_ptr<InversionMethod>& m : methods)
      if (m) m->forget();
    StageContext c{ws, F, settings.diagnostics, device.maxThreadsPerBlock};
    std::vector<int> all(t.size());
    for (std::size_t i = 0; i < t.size(); ++i) all[i] = int(i);
    if (!o.method.isAuto()) {
      const TimeBatch batch{t, o, all, o.progress, shownPairs};
      return method(o.method.index()).invert(c, batch);
    }
    // Every method in the registry's order on the times still unmet; the
    // first one hears the progress.
    std::vector<Result> kept;
    for (int m = 0; m < Registry::count(); ++m) {
      std::vector<int> which;
      for (int i : all)
        if (m == 0 || kept[std::size_t(i)].flag != 0) which.push_back(i);
      if (m > 0 && which.empty()) continue;
      const TimeBatch batch{t, o, which, m == 0 ? o.progress : std::function<void(int, int)>(),
                            shownPairs};
      std::vector<Result> records = method(m).invert(c, batch);
      if (m == 0) {
        kept = std::move(records);
        continue;
      }
      for (std::size_t k = 0; k < which.size(); ++k) {
        const std::size_t i = std::size_t(which[k]);
        kept[i] = autoChoice(kept[i], records[k], o.request(i));
      }
    }
    return kept;
  }
};

Solver::Solver(const SolverSettings& settings) : Solver(settings, checkDevice()) {}

Solver::Solver(const SolverSettings& settings, const DeviceCheck& check) {
  requireDevice(check);
  impl_.reset(new Impl(settings, check.device));
}

Solver::~Solver() = default;
Solver::Solver(Solver&&) noexcept = default;
Solver& Solver::operator=(Solver&&) noexcept = default;

const DeviceInfo& Solver::device() const { return impl_->device; }

std::vector<Result> Solver::invert(const Transform& F, const std::vector<double>& t,
                                   const Options& options) {
  return impl_->run(F, t, options, nullptr);
}

std::vector<Result> SolverAccess::invert(Solver& solver, const Transform& F,
                                         const std::vector<double>& t, const Options& options,
                                         const std::vector<Pair>* shownPairs) {
  return solver.impl_->run(F, t, options, shownPairs);
}

}  // namespace orvane
