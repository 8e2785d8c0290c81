// Per-element bodies of Talbot's method: the contour nodes of every time and
// the weighted sums over them, shared by the CUDA kernels and the host loops.
//
// The contour is the optimised cotangent contour of Trefethen, Weideman and
// Schmelzer ("Talbot quadratures and rational approximations", BIT Numer. Math.
// 46 (2006) 653-670): for N nodes and time t,
//   s(theta) = shift + (N/t) z(theta),
//   z(theta) = -0.6122 + 0.5017 theta cot(0.6407 theta) + 0.2645 i theta,
// theta in (-pi, pi), and the midpoint rule
//   f(t) ~ e^(shift t)/(i t) sum_k e^(N z_k) F(s_k) z'(theta_k),
//   theta_k = -pi + (k + 1/2) 2pi/N.
// Its quadrature error falls like 3.89^(-N) while the largest term grows like
// e^(0.171 N), so in double precision 24 to 32 nodes reach round-off when every
// singularity of F lies inside the contour; singularities far up the imaginary
// axis need more (the contour reaches height 0.83 N/t).
//
// Each time is taken with kTalbotCandidates node counts at once; its row holds
// their nodes one after another (kTalbotRow elements).
#pragma once

#if !defined(__CUDACC_RTC__)
#include <cmath>
#endif

#include "orvane/config.h"

namespace orvane {

// The node counts of a time, in increasing order: the one table of them.
constexpr int kTalbotCandidates = 4;
ORVANE_HD constexpr int talbotNodeCount(int c) {
  return c == 0 ? 24 : c == 1 ? 32 : c == 2 ? 48 : 64;
}
// Where candidate c's nodes start in a time's row, and the row's length.
ORVANE_HD constexpr int talbotOffset(int c) {
  int offset = 0;
  for (int k = 0; k < c; ++k) offset += talbotNodeCount(k);
  return offset;
}
constexpr int kTalbotRow = talbotOffset(kTalbotCandidates);

// The contour point z(theta_k) of node k of N and the derivative z'(theta_k).
struct TalbotNode {
  wcomplex z;
  wcomplex dz;
};

ORVANE_HD inline TalbotNode talbotNode(int k, int N) {
  const wreal a = wreal(-0.6122), b = wreal(0.5017), c = wreal(0.6407), d = wreal(0.2645);
  // Midpoints never fall on theta = 0, where theta cot(c theta) has its removable singularity.
  const wreal theta = (wreal(2 * k + 1 - N) / wreal(N)) * detail::kPi;
  const wreal x = c * theta;
  const wreal sn = sin(x);
  const wreal cot = cos(x) / sn;
  TalbotNode n;
  n.z.x = a + b * theta * cot;
  n.z.y = d * theta;
  n.dz.x = b * (cot - x / (sn * sn));
  n.dz.y = d;
  return n;
}

// The candidate of element e of a time's row.
ORVANE_HD inline int talbotCandidate(int e) {
  int c = 0;
  while (c + 1 < kTalbotCandidates && e >= talbotOffset(c + 1)) ++c;
  return c;
}

// Node body for element e of time i: s = shift_i + (N/t_i) z(theta_k).
ORVANE_HD inline void talbotPoint(int e, int i, const double* times, const double* shifts,
                                  double2* devNodes) {
  const int c = talbotCandidate(e);
  const int N = talbotNodeCount(c);
  const TalbotNode n = talbotNode(e - talbotOffset(c), N);
  const wreal scale = wreal(N) / wreal(times[i]);
  double2 s;
  s.x = double(wreal(shifts[i]) + scale * n.z.x);
  s.y = double(scale * n.z.y);
  devNodes[(long long)i * kTalbotRow + e] = s;
}

// What one candidate of one time sums up.
struct TalbotSum {
  double2 ft;      // the estimate of f(t)
  double size;     // e^(shift t)/t sum |term|: the scale of the round-off in ft
  int jump;        // 1: F jumps between two neighbouring nodes (a branch cut crosses the contour)
};

// Reduction body for candidate c of time i over its nodes, whose F values are
// in devValues (the nodes' places). A jump is a step between neighbours more
// than 8 times the steps on either side of it (and above round-off): F is
// not analytic across the contour there, and the sum is no inversion.
ORVANE_HD inline TalbotSum talbotReduce(int c, int i, const double* times, const double* shifts,
                                        const double2* devValues) {
  const int N = talbotNodeCount(c);
  const double2* F = devValues + (long long)i * kTalbotRow + talbotOffset(c);
  const wreal t = wreal(times[i]);
  wreal sr = 0, si = 0, sa = 0;
  wreal before = -1, step = -1;  // the step before the previous one, and the previous one
  int jump = 0;
  const wreal round = wreal(64) * (ORVANE_SINGLE ? wreal(1.1920929e-07) : wreal(2.220446049250313e-16));
  for (int k = 0; k < N; ++k) {
    const TalbotNode n = talbotNode(k, N);
    const wreal fr = wreal(F[k].x), fi = wreal(F[k].y);
    // term = e^(N z) F z'
    const wreal m = exp(wreal(N) * n.z.x);
    const wreal er = m * cos(wreal(N) * n.z.y), ei = m * sin(wreal(N) * n.z.y);
    const wreal qr = fr * n.dz.x - fi * n.dz.y, qi = fr * n.dz.y + fi * n.dz.x;
    const wreal tr = er * qr - ei * qi, ti = er * qi + ei * qr;
    sr += tr;
    si += ti;
    sa += sqrt(tr * tr + ti * ti);
    if (k > 0) {
      const wreal gr = fr - wreal(F[k - 1].x), gi = fi - wreal(F[k - 1].y);
      const wreal next = sqrt(gr * gr + gi * gi);
      // The previous step against its neighbours on both sides.
      if (before >= 0 && step > wreal(8) * before && step > wreal(8) * next &&
          step > round * sqrt(fr * fr + fi * fi))
        jump = 1;
      before = step;
      step = next;
    }
  }
  const wreal g = exp(wreal(shifts[i]) * t) / t;
  TalbotSum out;
  // e^(shift t)/(i t) (sr + i si)
  out.ft.x = double(g * si);
  out.ft.y = double(-g * sr);
  out.size = double(g * sa);
  out.jump = jump;
  return out;
}

}  // namespace orvane
