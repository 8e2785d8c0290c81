// The console programs' own names for what they read and report: the
// parameter file's fields (orvane::Parameters, as the file names them) and the
// kept record of one time (WeeksResult), mapped here to and from the
// library's Inputs, Options and Result.
#pragma once

#include <vector>

#include "orvane/orvane.h"
#include "vocabulary/parameter_file.h"

namespace orvane {
typedef detail::FileFields Parameters;
}  // namespace orvane

// The kept result of one inversion time.
struct WeeksResult {
  double Time;
  double2 ft;         // f(t), real and imaginary part
  double sigma;
  double b;
  double AbsErrPred;  // predicted absolute error
  double RelErrPred;  // predicted relative error
  int TolFlag;        // 0: RelErrPred below the requested relative error; 1: not met
  int NLag;           // expansion size N of the kept record (0: nothing was evaluated)
  double tols;        // sigma resolution of the search that gave it (0 with the user's pair)
  double tolb;        // b resolution of that search (0 with the user's pair)
  // The method that produced the record. A Talbot record has NLag the node
  // count of the value kept, sigma the contour's shift and b 0.
  orvane::Method method = orvane::Method("weeks");
};

inline WeeksResult weeksResult(const orvane::Result& r) {
  WeeksResult w;
  w.Time = r.t;
  w.ft.x = r.f.real();
  w.ft.y = r.f.imag();
  w.sigma = r.sigma;
  w.b = r.b;
  w.AbsErrPred = r.abs_err;
  w.RelErrPred = r.rel_err;
  w.TolFlag = r.flag;
  w.NLag = r.N;
  w.tols = r.sigma_step;
  w.tolb = r.b_step;
  w.method = r.method;
  return w;
}

// The times and options of the fields, with the method, the progress
// callback, the check's bounds (strict, max_grid_points) and the larger sizes
// of `request`.
// Throws Error(kSearchSwitch) for a switch other than 0 or 1.
orvane::Inputs consoleInputs(const orvane::Parameters& p, const orvane::Options& request);

// The run the console programs make of the fields (consoleInputs): every time
// with the method, and the file's (sigma, b) shown in the diagnostic lines
// even where it searches.
std::vector<orvane::Result> runParameters(orvane::Solver& solver, const orvane::Parameters& p,
                                          const orvane::Transform& F, const orvane::Options& request);
