// De Hoog's method on the active backend: the line's points of every time in
// one launch, F at all of them in one call of the transform, and on the host
// the quotient-difference algorithm, the continued fraction and the
// prediction of each time.
#include "methods/dehoog/dehoog.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <map>

#include "device/check_cuda.h"
#include "orvane/detail/launch.h"

namespace orvane {

typedef std::complex<double> cplx;

namespace {

// a / b without the library's rescaling (most of the method's time went
// there), which only matters where |b|^2 leaves the normal range.
inline cplx divide(cplx a, cplx b) {
  const double d = b.real() * b.real() + b.imag() * b.imag();
  if (!(d > 1e-290 && d < 1e290)) return a / b;
  const double inv = 1.0 / d;
  return cplx((a.real() * b.real() + a.imag() * b.imag()) * inv,
              (a.imag() * b.real() - a.real() * b.imag()) * inv);
}

}  // namespace

DehoogFraction dehoogFraction(int c, int reachSteps, double top, double shift,
                              const double2* samples) {
  const int M = dehoogSteps(c, reachSteps), terms = dehoogTerms(c, reachSteps);
  const DehoogLine l = dehoogLine(c, top, shift);
  DehoogFraction fr;
  fr.M = M;
  fr.T = l.T;
  fr.gamma = l.gamma;
  std::vector<cplx> a(static_cast<std::size_t>(terms));
  fr.sum = 0.0;
  for (int k = 0; k < terms; ++k) {
    a[std::size_t(k)] = cplx(samples[k].x, samples[k].y);
    fr.sum += std::abs(a[std::size_t(k)]);
  }
  a[0] *= 0.5;

  // The quotient-difference table, a column at a time: q holds q_r(i), e
  // holds e_(r-1)(i); the continued fraction's coefficients are
  // d_0 = a_0, d_(2r-1) = -q_r(0), d_(2r) = -e_r(0).
  const std::size_t n = static_cast<std::size_t>(terms);
  std::vector<cplx>& d = fr.d;
  d.assign(n, cplx());
  std::vector<cplx> q(n), e(n);
  d[0] = a[0];
  for (int i = 0; i + 1 < terms; ++i) q[std::size_t(i)] = divide(a[std::size_t(i + 1)], a[std::size_t(i)]);
  for (int r = 1; r <= M; ++r) {
    for (int i = 0; i <= 2 * M - 2 * r; ++i)
      e[std::size_t(i)] = q[std::size_t(i + 1)] - q[std::size_t(i)] + e[std::size_t(i + 1)];
    d[std::size_t(2 * r - 1)] = -q[0];
    d[std::size_t(2 * r)] = -e[0];
    if (r < M)
      for (int i = 0; i < 2 * M - 2 * r; ++i)
        q[std::size_t(i)] = divide(q[std::size_t(i + 1)] * e[std::size_t(i + 1)], e[std::size_t(i)]);
  }
  return fr;
}

DehoogSum dehoogSum(const DehoogFraction& fr, double t) {
  const int M = fr.M;
  const std::vector<cplx>& d = fr.d;
  // The fraction at z = e^(i pi t/T) by its three-term recurrence, with the
  // remainder of the last step estimated as the paper does; the pairs are
  // rescaled now and then so that neither overflows.
  const cplx z = std::polar(1.0, 3.141592653589793 * t / fr.T);
  cplx A2 = 0.0, A1 = d[0], B2 = 1.0, B1 = 1.0;  // n - 2 and n - 1
  cplx before;                                   // A/B two steps before the last
  for (int n = 1; n < 2 * M; ++n) {
    const cplx A = A1 + d[std::size_t(n)] * z * A2, B = B1 + d[std::size_t(n)] * z * B2;
    A2 = A1;
    B2 = B1;
    A1 = A;
    B1 = B;
    if (n == 2 * M - 2) before = A / B;
    const double scale = std::abs(B1);
    if (scale > 1e100 || (scale < 1e-100 && scale > 0.0)) {
      A2 /= scale;
      B2 /= scale;
      A1 /= scale;
      B1 /= scale;
    }
  }
  const cplx dl = d[std::size_t(2 * M)];
  const cplx h = 0.5 * (1.0 + (d[std::size_t(2 * M - 1)] - dl) * z);
  const cplx R = -h * (1.0 - std::sqrt(1.0 + dl * z / (h * h)));
  const cplx A = A1 + R * A2, B = B1 + R * B2;

  const double g = std::exp(fr.gamma * t) / fr.T;
  DehoogSum s;
  s.f = g * (A / B).real();
  s.step = std::fabs(s.f - g * before.real());
  s.size = g * fr.sum;
  return s;
}

DehoogRecord dehoogPrediction(const DehoogSum (&sums)[kDehoogSets], bool reached, double relErr) {
  const double eps = 2.220446049250313e-16;
  const double inf = std::numeric_limits<double>::infinity();
  DehoogRecord r;
  r.f = sums[0].f;
  double E = std::fmax(sums[0].step, 512.0 * eps * sums[0].size);
  bool finite = reached && std::isfinite(sums[0].f) && std::isfinite(E);
  // Every other set must agree within its own round-off.
  for (int c = 1; c < kDehoogSets; ++c) {
    const double gap = std::fabs(sums[c].f - sums[0].f);
    const double roundoff = 64.0 * eps * sums[c].size;
    finite = finite && std::isfinite(gap) && std::isfinite(roundoff);
    if (finite && gap > roundoff) E = std::fmax(E, 2.0 * gap);
  }
  r.AbsErrPred = finite ? E : inf;
  const double modulus = std::fabs(r.f);
  r.RelErrPred = finite && modulus > 0.0 ? r.AbsErrPred / modulus : inf;
  r.TolFlag = relErr > r.RelErrPred ? 0 : 1;
  return r;
}

std::vector<DehoogRecord> wfnDehoog(StageContext& c, DehoogBuffers& ws, const std::vector<double>& times,
                                    const std::vector<double>& shifts,
                                    const std::vector<double>& relErr) {
  const int count = int(times.size());
  std::vector<DehoogRecord> records(times.size());
  // The groups: the times of a band and a shift, keyed by the two; the
  // groups of a reach (a row's length) are sampled in one launch.
  struct Group {
    double top, shift;
    std::vector<int> members;
  };
  std::map<std::pair<double, int>, Group> groups;
  for (int i = 0; i < count; ++i) {
    const double t = times[i];
    if (t > 0.0 && std::isfinite(t) && std::isfinite(shifts[i])) {
      // Band j holds [B^j, B^(j+1)); a time on the edge by rounding goes up.
      int j = int(std::floor(std::log(t) / std::log(kDehoogBand)));
      while (std::pow(kDehoogBand, j + 1) <= t) ++j;
      while (std::pow(kDehoogBand, j) > t) --j;
      Group& g = groups[std::make_pair(shifts[i], j)];
      g.top = std::pow(kDehoogBand, j + 1);
      g.shift = shifts[i];
      g.members.push_back(i);
    } else {
      DehoogSum none[kDehoogSets];
      for (DehoogSum& s : none) s = DehoogSum{NAN, NAN, NAN};
      records[i] = dehoogPrediction(none, false, relErr[i]);
    }
  }
  std::map<int, std::vector<const Group*>> byReach;
  for (const auto& g : groups) byReach[dehoogReachSteps(g.second.top)].push_back(&g.second);

  for (const auto& entry : byReach) {
    const int reach = entry.first;
    const std::vector<const Group*>& list = entry.second;
    const int row = dehoogRow(reach);
    const int total = int(list.size());
    const int batch = int(std::max<long long>(
        1, std::min<long long>(kDehoogBatch, kDehoogBatchBytes / (row * (long long)sizeof(double2)))));
    std::vector<double> top(list.size()), shift(list.size());
    for (int k = 0; k < total; ++k) {
      top[std::size_t(k)] = list[std::size_t(k)]->top;
      shift[std::size_t(k)] = list[std::size_t(k)]->shift;
    }
    for (int first = 0; first < total; first += batch) {
      const int rows = std::min(batch, total - first);
      const std::size_t nodeBytes = std::size_t(rows) * row * sizeof(double2);
      const std::size_t rowBytes = std::size_t(rows) * sizeof(double);
      WFN_CHECK(ws.nodes.reserve(nodeBytes));
      WFN_CHECK(ws.times.reserve(2 * rowBytes));
      double2* nodes = ws.nodes.as<double2>();
      double* devTops = ws.times.as<double>();
      double* devShifts = devTops + rows;
      WFN_CHECK(gpu::memcpyHostToDevice(devTops, top.data() + first, rowBytes));
      WFN_CHECK(gpu::memcpyHostToDevice(devShifts, shift.data() + first, rowBytes));
      WFN_CHECK(detail::launch(row, rows, [=] ORVANE_HD(int e, int i) {
        dehoogPoint(e, i, devTops, devShifts, reach, nodes);
      }));
      WFN_CHECK(c.transform.evaluate(nodes, (long long)rows * row, nodes));
      std::vector<double2> values(std::size_t(rows) * row);
      WFN_CHECK(gpu::memcpyDeviceToHost(values.data(), nodes, nodeBytes));
      // The groups are independent: shared among threads where there are
      // enough of them to be worth it (the results are the same whatever the
      // count).
#if defined(_OPENMP)
      const bool share = rows > 1 && (long long)rows * reach * reach >= kDehoogSharedWork;
#pragma omp parallel for schedule(dynamic) if (share)
#endif
      for (int r = 0; r < rows; ++r) {
        const Group& g = *list[std::size_t(first + r)];
        DehoogFraction fr[kDehoogSets];
        for (int k = 0; k < kDehoogSets; ++k) {
          // A reach set no longer than set 3 is set 3 again.
          if (k == kDehoogReachSet && reach == dehoogSteps(3, reach) &&
              dehoogPeriod(k) == dehoogPeriod(3)) {
            fr[k] = fr[3];
            continue;
          }
          fr[k] = dehoogFraction(k, reach, g.top, g.shift,
                                 values.data() + std::size_t(r) * row + dehoogOffset(k, reach));
        }
        const bool reached = double(reach) * 3.141592653589793 / g.top >= kDehoogReach;
        for (int i : g.members) {
          DehoogSum sums[kDehoogSets];
          for (int k = 0; k < kDehoogSets; ++k) sums[k] = dehoogSum(fr[k], times[i]);
          records[std::size_t(i)] = dehoogPrediction(sums, reached, relErr[i]);
        }
      }
    }
  }
  return records;
}

namespace {

class DehoogMethod final : public InversionMethod {
 public:
  std::vector<Result> invert(StageContext& c, const TimeBatch& batch) override {
    const ShiftedTimes s = shiftedTimes(batch);
    const std::vector<DehoogRecord> found = wfnDehoog(c, buffers_, s.t, s.shift, s.request);
    std::vector<Result> records;
    for (std::size_t k = 0; k < found.size(); ++k) {
      Result r;
      r.t = s.t[k];
      r.f = found[k].f;
      r.sigma = s.shift[k];
      r.b = 0.0;
      r.abs_err = found[k].AbsErrPred;
      r.rel_err = found[k].RelErrPred;
      r.flag = found[k].TolFlag;
      r.N = dehoogSteps(0, 0);
      r.method = Method("dehoog");
      records.push_back(r);
    }
    if (batch.progress) batch.progress(int(records.size()), int(records.size()));
    return records;
  }

 private:
  DehoogBuffers buffers_;
};

}  // namespace

std::unique_ptr<InversionMethod> makeDehoogMethod(const SolverSettings&) {
  return std::unique_ptr<InversionMethod>(new DehoogMethod());
}

}  // namespace orvane
