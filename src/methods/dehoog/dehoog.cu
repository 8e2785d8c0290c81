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
#include <vector>

#include "device/check_cuda.h"
#include "orvane/detail/launch.h"

namespace orvane {

typedef std::complex<double> cplx;

namespace {

// a / b without the library's rescaling, which only matters where |b|^2
// leaves the normal range.
inline cplx divide(cplx a, cplx b) {
  const double d = b.real() * b.real() + b.imag() * b.imag();
  if (!(d > 1e-290 && d < 1e290)) return a / b;
  const double inv = 1.0 / d;
  return cplx((a.real() * b.real() + a.imag() * b.imag()) * inv,
              (a.imag() * b.real() - a.real() * b.imag()) * inv);
}

// The loops below in 4-wide vectors where the processor has them (AVX2; no
// FMA, so that every build gives the same bits).
#if defined(__GNUC__) && !defined(__clang__) && !defined(__CUDACC__) && defined(__x86_64__)
#define ORVANE_QD_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define ORVANE_QD_CLONES
#endif

// One column of the quotient-difference table, as separate real and
// imaginary arrays so that the loops vectorise (most of the method's time is
// here): e_r(i) = q_r(i+1) - q_r(i) + e_(r-1)(i+1), then, where wanted,
// q_(r+1)(i) = q_r(i+1) e_r(i+1) / e_r(i).
struct QdTable {
  std::vector<double> qr, qi, er, ei;
  explicit QdTable(std::size_t n) : qr(n + 1), qi(n + 1), er(n + 1), ei(n + 1) {}

  // The e column of `count` elements; true where every |e|^2 lies in the
  // normal range (so every q it was made of is finite too), so that the next
  // q column may take the plain formulas of divide() (else the library's
  // operators, which rescale and handle infinities, give it).
  ORVANE_QD_CLONES bool eColumn(int count) {
    double* __restrict xr = er.data();
    double* __restrict xi = ei.data();
    const double* __restrict yr = qr.data();
    const double* __restrict yi = qi.data();
    int odd = 0;
#if defined(_OPENMP)
#pragma omp simd reduction(| : odd)
#endif
    for (int i = 0; i < count; ++i) {
      xr[i] = yr[i + 1] - yr[i] + xr[i + 1];
      xi[i] = yi[i + 1] - yi[i] + xi[i + 1];
      const double d = xr[i] * xr[i] + xi[i] * xi[i];
      odd |= int(!(d > 1e-290)) | int(!(d < 1e290));
    }
    return odd == 0;
  }

  ORVANE_QD_CLONES void qColumn(int count, bool plain) {
    if (!plain) {
      for (int i = 0; i < count; ++i) {
        const std::size_t k = std::size_t(i);
        const cplx v = divide(cplx(qr[k + 1], qi[k + 1]) * cplx(er[k + 1], ei[k + 1]), cplx(er[k], ei[k]));
        qr[k] = v.real();
        qi[k] = v.imag();
      }
      return;
    }
    double* __restrict xr = qr.data();
    double* __restrict xi = qi.data();
    const double* __restrict yr = er.data();
    const double* __restrict yi = ei.data();
    for (int i = 0; i < count; ++i) {
      // (q e') conj(e) / |e|^2, as divide() has it.
      const double pr = xr[i + 1] * yr[i + 1] - xi[i + 1] * yi[i + 1];
      const double pi = xr[i + 1] * yi[i + 1] + xi[i + 1] * yr[i + 1];
      const double inv = 1.0 / (yr[i] * yr[i] + yi[i] * yi[i]);
      xr[i] = (pr * yr[i] + pi * yi[i]) * inv;
      xi[i] = (pi * yr[i] - pr * yi[i]) * inv;
    }
  }
};

}  // namespace

DehoogFraction dehoogFraction(int c, double top, double shift, const double2* samples) {
  const int M = dehoogSteps(c), terms = dehoogTerms(c);
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
  // F = 0 at every sample: the fraction is 0 (its coefficients too), where
  // the quotients below would be 0/0.
  if (fr.sum == 0.0) {
    fr.d.assign(std::size_t(terms), cplx());
    return fr;
  }

  // The quotient-difference table, a column at a time: q holds q_r(i), e
  // holds e_(r-1)(i); the continued fraction's coefficients are
  // d_0 = a_0, d_(2r-1) = -q_r(0), d_(2r) = -e_r(0).
  const std::size_t n = static_cast<std::size_t>(terms);
  std::vector<cplx>& d = fr.d;
  d.assign(n, cplx());
  QdTable qd(n);
  d[0] = a[0];
  for (int i = 0; i + 1 < terms; ++i) {
    const cplx q = divide(a[std::size_t(i + 1)], a[std::size_t(i)]);
    qd.qr[std::size_t(i)] = q.real();
    qd.qi[std::size_t(i)] = q.imag();
  }
  for (int r = 1; r <= M; ++r) {
    const bool plain = qd.eColumn(2 * M - 2 * r + 1);
    d[std::size_t(2 * r - 1)] = -cplx(qd.qr[0], qd.qi[0]);
    d[std::size_t(2 * r)] = -cplx(qd.er[0], qd.ei[0]);
    if (r < M) qd.qColumn(2 * M - 2 * r, plain);
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

DehoogFilter dehoogFilter(int n) {
  DehoogFilter w;
  w.n = n;
  const int shorter = 3 * n / 4;
  for (int k = 0; k <= n; ++k) {
    const double half = k == 0 ? 0.5 : 1.0;
    w.all.push_back(half * dehoogCheckWeight(k, n));
    if (k <= shorter) w.part.push_back(half * dehoogCheckWeight(k, shorter));
  }
  return w;
}

DehoogSum dehoogCheck(const double2* a, const DehoogFilter& w, double period, double top, double shift,
                      double t) {
  const double T = period * top, gamma = shift + kDehoogLogTolerance / (2.0 * T);
  const double theta = 3.141592653589793 * t / T;
  const int n = w.n, shorter = int(w.part.size()) - 1;
  // e^(i k theta) by rotation, set anew every 32 terms so that its error
  // stays at a few ulps.
  const cplx turn = std::polar(1.0, theta);
  double all = 0.0, part = 0.0, sum = 0.0;
  cplx z = 1.0;
  for (int k = 0; k <= n; ++k) {
    if ((k & 31) == 0) z = std::polar(1.0, theta * double(k));
    const double term = a[k].x * z.real() - a[k].y * z.imag();
    all += w.all[std::size_t(k)] * term;
    if (k <= shorter) part += w.part[std::size_t(k)] * term;
    sum += w.all[std::size_t(k)] * std::hypot(a[k].x, a[k].y);
    z *= turn;
  }
  const double g = std::exp(gamma * t) / T;
  DehoogSum s;
  s.f = g * all;
  s.step = std::fabs(g * (all - part));
  s.size = g * sum;
  return s;
}

double dehoogAliasing(const DehoogFraction& fr, double t, double shift) {
  const double eps = 2.220446049250313e-16;
  double level = 0.0;
  const int points = 8;
  const double last = 1.75 * fr.T;
  for (int j = 0; j < points && t < last; ++j) {
    const double tau = t + (last - t) * double(j) / double(points - 1);
    const DehoogSum at = dehoogSum(fr, tau);
    // What the sum shows above its own round-off there, carried to t + 2T
    // at the fastest growth the shift allows.
    const double seen = std::fabs(at.f) - 64.0 * eps * at.size;
    if (seen > 0.0) level = std::fmax(level, seen * std::exp(shift * (t - tau)));
  }
  return 4.0 * std::exp(-kDehoogLogTolerance) * level;
}

DehoogRecord dehoogPrediction(const DehoogSum (&sums)[kDehoogSets], const DehoogSum& check,
                              const DehoogSum& cross, bool reached, double relErr, double aliasing,
                              double checkAliasing) {
  const double eps = 2.220446049250313e-16;
  const double inf = std::numeric_limits<double>::infinity();
  DehoogRecord r;
  r.f = sums[0].f;
  double E = std::fmax(std::fmax(sums[0].step, 512.0 * eps * sums[0].size), aliasing);
  bool finite = reached && std::isfinite(sums[0].f) && std::isfinite(E) && !std::isnan(aliasing);
  // Every other set, and the check, must agree within its own round-off.
  for (int c = 1; c <= kDehoogSets; ++c) {
    const DehoogSum& other = c < kDehoogSets ? sums[c] : check;
    const double gap = std::fabs(other.f - sums[0].f);
    const double roundoff = 64.0 * eps * other.size;
    finite = finite && std::isfinite(gap) && std::isfinite(roundoff);
    if (finite && gap > roundoff) E = std::fmax(E, 2.0 * gap);
  }
  // Where the check has converged further than the fractions agree (an
  // oscillation too fast for their few terms: 1/s + 1/(s^2+400) at t = 10),
  // its value is the better one, with twice its last change as its error,
  // and twice its distance from the other line's series where that is more
  // than the other's own round-off and last change (where the other has not
  // converged, it is the other that is off).
  double checkE = std::fmax(std::fmax(2.0 * check.step, 512.0 * eps * check.size), checkAliasing);
  const double crossGap = std::fabs(cross.f - check.f);
  if (!(crossGap <= std::fmax(64.0 * eps * cross.size, 2.0 * cross.step))) checkE = std::fmax(checkE, 2.0 * crossGap);
  if (reached && std::isfinite(check.f) && std::isfinite(checkE) && !std::isnan(checkAliasing) &&
      (!finite || checkE < E)) {
    r.f = check.f;
    E = checkE;
    finite = true;
  }
  r.AbsErrPred = finite ? E : inf;
  const double modulus = std::fabs(r.f);
  r.RelErrPred = finite ? relativeError(r.AbsErrPred, modulus) : inf;
  r.TolFlag = relErr > r.RelErrPred ? 0 : 1;
  return r;
}

std::vector<DehoogRecord> wfnDehoog(StageContext& c, DehoogBuffers& ws, const std::vector<double>& times,
                                    const std::vector<double>& shifts,
                                    const std::vector<double>& relErr,
                                    const std::function<void(int, int)>& progress) {
  const int count = int(times.size());
  std::vector<DehoogRecord> records(times.size());
  // Times done, told to `progress` every kDehoogProgress of them.
  int done = 0, told = 0;
  const auto tell = [&](int more) {
    done += more;
    if (progress && done - told >= kDehoogProgress && done < count) {
      told = done;
      progress(done, count);
    }
  };
  // The groups: the times of a band and a shift, keyed by the two; the
  // groups of one check length (a row's length) are sampled in one launch.
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
      records[i] = dehoogPrediction(none, none[0], none[0], false, relErr[i], NAN, NAN);
      ++done;
    }
  }
  std::map<int, std::vector<const Group*>> byLength;
  for (const auto& g : groups) byLength[dehoogCheckModes(g.second.top)].push_back(&g.second);

  // Rows sampled and not yet summed: a batch's samples stay until their
  // fractions are made, all of them in one task list (a fraction of one set
  // of one group a task), so that the threads share the work of every length.
  struct Row {
    const Group* group;
    int modes;  // the check's terms
    const double2* samples;
  };
  std::vector<std::vector<double2>> sampled;
  std::vector<Row> pending;
  long long pendingBytes = 0;
  const auto sumPending = [&]() {
    struct Task {
      int row, set;
      long long work;  // the quotient-difference table's length, M^2
    };
    std::vector<Task> tasks;
    long long work = 0;
    for (int r = 0; r < int(pending.size()); ++r)
      for (int k = 0; k < kDehoogSets; ++k) {
        const long long M = dehoogSteps(k);
        tasks.push_back(Task{r, k, M * M});
        work += M * M;
      }
    // The longest first, so that no thread is left with one at the end.
    std::stable_sort(tasks.begin(), tasks.end(), [](const Task& x, const Task& y) { return x.work > y.work; });
    std::vector<DehoogFraction> fr(pending.size() * kDehoogSets);
    // The check's filters, made once per length.
    std::map<int, DehoogFilter> filters;
    const auto filter = [&filters](int n) -> const DehoogFilter& {
      auto found = filters.find(n);
      if (found == filters.end()) found = filters.emplace(n, dehoogFilter(n)).first;
      return found->second;
    };
    const int count = int(tasks.size());
    // Shared among threads where the work is worth it (the results are the
    // same whatever the count).
#if defined(_OPENMP)
    const bool share = count > 1 && work >= kDehoogSharedWork;
#pragma omp parallel for schedule(dynamic) if (share)
#endif
    for (int x = 0; x < count; ++x) {
      const Task& task = tasks[std::size_t(x)];
      const Row& row = pending[std::size_t(task.row)];
      fr[std::size_t(task.row) * kDehoogSets + std::size_t(task.set)] =
          dehoogFraction(task.set, row.group->top, row.group->shift,
                         row.samples + dehoogOffset(task.set, row.modes));
    }
    for (std::size_t r = 0; r < pending.size(); ++r) {
      const Row& row = pending[r];
      const DehoogFraction* own = &fr[r * kDehoogSets];
      const bool reached = dehoogCheckHeight(row.modes, row.group->top) >= kDehoogReach;
      const double2* checkSamples = row.samples + dehoogLineOffset(kDehoogCheckLine, row.modes);
      const double2* crossSamples = row.samples + dehoogLineOffset(kDehoogCrossLine, row.modes);
      const DehoogFilter& checkFilter = filter(row.modes);
      const DehoogFilter& crossFilter = filter(row.modes / 2);
      for (int i : row.group->members) {
        const double ti = times[std::size_t(i)];
        DehoogSum sums[kDehoogSets];
        for (int k = 0; k < kDehoogSets; ++k) sums[k] = dehoogSum(own[k], ti);
        const DehoogSum check =
            dehoogCheck(checkSamples, checkFilter, kDehoogCheckPeriod, row.group->top, row.group->shift, ti);
        const DehoogSum cross =
            dehoogCheck(crossSamples, crossFilter, kDehoogCrossPeriod, row.group->top, row.group->shift, ti);
        const double aliasing = dehoogAliasing(own[0], ti, row.group->shift);
        const double checkAliasing = dehoogAliasing(own[kDehoogCheckSet], ti, row.group->shift);
        records[std::size_t(i)] =
            dehoogPrediction(sums, check, cross, reached, relErr[std::size_t(i)], aliasing, checkAliasing);
        tell(1);
      }
    }
    pending.clear();
    sampled.clear();
    pendingBytes = 0;
  };

  for (const auto& entry : byLength) {
    const int modes = entry.first;
    const std::vector<const Group*>& list = entry.second;
    const int row = dehoogRow(modes);
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
      if (pendingBytes > 0 && pendingBytes + (long long)nodeBytes > kDehoogBatchBytes) sumPending();
      const std::size_t rowBytes = std::size_t(rows) * sizeof(double);
      WFN_CHECK(ws.nodes.reserve(nodeBytes));
      WFN_CHECK(ws.times.reserve(2 * rowBytes));
      double2* nodes = ws.nodes.as<double2>();
      double* devTops = ws.times.as<double>();
      double* devShifts = devTops + rows;
      WFN_CHECK(gpu::memcpyHostToDevice(devTops, top.data() + first, rowBytes));
      WFN_CHECK(gpu::memcpyHostToDevice(devShifts, shift.data() + first, rowBytes));
      WFN_CHECK(detail::launch(row, rows, [=] ORVANE_HD(int e, int i) {
        dehoogPoint(e, i, devTops, devShifts, modes, nodes);
      }));
      WFN_CHECK(c.transform.evaluate(nodes, (long long)rows * row, nodes));
      sampled.emplace_back(std::size_t(rows) * row);
      WFN_CHECK(gpu::memcpyDeviceToHost(sampled.back().data(), nodes, nodeBytes));
      for (int r = 0; r < rows; ++r)
        pending.push_back(Row{list[std::size_t(first + r)], modes, sampled.back().data() + std::size_t(r) * row});
      pendingBytes += (long long)nodeBytes;
    }
  }
  if (!pending.empty()) sumPending();
  return records;
}

namespace {

class DehoogMethod final : public InversionMethod {
 public:
  std::vector<Result> invert(StageContext& c, const TimeBatch& batch) override {
    const ShiftedTimes s = shiftedTimes(batch);
    const std::vector<DehoogRecord> found = wfnDehoog(c, buffers_, s.t, s.shift, s.request, batch.progress);
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
      r.N = dehoogSteps(0);
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
