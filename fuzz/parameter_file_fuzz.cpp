// Fuzz target: any bytes as "UserParameters.txt". Every input must end either
// in a consistent set of parameters (which the input report can list) or in
// one message naming the file and a line. Anything else aborts the run.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

#include "solver/parameter_file.h"
#include "driver/reports.h"
#include "driver/weeks_method.h"

namespace {

void require(bool condition, const char* what) {
  if (!condition) {
    std::cerr << "fuzz invariant broken: " << what << std::endl;
    std::abort();
  }
}

void checkParameters(const ParsedParameters& p) {
  require(p.Ntimes >= 0, "Ntimes >= 0");
  require(p.Nsizes >= 1 && p.Ntol >= 1, "Nsizes and Ntol >= 1");
  require(p.Time.size() == std::size_t(p.Ntimes) && p.RelErr.size() == std::size_t(p.Ntimes) &&
              p.sigmaUser.size() == std::size_t(p.Ntimes) && p.bUser.size() == std::size_t(p.Ntimes),
          "per-time lists have Ntimes values");
  require(p.NLag.size() == std::size_t(p.Nsizes), "NLag has Nsizes values");
  require(p.tols.size() == std::size_t(p.Ntol) && p.tolb.size() == std::size_t(p.Ntol),
          "resolution lists have Ntol values");
  for (int n : p.NLag) require(n >= 1, "expansion sizes >= 1");
  if (p.SearchSwitch == 1) {
    require(std::isfinite(p.sigmax - p.sigmin), "finite sigma range");
    for (int k = 0; k < p.Ntol; ++k) {
      require(p.tols[k] > 0 && p.tolb[k] > 0, "resolutions positive");
      require((p.sigmax - p.sigmin) / p.tols[k] >= 1.0 && p.bmax / p.tolb[k] >= 1.0,
              "at least one grid point");
      require(std::floor((p.sigmax - p.sigmin) / p.tols[k]) <= 2147483647.0 &&
                  std::floor(p.bmax / p.tolb[k]) <= 2147483647.0,
              "grid counts fit an int");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool quiet = [] {
    std::cout.setstate(std::ios::badbit);  // the solver object announces itself; not wanted here
    return true;
  }();
  (void)quiet;
  const std::string text(reinterpret_cast<const char*>(data), size);
  ParsedParameters parameters;
  std::string error;
  if (parseParameters(text, parameters, error)) {
    checkParameters(parameters);
    WeeksMethod weeks(parameters);
    std::ostringstream report;
    bool listed = writeInputReport(weeks, report);
    require(listed == (parameters.SearchSwitch == 0 || parameters.SearchSwitch == 1),
            "the report refuses exactly the switches other than 0 and 1");
  } else {
    require(error.rfind("UserParameters.txt, line ", 0) == 0, "message names the file and line");
    require(error.find('\n') == std::string::npos, "message is one line");
    for (char c : error) require(c >= 0x20 && c < 0x7f, "message is printable ASCII");
  }
  return 0;
}
