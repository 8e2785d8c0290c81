// The console program's solver object: the parameters read from
// "UserParameters.txt", the limits of device 0 and the table of results, with
// the console's stages (device check, reports, run) as its operations. The
// numerical work is the library's: Run hands the parameters and the
// compiled-in transform to an orvane::Solver. Failures arrive as orvane::Error
// and are reported by the program's entry.
#pragma once

#include <memory>

#include "driver/console_records.h"
#include "orvane/config.h"
#include "orvane/solver.h"

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

  // Reads "UserParameters.txt" from the working directory; throws
  // Error(kParameterFile) naming the line when the file is missing or malformed.
  WeeksMethod();
  // From parameters already read and checked; writes nothing.
  explicit WeeksMethod(const orvane::Parameters& parameters);
  WeeksMethod(const WeeksMethod& other);
  WeeksMethod& operator=(const WeeksMethod& other);
  // Writes "Destruction complete..." unless an exception is unwinding the
  // program (a failed run ends without it).
  ~WeeksMethod();

  // Device check: describes device 0 on the console; throws Error(kNoDevice)
  // when it is not usable.
  void wfnCheckGPU();
  // Console reports; the input report throws Error(kSearchSwitch) for a
  // SearchSwitch other than 0 or 1.
  void wfnDisplayInputs();
  void wfnDisplayResults();
  // Run loop: fills Results.
  void Run();

  // The parameters as the library takes them.
  orvane::Parameters parameters() const;

 private:
  // Made by the device check (or the first run), not copied: a copy makes its own.
  std::unique_ptr<orvane::Solver> solver_;
  void makeSolver(const orvane::DeviceCheck& check);

  void fillFrom(const orvane::Parameters& parameters);
  void copyFrom(const WeeksMethod& other);
  void release();
};
