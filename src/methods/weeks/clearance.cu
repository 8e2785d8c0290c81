// The analyticity test right of a line: the coefficient rows of F, or of F
// with a pole at the shift set aside, searched for negative-index terms.
#include <cmath>
#include <new>
#include <vector>

#include "device/check_cuda.h"
#include "methods/weeks/error_est.h"
#include "orvane/detail/launch.h"
#include "orvane/error.h"

namespace orvane {
namespace {

// v times ((ux + i uy) / (ux + beta + i uy))^2.
ORVANE_HD inline double2 timesAside(double2 v, double ux, double uy, double beta) {
  const double d = (ux + beta) * (ux + beta) + uy * uy;
  const double qx = (ux * (ux + beta) + uy * uy) / d, qy = uy * beta / d;
  const double px = qx * qx - qy * qy, py = 2.0 * qx * qy;
  double2 out;
  out.x = px * v.x - py * v.y;
  out.y = px * v.y + py * v.x;
  return out;
}

// F (s - p)^2 / (s - p + beta)^2 on the Weeks contour: F's weighted samples,
// each multiplied by the factor at its point (the weight is linear in F).
class SetAside final : public Transform {
 public:
  SetAside(const Transform& F, double p, double beta) : F_(F), p_(p), beta_(beta) {}
  int sampleRows(const detail::SampleRows& rows, double2* devSamples) const override {
    const int status = F_.sampleRows(rows, devSamples);
    if (status != 0) return status;
    const detail::SampleRows g = rows;
    const double p = p_, beta = beta_;
    return detail::launch(g.Nsamples, g.rowCount, [=] ORVANE_HD(int k, int y) {
      const detail::ContourPoint c = g.contour != nullptr ? g.contour[k] : detail::wfnContourPoint(k, g.Nsamples);
      const int r = g.rowBegin + y;
      const double sigma = g.grid.sigma<double>(g.grid.sigmaIndex(r));
      const double b = g.grid.b<double>(g.grid.bIndex(r));
      double2& v = devSamples[(long long)y * g.Nsamples + k];
      v = timesAside(v, sigma - p, b * (double(c.sn) / double(c.omc)), beta);
    });
  }
  // The test samples rows only.
  int evaluate(const double2*, long long, double2*) const override { return detail::kLaunchInvalidValue; }
  bool wantsWholeBatches() const override { return F_.wantsWholeBatches(); }

 private:
  const Transform& F_;
  double p_, beta_;
};

}  // namespace

Clearance clearanceRightOf(WeeksContext& c, double sigma, int N, double b, const double* aside) {
  std::vector<double2> row;
  try {
    row.resize(std::size_t(4 * N));
  } catch (const std::bad_alloc&) {
    throw Error(ErrorKind::kResources, "The analyticity test cannot allocate its rows on the host.");
  }
  const SetAside G(c.transform, aside != nullptr ? *aside : 0.0, b);
  // The test's rows are no stage of a record: no diagnostic lines.
  StageContext rows{c.ws, aside != nullptr ? static_cast<const Transform&>(G) : c.transform, nullptr,
                    c.maxThreadsPerBlock};
  // On the host the rows' trigonometry (most of their cost) comes from tables.
  if (gpu::kHostBackend) {
    const RowTables& t = hostRowTables(c.buffers, 4 * N);
    hostRow(rows, c.buffers.estimateRow, 4 * N, sigma, b, row, t.contour.data(), t.phase.data());
  } else {
    hostRow(rows, c.buffers.estimateRow, 4 * N, sigma, b, row);
  }
  for (const double2& a : row)
    if (!std::isfinite(a.x) || !std::isfinite(a.y)) return Clearance::kSingular;
  ErrorTerms e;
  rowMasses(row.data(), N, e);
  return e.trusted ? Clearance::kClear : Clearance::kSingular;
}

}  // namespace orvane
