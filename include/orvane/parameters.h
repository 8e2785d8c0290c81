// The parameters of a run, as a value: the fields of the parameter file in
// file order. Read them from a parameter file (path or text; the reader checks
// every value and names the line of a bad one) or fill them in code and check()
// them. The defaults are those of the shipped example, with no times.
#pragma once

#include <string>
#include <vector>

namespace orvane {

struct Parameters {
  std::vector<double> Time;       // inversion times t, each 0 or more
  std::vector<double> RelErr;     // requested relative error of each time
  int SearchSwitch = 1;           // 0: the user's (sigma, b) of each time; 1: search a grid
  std::vector<int> NLag{64};      // expansion sizes N, tried in order, each 1 or more
  std::vector<double> sigmaUser;  // the user's sigma of each time (SearchSwitch 0; may be
  std::vector<double> bUser;      // left empty with a search); b positive
  double sigmin = 0.0;            // sigma search range [sigmin, sigmax)
  double sigmax = 30.0;
  std::vector<double> tols{1.0, 0.5};  // sigma grid step of each tolerance
  double bmax = 30.0;                  // b search range (0, bmax]
  std::vector<double> tolb{1.0, 0.5};  // b grid step of each tolerance

  int Ntimes() const { return int(Time.size()); }
  int Nsizes() const { return int(NLag.size()); }
  int Ntol() const { return int(tols.size()); }

  // Reads and checks a parameter file. `name` is how messages call the file
  // ("UserParameters.txt, line 19: expected ..."); it defaults to the path.
  // Throws Error(kParameterFile).
  static Parameters fromFile(const std::string& path, const std::string& name = "");
  static Parameters fromText(const std::string& text, const std::string& name = "UserParameters.txt");

  // The reader's checks on parameters built in code: list lengths, counts,
  // sizes, times, the user's b, and (with SearchSwitch 1) a usable grid at every
  // tolerance. A SearchSwitch other than 0 or 1 is left to the run, as in a
  // file. Throws Error(kParameters) naming the field.
  void check() const;
};

}  // namespace orvane
