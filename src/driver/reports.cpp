// Console reports: the parameters read from "UserParameters.txt" before the
// run, the chosen result of every time after it, and the elapsed time. Each
// report sets the notation of its stream and leaves it in force.
#include "driver/reports.h"

#include <cstdlib>
#include <iostream>

namespace {

// A list: the label, then every element followed by one blank.
template <class T>
void writeList(std::ostream& out, const char* label, const T* values, int count) {
  out << label;
  for (int i = 0; i < count; ++i) out << values[i] << " ";
  out << std::endl;
}

}  // namespace

bool writeInputReport(const WeeksMethod& w, std::ostream& out) {
  out << std::fixed;
  out << "# inversion times: " << w.Ntimes << std::endl;
  writeList(out, "Time: ", w.Time, w.Ntimes);
  writeList(out, "Relative Error: ", w.RelErr, w.Ntimes);
  out << "Search Switch [0-user defined (sigma,b), 1-optimization]: " << w.SearchSwitch
      << std::endl;
  out << "# expansion sizes: " << w.Nsizes << std::endl;
  // The sizes are written as doubles, in the fixed notation (64.000000).
  out << "Expansion sizes: ";
  for (int j = 0; j < w.Nsizes; ++j) out << double(w.NLag[j]) << " ";
  out << std::endl;

  if (w.SearchSwitch == 0) {
    out << "User specified (sigma,b) inputs: " << std::endl;
    writeList(out, "sigma: ", w.sigmaUser, w.Ntimes);
    writeList(out, "b: ", w.bUser, w.Ntimes);
    return true;
  }
  if (w.SearchSwitch == 1) {
    out << "Automated search for optimal (sigma,b) values: " << std::endl;
    out << "Total # of tolerances attempted: " << w.Ntol << std::endl;
    out << "Minimum sigma: " << w.sigmin << std::endl;
    out << "Maximum sigma: " << w.sigmax << std::endl;
    writeList(out, "sigma resolution: ", w.tols, w.Ntol);
    out << "Maximum b: " << w.bmax << std::endl;
    writeList(out, "b resolution: ", w.tolb, w.Ntol);
    out << "--------------------" << std::endl;
    return true;
  }
  return false;
}

void writeResultReport(const WeeksMethod& w, std::ostream& out) {
  out << std::scientific;
  for (int i = 0; i < w.Ntimes; ++i) {
    const WeeksResult& r = w.Results[i];
    out << std::endl;
    out << "Time = " << r.Time << std::endl;
    // A negative imaginary part keeps its sign after the " + ".
    out << "f(t) = " << r.ft.x << " + " << r.ft.y << "I" << std::endl;
    out << "sigma = " << r.sigma << std::endl;
    out << "b = " << r.b << std::endl;
    out << "Absolute Error Prediction = " << r.AbsErrPred << std::endl;
    out << "Relative Error Prediction = " << r.RelErrPred << std::endl;
    out << "Tolerance Flag = " << r.TolFlag << std::endl;
  }
}

void writeWalkClockTime(long long elapsedMilliseconds, std::ostream& out) {
  double seconds = double(elapsedMilliseconds) / 1000.0;
  out << std::endl;
  out << "Walk clock time = " << seconds << std::endl;
}

void WeeksMethod::wfnDisplayInputs() {
  if (writeInputReport(*this, std::cout)) return;
  std::cerr << "Incorrect selection for the SearchSwitch variable." << std::endl;
  std::cerr << "Press <ENTER> to exit the program." << std::endl;
  std::cin.get();
  std::exit(1);
}

void WeeksMethod::wfnDisplayResults() { writeResultReport(*this, std::cout); }
