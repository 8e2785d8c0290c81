// The Weeks method: its buffers, the search's kept error sums, and the run
// loop over its three stages.
#include "methods/weeks/weeks.h"

#include <unistd.h>

#include "methods/weeks/error_est.h"
#include "methods/weeks/param_est.h"
#include "methods/weeks/run_loop.h"
#include "methods/weeks/weeks_core.h"

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
  WeeksContext& c;
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

class WeeksMethod final : public InversionMethod {
 public:
  explicit WeeksMethod(const SolverSettings& s)
      : memory_(s.searchCacheBytes, s.hostMemoryBytes != 0 ? s.hostMemoryBytes : defaultHostLimit()) {}

  std::vector<Result> invert(StageContext& c, const TimeBatch& batch) override {
    WeeksContext w{c, buffers_};
    Stages stages{w, memory_, CoefficientRow()};
    std::vector<Result> records;
    const WeeksRun run{batch.t, batch.options, batch.which, batch.shownPairs, batch.hopeless};
    runLoop(run, stages, records, c.diag, &batch.progress);
    return records;
  }
  void forget() override { memory_.clear(); }
  // A singularity right of sigma puts coefficients at the negative indices
  // that a sound row never has. A row sees it best where b is near its
  // distance from the line (its height, for one high up), and where the rest
  // of F's expansion has converged at that b (else its aliased terms hide
  // it). So: rows of 32 terms at four scales b, of F, and at two of them of
  // F with a pole at the shift set aside (whose terms converge at no scale);
  // and rows of 512 terms of the latter at b = 16 and 48, for singularities
  // some ten to a hundred above the axis, up to some three hundred times
  // their height over their distance from the line. Unseen: singularities
  // further right than some hundred times the largest scale, or higher up
  // and closer to the line than that.
  Clearance rightOf(StageContext& c, double sigma, double shift) override {
    WeeksContext w{c, buffers_};
    for (double b : {0.05, 0.5, 4.0, 32.0})
      if (clearanceRightOf(w, sigma, 32, b) == Clearance::kSingular) return Clearance::kSingular;
    for (double b : {0.5, 4.0})
      if (clearanceRightOf(w, sigma, 32, b, &shift) == Clearance::kSingular) return Clearance::kSingular;
    for (double b : {16.0, 48.0})
      if (clearanceRightOf(w, sigma, 512, b, &shift) == Clearance::kSingular) return Clearance::kSingular;
    return Clearance::kClear;
  }

 private:
  WeeksBuffers buffers_;
  SearchMemory memory_;
};

}  // namespace

std::unique_ptr<InversionMethod> makeWeeksMethod(const SolverSettings& settings) {
  return std::unique_ptr<InversionMethod>(new WeeksMethod(settings));
}

}  // namespace orvane
