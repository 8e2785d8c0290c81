// The solver: the device check, the shared workspace, one instance of each
// registered method (made on first use), and the run of a call: one method
// on every time, or the automatic choice over all of them.
#include "orvane/solver.h"

#include <cmath>
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
    // The first method on every time (it hears the progress); the others
    // on the times it leaves unmet, except where its prediction is infinite:
    // the first method (Weeks) says so for a singularity right of the shift,
    // which every other method's line or contour misses alike.
    std::vector<int> unmet;
    std::vector<Result> kept;
    {
      const TimeBatch batch{t, o, all, o.progress, shownPairs};
      kept = method(0).invert(c, batch);
    }
    for (int i : all) {
      const Result& r = kept[std::size_t(i)];
      if (r.flag != 0 && !(std::isinf(r.rel_err) && r.rel_err > 0)) unmet.push_back(i);
    }
    if (unmet.empty() || Registry::count() < 2) return kept;
    std::vector<std::vector<Result>> later;
    for (int m = 1; m < Registry::count(); ++m) {
      const TimeBatch batch{t, o, unmet, std::function<void(int, int)>(), shownPairs};
      later.push_back(method(m).invert(c, batch));
    }
    // Each later record vouched for by the others of its time; a later record
    // replaces the kept one only with a strictly lower predicted error.
    for (std::size_t k = 0; k < unmet.size(); ++k) {
      const std::size_t i = std::size_t(unmet[k]);
      std::vector<Result> vouchedRecords;
      for (std::size_t m = 0; m < later.size(); ++m) {
        std::vector<const Result*> peers{&kept[i]};
        for (std::size_t n = 0; n < later.size(); ++n)
          if (n != m) peers.push_back(&later[n][k]);
        vouchedRecords.push_back(vouched(later[m][k], peers, o.request(i)));
      }
      for (const Result& r : vouchedRecords)
        if (betterRecord(r.rel_err, kept[i].rel_err)) kept[i] = r;
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
