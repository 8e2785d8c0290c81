// Console reports: the device check, the parameters read from
// "UserParameters.txt" before the run, the chosen result of every time after
// it, and the elapsed time. Each report sets the notation of its stream and
// leaves it in force.
#include "driver/reports.h"

#include <cmath>
#include <iostream>
#include <limits>

#include "orvane/error.h"

namespace {

// A NaN of either sign is written "nan" (the C library writes "-nan" for one
// whose sign bit is set).
double shown(double v) { return std::isnan(v) ? std::numeric_limits<double>::quiet_NaN() : v; }

// A list: the label, then every element followed by one blank.
template <class T>
void writeList(std::ostream& out, const char* label, const T* values, int count) {
  out << label;
  for (int i = 0; i < count; ++i) out << values[i] << " ";
  out << std::endl;
}

}  // namespace

bool writeInputReport(const orvane::Parameters& w, std::ostream& out) {
  const int Ntimes = w.Ntimes(), Nsizes = w.Nsizes(), Ntol = w.Ntol();
  out << std::fixed;
  out << "# inversion times: " << Ntimes << std::endl;
  writeList(out, "Time: ", w.Time.data(), Ntimes);
  writeList(out, "Relative Error: ", w.RelErr.data(), Ntimes);
  out << "Search Switch [0-user defined (sigma,b), 1-optimization]: " << w.SearchSwitch
      << std::endl;
  out << "# expansion sizes: " << Nsizes << std::endl;
  // The sizes are written as doubles, in the fixed notation (64.000000).
  out << "Expansion sizes: ";
  for (int j = 0; j < Nsizes; ++j) out << double(w.NLag[j]) << " ";
  out << std::endl;

  if (w.SearchSwitch == 0) {
    out << "User specified (sigma,b) inputs: " << std::endl;
    writeList(out, "sigma: ", w.sigmaUser.data(), int(w.sigmaUser.size()));
    writeList(out, "b: ", w.bUser.data(), int(w.bUser.size()));
    return true;
  }
  if (w.SearchSwitch == 1) {
    out << "Automated search for optimal (sigma,b) values: " << std::endl;
    out << "Total # of tolerances attempted: " << Ntol << std::endl;
    out << "Minimum sigma: " << w.sigmin << std::endl;
    out << "Maximum sigma: " << w.sigmax << std::endl;
    writeList(out, "sigma resolution: ", w.tols.data(), Ntol);
    out << "Maximum b: " << w.bmax << std::endl;
    writeList(out, "b resolution: ", w.tolb.data(), Ntol);
    out << "--------------------" << std::endl;
    return true;
  }
  return false;
}

bool writeInputReport(const WeeksMethod& w, std::ostream& out) {
  return writeInputReport(w.parameters(), out);
}

void writeResultReport(const WeeksResult* results, int count, std::ostream& out, bool showMethod) {
  out << std::scientific;
  for (int i = 0; i < count; ++i) {
    const WeeksResult& r = results[i];
    out << std::endl;
    out << "Time = " << shown(r.Time) << std::endl;
    // A negative imaginary part keeps its sign after the " + ".
    out << "f(t) = " << shown(r.ft.x) << " + " << shown(r.ft.y) << "I" << std::endl;
    out << "sigma = " << shown(r.sigma) << std::endl;
    out << "b = " << shown(r.b) << std::endl;
    out << "Absolute Error Prediction = " << shown(r.AbsErrPred) << std::endl;
    out << "Relative Error Prediction = " << shown(r.RelErrPred) << std::endl;
    out << "Tolerance Flag = " << r.TolFlag << std::endl;
    if (showMethod) out << "Method = " << orvane::methodName(r.method) << std::endl;
  }
}

void writeResultReport(const WeeksMethod& w, std::ostream& out) {
  writeResultReport(w.Results, w.Ntimes, out);
}

void writeWalkClockTime(long long elapsedMilliseconds, std::ostream& out) {
  double seconds = double(elapsedMilliseconds) / 1000.0;
  out << std::endl;
  out << "Walk clock time = " << seconds << std::endl;
}

void writeBanner(std::ostream& out) {
  out << "Orvane " << std::endl << "with CUDA Acceleration" << std::endl << "Tessaly" << std::endl;
  out << std::endl;
}

void writeDeviceDescription(int count, const orvane::DeviceInfo& d, std::ostream& out) {
  // The first line repeats the device count, not the index of the device described.
  out << "Information for the CUDA device = " << count << std::endl;
  out << "Name: " << d.name << std::endl;
  out << "Maximum number of threads per block: " << d.maxThreadsPerBlock << std::endl;
  out << "Maximum threads dimensions: [ " << d.maxThreadsDim[0] << ", " << d.maxThreadsDim[1]
      << ", " << d.maxThreadsDim[2] << "]" << std::endl;
  out << "Maximum grid size: [ " << d.maxGridSize[0] << ", " << d.maxGridSize[1] << ", "
      << d.maxGridSize[2] << "]" << std::endl;
  out << "Warp size: " << d.warpSize << std::endl;
  out << "Computer Capability: " << d.major << "." << d.minor << std::endl;
  out << std::endl;
  out << std::endl;
}

void writeDeviceCheck(const orvane::DeviceCheck& check, std::ostream& out, std::ostream& err) {
  out << "Number of CUDA enabled devices = " << check.count << std::endl;
  if (!check.countFailure.empty()) {
    err << "The CUDA runtime could not count the devices: " << check.countFailure << std::endl;
  } else if (!check.describeFailure.empty()) {
    err << "The CUDA runtime could not describe device 0: " << check.describeFailure << std::endl;
  } else if (check.count > 0) {
    writeDeviceDescription(check.count, check.device, out);
  }
}

void WeeksMethod::wfnCheckGPU() {
  const orvane::DeviceCheck check = orvane::checkDevice();
  writeDeviceCheck(check, std::cout, std::cerr);
  orvane::requireDevice(check);
  const orvane::DeviceInfo& d = check.device;
  warpSize = d.warpSize;
  maxThreadsPerBlock = d.maxThreadsPerBlock;
  for (int k = 0; k < 3; ++k) {
    maxThreadsDim[k] = d.maxThreadsDim[k];
    maxGridSize[k] = d.maxGridSize[k];
  }
  major = d.major;
  minor = d.minor;
  makeSolver(check);
}

void WeeksMethod::wfnDisplayInputs() {
  if (!writeInputReport(*this, std::cout)) orvane::detail::refuseSearchSwitch();
}

void WeeksMethod::wfnDisplayResults() { writeResultReport(*this, std::cout); }
