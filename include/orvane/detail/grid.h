// The (sigma, b) grid of a parameter search: Nsigma x Nb points over
// [sigmin, sigmax) x (0, bmax]. Row r = i*Nb + j holds the pair
//   sigma_i = sigmin + (i/Nsigma)(sigmax - sigmin),  b_j = ((j+1)/Nb) bmax.
// Indices are split by integer division, exact for every row of a grid that
// fits an int; the values come in the precision asked for (the working
// precision in kernels, double for the pair a search returns).
#pragma once

#include "orvane/config.h"

namespace orvane {
namespace detail {

struct Grid {
  double sigmin = 0.0;
  double sigmax = 0.0;
  int Nsigma = 0;
  double bmax = 0.0;
  int Nb = 0;

  // The grid of the one pair (sigma, b): row 0 holds exactly that pair.
  ORVANE_HD static Grid single(double sigma, double b) {
    Grid g;
    g.sigmin = g.sigmax = sigma;
    g.Nsigma = 1;
    g.bmax = b;
    g.Nb = 1;
    return g;
  }

  ORVANE_HD long long points() const { return (long long)Nsigma * Nb; }
  ORVANE_HD int sigmaIndex(int r) const { return r / Nb; }
  ORVANE_HD int bIndex(int r) const { return r - (r / Nb) * Nb; }
  template <class R>
  ORVANE_HD R sigma(int i) const {
    return R(sigmin) + (R(i) / R(Nsigma)) * (R(sigmax) - R(sigmin));
  }
  template <class R>
  ORVANE_HD R b(int j) const {
    return (R(j + 1) / R(Nb)) * R(bmax);
  }
};

}  // namespace detail
}  // namespace orvane
