// Error prediction for a computed f(t).
#include "methods/weeks/error_est.h"

#include <cmath>
#include <limits>
#include <new>
#include <ostream>
#include <vector>

#include "device/check_cuda.h"
#include "methods/weeks/error_core.h"
#include "methods/weeks/error_kernel.h"
#include "methods/weeks/laguerre.h"
#include "orvane/error.h"

namespace orvane {
namespace {

double modulus(double2 v) { return wfnCabs(v.x, v.y); }

double2 difference(double2 u, double2 v) { return double2{u.x - v.x, u.y - v.y}; }

}  // namespace

void hostRow(StageContext& c, gpu::DeviceBuffer& buffer, int Nsamples, double sigma, double b,
             std::vector<double2>& out, const detail::ContourPoint* contour, const LagPhase* phase) {
  const std::size_t bytes = std::size_t(Nsamples) * sizeof(double2);
  WFN_CHECK(buffer.reserve(bytes));
  double2* devData = buffer.as<double2>();
  // sigmin = sigmax = sigma and bmax = b: the single row is sampled at exactly (sigma, b).
  wfngpuFFTLagCoef(c, Nsamples, detail::Grid::single(sigma, b), 0, 1, devData, contour, phase);
  // The blocking copy also waits for the pipeline.
  WFN_CHECK(gpu::memcpyDeviceToHost(out.data(), devData, bytes));
}

ErrorPrediction predictError(double E, double2 ft, double RelErrInput) {
  ErrorPrediction p;
  p.AbsErrPred = E;
  if (!std::isfinite(ft.x) || !std::isfinite(ft.y)) {
    p.RelErrPred = std::numeric_limits<double>::quiet_NaN();
    p.TolFlag = 1;
    return p;
  }
  // An exact zero (every coefficient 0: F = 0) is met; any other error of a
  // zero value is not.
  p.RelErrPred = E == 0.0 && modulus(ft) == 0.0 ? 0.0 : std::fabs(E) / modulus(ft);
  p.TolFlag = RelErrInput > p.RelErrPred ? 0 : 1;
  return p;
}

void rowMasses(const double2* row, int N, ErrorTerms& e) {
  for (int n = 0; n < N; ++n) e.floor += kRoundoffEps * modulus(row[n]);
  for (int n = N; n < 2 * N; ++n) e.tailMass += modulus(row[n]);
  // Element n >= 2N holds a_(n-4N), plus a_n aliased onto it.
  for (int n = 2 * N; n < 3 * N; ++n) e.middleMass += modulus(row[n]);
  for (int n = 3 * N; n < 4 * N; ++n) e.endMass += modulus(row[n]);
  e.negativeMass = e.middleMass + e.endMass;
  e.trusted = !(e.negativeMass > kNegativeMassRatio * (e.tailMass + e.floor)) &&
              !(e.endMass > kNegativeShapeRatio * (e.middleMass + e.floor));
}

ErrorTerms errorTerms(const double2* core, const double2* row, int N, double sigma, double b,
                      double t) {
  const int Nsamples = 4 * N;
  const double eps = kRoundoffEps;
  std::vector<double> W;
  try {
    W.resize(std::size_t(Nsamples));
  } catch (const std::bad_alloc&) {
    throw Error(ErrorKind::kResources,
                "The error prediction cannot allocate its Laguerre weights on the host.");
  }
  laguerreEnvelope(2.0 * b * t, Nsamples, W.data());

  ErrorTerms e;
  rowMasses(row, N, e);
  for (int n = 0; n < N; ++n) {
    e.roundoff += eps * modulus(core[n]);
    e.aliasing += modulus(difference(core[n], row[n])) * W[n];
  }
  for (int n = N; n < Nsamples; ++n) e.truncation += modulus(row[n]) * W[n];
  e.estimate = e.trusted ? std::exp(sigma * t) * (e.roundoff + e.aliasing + e.truncation)
                         : std::numeric_limits<double>::infinity();
  return e;
}

ErrorPrediction wfnErrorEst(WeeksContext& c, double2 ft, double TimeInput, int NLagInput,
                            double sigma, double b, double RelErrInput,
                            const CoefficientRow* coreRow) {
  // The 4N samples per row must fit the pipeline's int sizes.
  const ErrorGridSizes sizes = checkErrorGrid(detail::Grid::single(0.0, 1.0), NLagInput);
  const int Nsamples = sizes.Nsamples;

  std::vector<double2> row, ownCore;
  try {
    row.resize(std::size_t(Nsamples));
    if (coreRow == nullptr || !coreRow->holds(2 * NLagInput, sigma, b))
      ownCore.resize(std::size_t(2 * NLagInput));
  } catch (const std::bad_alloc&) {
    throw Error(ErrorKind::kResources,
                "The error prediction cannot allocate its coefficient rows on the host.");
  }
  // Without the core's row, the 2N-point row is made here, as the core makes it.
  const double2* core = nullptr;
  if (ownCore.empty()) {
    core = coreRow->a.data();
  } else {
    hostRow(c, c.buffers.coreRow, 2 * NLagInput, sigma, b, ownCore);
    core = ownCore.data();
  }
  hostRow(c, c.buffers.estimateRow, Nsamples, sigma, b, row);

  StageTimer timer(c);
  timer.start();
  const ErrorTerms terms = errorTerms(core, row.data(), NLagInput, sigma, b, TimeInput);
  const float ms = timer.stop();
  if (c.diag != nullptr) *c.diag << "GPU Error Estimation Time = " << ms << std::endl << std::endl;
  return predictError(terms.estimate, ft, RelErrInput);
}

}  // namespace orvane
