// The solver object of a run: the parameters read from "UserParameters.txt",
// the limits of device 0 and the table of results. Every stage of the program
// is an operation of this one object.
#pragma once

#include "orvane/config.h"

struct ParsedParameters;
namespace orvane {
class ErrorSumsCache;
}

// The stored result of one inversion time.
struct WeeksResult {
  double Time;
  double2 ft;
  double sigma;
  double b;
  double AbsErrPred;
  double RelErrPred;
  int TolFlag;  // 0: RelErrPred below the requested relative error; 1: not met
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

class WeeksMethod {
 public:
  // Parameters, in file order.
  int Ntimes;
  double* Time;
  double* RelErr;
  int SearchSwitch;
  int Nsizes;
  int* NLag;
  double* sigmaUser;
  double* bUser;
  int Ntol;
  double sigmin;
  double sigmax;
  double* tols;
  double bmax;
  double* tolb;
  WeeksResult* Results;

  // Limits of device 0, filled by wfnCheckGPU.
  int warpSize;
  int maxThreadsPerBlock;
  int maxThreadsDim[3];
  int maxGridSize[3];
  int major;
  int minor;

  // Reads "UserParameters.txt" from the working directory; ends the program
  // with a message naming the line when the file is missing or malformed.
  WeeksMethod();
  // From parameters already read and checked; writes nothing.
  explicit WeeksMethod(const ParsedParameters& parameters);
  WeeksMethod(const WeeksMethod& other);
  WeeksMethod& operator=(const WeeksMethod& other);
  ~WeeksMethod();

  // Device check: describes device 0, refuses unusable devices.
  void wfnCheckGPU();
  // Console reports.
  void wfnDisplayInputs();
  void wfnDisplayResults();
  // Run loop: fills Results.
  void Run();

  // Coefficient pipeline over a batch of (sigma, b) pairs, in place in devData.
  void wfngpuFFTLagCoef(int Ncoeff, int Nsamples, int Nsigma, int Nb, int Nbatch, int Ncombo,
                        double sigmin, double sigmax, double bmax, double2* devData);
  // Error estimates of a (sigma, b) grid at one time, into the host array Errorvec.
  void wfnErrorCore(double TimeInput, int Nsigma, int Nb, int NLaguerre, double sigmin,
                    double sigmax, double bmax, double* Errorvec);
  // Parameter search over the grid of one tolerance.
  SigmaB wfnParamEst(double TimeInput, int NLagInput, double sigmin, double sigmax, double bmax,
                     double tolsInput, double tolbInput);
  // Error prediction for a computed f(t).
  ErrorPrediction wfnErrorEst(double2 ft, double TimeInput, int NLagInput, double sigma, double b,
                              double RelErrInput);
  // Inversion core: f(t) for one time, size and (sigma, b).
  CoreResult wfnWeeksCore(double t, int N, double sigma, double b);
  // Clenshaw summation of the Laguerre series.
  double2 wfnClenshaw(int N, double t, double sigma, double b, const double2* a) const;

 private:
  // The error sums of the grids this object's searches have evaluated: a grid's
  // sums do not depend on the time, so every time that searches it reuses them.
  // Made on the first search; a copy starts without one.
  orvane::ErrorSumsCache* searchCache_ = nullptr;
  static void releaseSearchCache(orvane::ErrorSumsCache* cache);

  void fillFrom(const ParsedParameters& parameters);
  void copyFrom(const WeeksMethod& other);
  void release();
};
