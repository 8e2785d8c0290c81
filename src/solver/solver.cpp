// The solver: the device check, the workspace and the kept search sums of its
// runs, and the run loop over the stages.
#include "orvane/solver.h"

#include <unistd.h>

#include <utility>

#include "device/check_gpu.h"
#include "device/workspace.h"
#include "error/error_est.h"
#include "error/param_est.h"
#include "series/weeks_core.h"
#include "solver/method_choice.h"
#include "solver/run_loop.h"
#include "talbot/talbot.h"

namespace orvane {
namespace {

// Half of the machine's memory, like the emulated device's default size.
std::size_t defaultHostLimit() {
  const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || pageSize <= 0) return std::size_t(1) << 31;
  return std::size_t(pages) * std::size_t(pageSize) / 2;
}

// Forwards the run loop's stage calls to the stage functions. The inversion
// core's coefficient row goes on to the error prediction of the same record.
struct Stages {
  StageContext& c;
  SearchMemory& memory;
  CoefficientRow coreRow;
  SigmaB paramEst(double t, int N, double sigmin, double sigmax, double bmax, double tols,
                  double tolb) {
    return wfnParamEst(c, memory, t, N, sigmin, sigmax, bmax, tols, tolb);
  }
  CoreResult weeksCore(double t, int N, double sigma, double b) {
    return wfnWeeksCore(c, t, N, sigma, b, &coreRow);
  }
  ErrorPrediction errorEst(double2 ft, double t, int N, double sigma, double b, double relErr) {
    return wfnErrorEst(c, ft, t, N, sigma, b, relErr, &coreRow);
  }
};

}  // namespace

struct Solver::Impl {
  SolverOptions options;
  DeviceInfo device;
  gpu::Workspace ws;
  SearchMemory memory;
  Impl(const SolverOptions& o, const DeviceInfo& d)
      : options(o),
        device(d),
        memory(o.searchCacheBytes, o.hostMemoryBytes != 0 ? o.hostMemoryBytes : defaultHostLimit()) {}
};

Solver::Solver(const SolverOptions& options) : Solver(options, checkDevice()) {}

Solver::Solver(const SolverOptions& options, const DeviceCheck& check) {
  if (!check.accepted)
    throw Error(ErrorKind::kNoDevice, "An acceptable graphics processor was not found.");
  impl_.reset(new Impl(options, check.device));
}

Solver::~Solver() = default;
Solver::Solver(Solver&&) noexcept = default;
Solver& Solver::operator=(Solver&&) noexcept = default;

const DeviceInfo& Solver::device() const { return impl_->device; }

std::vector<WeeksResult> Solver::run(const Parameters& p, const Transform& transform) {
  if (p.SearchSwitch != 0 && p.SearchSwitch != 1)
    throw Error(ErrorKind::kSearchSwitch, "Incorrect selection for the SearchSwitch variable.");
  p.check();
  impl_->memory.clear();
  // A search may come without the user's pairs; the run loop reads one per time.
  Parameters filled;
  const Parameters* params = &p;
  if (p.sigmaUser.size() != p.Time.size() || p.bUser.size() != p.Time.size()) {
    filled = p;
    filled.sigmaUser.assign(p.Time.size(), 0.0);
    filled.bUser.assign(p.Time.size(), 0.0);
    params = &filled;
  }
  StageContext c{impl_->ws, transform, impl_->options.diagnostics, impl_->device.maxThreadsPerBlock};
  const Method method = impl_->options.method;
  std::vector<WeeksResult> results;
  if (method != Method::kTalbot) {
    Stages stages{c, impl_->memory, CoefficientRow()};
    runLoop(*params, stages, results, impl_->options.diagnostics, &impl_->options.progress);
    if (method == Method::kWeeks) return results;
  } else {
    results.assign(p.Time.size(), WeeksResult());
  }

  // Talbot for every time (talbot), or for the times whose Weeks record
  // missed its request (auto), all in one batch. The contour's shift is the
  // search's lowest sigma, or the user's sigma of the time.
  std::vector<int> which;
  std::vector<double> times, shifts, requests;
  for (int i = 0; i < p.Ntimes(); ++i) {
    if (method == Method::kAuto && results[i].TolFlag == 0) continue;
    which.push_back(i);
    times.push_back(p.Time[i]);
    shifts.push_back(p.SearchSwitch != 0 ? p.sigmin : params->sigmaUser[i]);
    requests.push_back(p.RelErr[i]);
  }
  const std::vector<TalbotRecord> talbot = wfnTalbot(c, times, shifts, requests);
  for (std::size_t k = 0; k < which.size(); ++k) {
    const int i = which[k];
    const WeeksResult t = talbotResult(times[k], shifts[k], talbot[k]);
    results[i] = method == Method::kTalbot ? t : autoChoice(results[i], t, requests[k]);
  }
  if (method == Method::kTalbot && impl_->options.progress)
    impl_->options.progress(p.Ntimes(), p.Ntimes());
  return results;
}

}  // namespace orvane
