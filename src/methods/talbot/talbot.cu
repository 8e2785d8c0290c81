// Talbot's method on the active backend: the nodes of every time in one
// launch, F at all of them in one call of the transform, one reduction launch,
// and the prediction on the host.
#include "methods/talbot/talbot.h"

#include <algorithm>
#include <complex>
#include <cmath>
#include <limits>

#include "device/check_cuda.h"
#include "orvane/detail/launch.h"

namespace orvane {

TalbotRecord talbotPrediction(const TalbotSum (&sums)[kTalbotCandidates], double relErr) {
  const double eps = ORVANE_SINGLE ? 1.1920929e-07 : 2.220446049250313e-16;
  const double inf = std::numeric_limits<double>::infinity();
  TalbotRecord r;
  r.ft.x = std::numeric_limits<double>::quiet_NaN();
  r.ft.y = r.ft.x;
  r.AbsErrPred = inf;
  r.nodes = 0;
  for (int j = 0; j + 1 < kTalbotCandidates; ++j) {
    const TalbotSum& a = sums[j];
    const TalbotSum& b = sums[j + 1];
    if (a.jump || b.jump) continue;
    const double gap = std::hypot(a.ft.x - b.ft.x, a.ft.y - b.ft.y);
    double E = std::fmax(2.0 * gap, 32.0 * eps * std::fmax(a.size, b.size));
    // Every larger contour must agree within its own round-off: a pole that
    // only they reach would otherwise go unseen by the pair.
    for (int k = j + 2; k < kTalbotCandidates; ++k) {
      const TalbotSum& c = sums[k];
      const double d = std::hypot(a.ft.x - c.ft.x, a.ft.y - c.ft.y);
      if (!c.jump && std::isfinite(d) && d > 32.0 * eps * c.size) E = std::fmax(E, d);
    }
    // NaN and infinite sums never qualify (fmax would hide a NaN gap).
    if (!std::isfinite(gap) || !std::isfinite(E) || !(E < r.AbsErrPred)) continue;
    r.ft = a.ft;
    r.AbsErrPred = E;
    r.nodes = talbotNodeCount(j);
  }
  if (r.nodes == 0) {
    // Nothing qualified: the sum of the most nodes, honestly unbounded.
    const TalbotSum& last = sums[kTalbotCandidates - 1];
    r.ft = last.ft;
    r.nodes = talbotNodeCount(kTalbotCandidates - 1);
  }
  const double modulus = std::hypot(r.ft.x, r.ft.y);
  r.RelErrPred = relativeError(r.AbsErrPred, modulus);
  r.TolFlag = relErr > r.RelErrPred ? 0 : 1;
  return r;
}

std::vector<TalbotRecord> wfnTalbot(StageContext& c, TalbotBuffers& ws,
                                    const std::vector<double>& times,
                                    const std::vector<double>& shifts,
                                    const std::vector<double>& relErr,
                                    const std::function<void(int, int)>& progress) {
  const int count = int(times.size());
  std::vector<TalbotRecord> records(times.size());
  // Times at or below 0 have no contour; the others go to the device.
  std::vector<int> index;
  std::vector<double> t, shift;
  for (int i = 0; i < count; ++i) {
    if (times[i] > 0.0 && std::isfinite(times[i])) {
      index.push_back(i);
      t.push_back(times[i]);
      shift.push_back(shifts[i]);
    } else {
      TalbotSum none[kTalbotCandidates];
      for (TalbotSum& s : none) s = TalbotSum{{NAN, NAN}, NAN, 0};
      records[i] = talbotPrediction(none, relErr[i]);
    }
  }
  // Batches of at most kTalbotBatch times bound the device memory (about 176 MB of nodes).
  const int total = int(index.size());
  for (int first = 0; first < total; first += kTalbotBatch) {
    const int rows = std::min(kTalbotBatch, total - first);
    const std::size_t nodeBytes = std::size_t(rows) * kTalbotRow * sizeof(double2);
    const std::size_t timeBytes = std::size_t(rows) * sizeof(double);
    const std::size_t sumBytes = std::size_t(rows) * kTalbotCandidates * sizeof(TalbotSum);
    WFN_CHECK(ws.nodes.reserve(nodeBytes));
    WFN_CHECK(ws.times.reserve(2 * timeBytes));
    WFN_CHECK(ws.sums.reserve(sumBytes));
    double2* nodes = ws.nodes.as<double2>();
    double* devTimes = ws.times.as<double>();
    double* devShifts = devTimes + rows;
    TalbotSum* devSums = ws.sums.as<TalbotSum>();
    WFN_CHECK(gpu::memcpyHostToDevice(devTimes, t.data() + first, timeBytes));
    WFN_CHECK(gpu::memcpyHostToDevice(devShifts, shift.data() + first, timeBytes));

    WFN_CHECK(detail::launch(kTalbotRow, rows, [=] ORVANE_HD(int e, int i) {
      talbotPoint(e, i, devTimes, devShifts, nodes);
    }));
    WFN_CHECK(c.transform.evaluate(nodes, (long long)rows * kTalbotRow, nodes));
    WFN_CHECK(detail::launch(kTalbotCandidates, rows, [=] ORVANE_HD(int k, int i) {
      devSums[i * kTalbotCandidates + k] = talbotReduce(k, i, devTimes, devShifts, nodes);
    }));
    std::vector<TalbotSum> sums(std::size_t(rows) * kTalbotCandidates);
    WFN_CHECK(gpu::memcpyDeviceToHost(sums.data(), devSums, sumBytes));

    for (int r = 0; r < rows; ++r) {
      TalbotSum of[kTalbotCandidates];
      for (int k = 0; k < kTalbotCandidates; ++k) of[k] = sums[std::size_t(r) * kTalbotCandidates + k];
      const int i = index[first + r];
      records[i] = talbotPrediction(of, relErr[i]);
    }
    if (progress && first + rows < total) progress(count - total + first + rows, count);
  }
  return records;
}

Result talbotResult(double t, double shift, const TalbotRecord& r) {
  Result w;
  w.t = t;
  w.f = std::complex<double>(r.ft.x, r.ft.y);
  w.sigma = shift;
  w.b = 0.0;
  w.abs_err = r.AbsErrPred;
  w.rel_err = r.RelErrPred;
  w.flag = r.TolFlag;
  w.N = r.nodes;
  w.method = Method("talbot");
  return w;
}

namespace {

class TalbotMethod final : public InversionMethod {
 public:
  std::vector<Result> invert(StageContext& c, const TimeBatch& batch) override {
    const ShiftedTimes s = shiftedTimes(batch);
    const std::vector<TalbotRecord> talbot = wfnTalbot(c, buffers_, s.t, s.shift, s.request, batch.progress);
    std::vector<Result> records;
    for (std::size_t k = 0; k < talbot.size(); ++k)
      records.push_back(talbotResult(s.t[k], s.shift[k], talbot[k]));
    if (batch.progress) batch.progress(int(records.size()), int(records.size()));
    return records;
  }

 private:
  TalbotBuffers buffers_;
};

}  // namespace

std::unique_ptr<InversionMethod> makeTalbotMethod(const SolverSettings&) {
  return std::unique_ptr<InversionMethod>(new TalbotMethod());
}

}  // namespace orvane
