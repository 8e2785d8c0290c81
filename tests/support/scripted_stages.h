// Test support: a stand-in solver with the run loop's fields, and stages that
// return scripted predictions and record how they were called.
#pragma once

#include <cmath>
#include <vector>

#include "driver/weeks_method.h"

struct FakeSolver {
  int Ntimes = 1;
  std::vector<double> TimeV{0.5}, RelErrV{1e-6}, sigmaUserV{0.25}, bUserV{2.0};
  int SearchSwitch = 1;
  int Nsizes = 1;
  std::vector<int> NLagV{64};
  int Ntol = 1;
  double sigmin = 0, sigmax = 30, bmax = 30;
  std::vector<double> tolsV{1.0}, tolbV{1.0};
  std::vector<WeeksResult> ResultsV;
  double *Time, *RelErr, *sigmaUser, *bUser, *tols, *tolb;
  int* NLag;
  WeeksResult* Results;

  // Points the raw fields at the vectors; call after changing any of them.
  void bind() {
    Ntimes = int(TimeV.size());
    Nsizes = int(NLagV.size());
    Ntol = int(tolsV.size());
    ResultsV.assign(TimeV.size(), WeeksResult{});
    Time = TimeV.data();
    RelErr = RelErrV.data();
    sigmaUser = sigmaUserV.data();
    bUser = bUserV.data();
    tols = tolsV.data();
    tolb = tolbV.data();
    NLag = NLagV.data();
    Results = ResultsV.data();
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
