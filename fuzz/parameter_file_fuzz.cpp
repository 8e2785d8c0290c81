// Fuzz target: any bytes as "UserParameters.txt". Every input must end either
// in fields that keep the invariants below and whose inputs pass the options'
// check (or, for a SearchSwitch other than 0 or 1, are refused as such), or in
// one Error of kind kParameterFile with a printable one-line message naming
// the file and a line. Anything else aborts the run.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>

#include "orvane/error.h"
#include "vocabulary/parameter_file.h"

namespace {

void require(bool condition, const char* what) {
  if (!condition) {
    std::cerr << "fuzz invariant broken: " << what << std::endl;
    std::abort();
  }
}

// The invariants the run relies on, written out here on their own rather than
// through the reader's rules, so that a fault shared by the reader and
// Options::check() still shows.
void checkInvariants(const orvane::detail::FileFields& p) {
  const std::size_t times = p.Time.size();
  require(p.Nsizes() >= 1 && p.Ntol() >= 1, "Nsizes and Ntol >= 1");
  require(p.RelErr.size() == times && p.sigmaUser.size() == times && p.bUser.size() == times,
          "per-time lists have Ntimes values");
  require(p.tolb.size() == p.tols.size(), "resolution lists have Ntol values");
  for (double t : p.Time) require(t >= 0.0 && std::isfinite(t), "times finite and >= 0");
  for (int n : p.NLag) require(n >= 1, "expansion sizes >= 1");
  if (p.SearchSwitch == 0) {
    for (double b : p.bUser) require(b > 0.0 && std::isfinite(b), "user b finite and positive");
  }
  if (p.SearchSwitch == 1) {
    require(std::isfinite(p.sigmax - p.sigmin), "finite sigma range");
    for (int k = 0; k < p.Ntol(); ++k) {
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
  const std::string text(reinterpret_cast<const char*>(data), size);
  orvane::detail::FileFields parameters;
  try {
    parameters = orvane::detail::FileFields::fromText(text);
  } catch (const orvane::Error& e) {
    const std::string error = e.what();
    require(e.kind() == orvane::ErrorKind::kParameterFile, "refused as a parameter file");
    require(error.rfind("UserParameters.txt, line ", 0) == 0, "message names the file and line");
    require(error.find('\n') == std::string::npos, "message is one line");
    for (char c : error) require(c >= 0x20 && c < 0x7f, "message is printable ASCII");
    return 0;
  }
  checkInvariants(parameters);
  try {
    // As the console program runs its file: the format's rules, not the
    // library's further bounds (a request of 0, a size of 1024, a fine grid).
    orvane::Inputs in = orvane::detail::inputsOf(parameters);
    in.options.strict = false;
    in.options.check(in.t);
  } catch (const orvane::Error& e) {
    if (e.kind() == orvane::ErrorKind::kSearchSwitch && parameters.SearchSwitch != 0 &&
        parameters.SearchSwitch != 1)
      return 0;
    std::cerr << "check() refuses what the reader accepted: " << e.what() << std::endl;
    std::abort();
  }
  return 0;
}
