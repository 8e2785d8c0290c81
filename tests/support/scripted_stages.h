// Test support: parameters for the run loop, and stages that
// return scripted predictions and record how they were called.
#pragma once

#include <cmath>
#include <ostream>
#include <vector>

#include "driver/console_records.h"
#include "methods/weeks/run_loop.h"
#include "support/engine_names.h"

struct FakeSolver {
  std::vector<double> TimeV{0.5}, RelErrV{1e-6}, sigmaUserV{0.25}, bUserV{2.0};
  int SearchSwitch = 1;
  std::vector<int> NLagV{64};
  double sigmin = 0, sigmax = 30, bmax = 30;
  std::vector<double> tolsV{1.0}, tolbV{1.0};
  orvane::Parameters params;
  std::vector<WeeksResult> Results;

  // Copies the vectors into the parameters; call after changing any of them.
  void bind() {
    params.Time = TimeV;
    params.RelErr = RelErrV;
    params.sigmaUser = sigmaUserV;
    params.bUser = bUserV;
    params.SearchSwitch = SearchSwitch;
    params.NLag = NLagV;
    params.sigmin = sigmin;
    params.sigmax = sigmax;
    params.bmax = bmax;
    params.tols = tolsV;
    params.tolb = tolbV;
  }

  // The run loop over every time of the parameters, as the console runs it
  // (the file's pairs in the echo lines), into Results.
  template <class Stages>
  void run(Stages& stages, std::ostream* diag) {
    const orvane::Inputs in = orvane::detail::inputsOf(params);
    std::vector<int> which;
    std::vector<orvane::Pair> shown;
    for (std::size_t i = 0; i < params.Time.size(); ++i) {
      which.push_back(int(i));
      shown.push_back(orvane::Pair{params.sigmaUser[i], params.bUser[i]});
    }
    std::vector<orvane::Result> records;
    orvane::runLoop(orvane::WeeksRun{in.t, in.options, which, &shown}, stages, records, diag);
    Results.clear();
    for (const orvane::Result& r : records) Results.push_back(weeksResult(r));
  }
};

struct Call {
  double t;
  int N;
  double sigma, b, tols, tolb;
};

// Evaluation e (0, 1, ...) returns f(t) = e + 0i and the e-th scripted
// RelErrPred, with the flag as the error prediction would set it.
struct ScriptedStages {
  std::vector<double> rel;
  std::vector<Call> searches, cores, estimates;
  double lastTols = 0, lastTolb = 0;

  SigmaB paramEst(double t, int N, double, double, double, double tols, double tolb) {
    searches.push_back(Call{t, N, 0, 0, tols, tolb});
    lastTols = tols;
    lastTolb = tolb;
    // A pair that names the tolerance, so the record shows which search it used.
    return SigmaB{tols * 10, tolb * 100};
  }
  CoreResult weeksCore(double t, int N, double sigma, double b) {
    cores.push_back(Call{t, N, sigma, b, lastTols, lastTolb});
    CoreResult r;
    r.Time = t;
    r.ft.x = double(cores.size() - 1);
    r.ft.y = 0;
    r.sigma = sigma;
    r.b = b;
    return r;
  }
  ErrorPrediction errorEst(double2 ft, double t, int N, double sigma, double b, double relErr) {
    estimates.push_back(Call{t, N, sigma, b, ft.x, relErr});
    ErrorPrediction p;
    p.RelErrPred = estimates.size() <= rel.size() ? rel[estimates.size() - 1] : 1.0;
    p.AbsErrPred = p.RelErrPred * 2;
    p.TolFlag = relErr > p.RelErrPred ? 0 : 1;
    return p;
  }
};
