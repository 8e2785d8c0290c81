// The records a run produces. WeeksResult is the result of one inversion time;
// CoreResult, ErrorPrediction and SigmaB are what the inversion core, the error
// prediction and the parameter search hand to the run loop.
#pragma once

#include "orvane/complex.h"
#include "orvane/method.h"

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
  orvane::Method method = orvane::Method::kWeeks;
};

// What the inversion core returns.
struct CoreResult {
  double Time;
  double2 ft;
  double sigma;
  double b;
};

// What the error prediction returns.
struct ErrorPrediction {
  double AbsErrPred;
  double RelErrPred;
  int TolFlag;
};

// A (sigma, b) pair chosen by the parameter search.
struct SigmaB {
  double sigma;
  double b;
};
