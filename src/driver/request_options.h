// What a run asks, given on the command line: the times, the requested
// relative errors, the expansion sizes, the search's range and resolutions or
// the user's own (sigma, b). With times on the command line no parameter file
// is needed; with a parameter file these options override its fields.
#pragma once

#include <string>
#include <vector>

#include "driver/console_records.h"

namespace CLI {
class App;
}

struct RequestOptions {
  // The text of each option as given; empty when absent.
  std::string t, tRange, relErr, sizes, sigma, bMax, resolutions, userPair, maxGridPoints;

  bool givesTimes() const { return !t.empty() || !tRange.empty(); }
};

// Adds --t, --t-range, --rel-err, --sizes, --sigma, --b-max, --resolutions,
// --max-grid-points and --user-pair to `app`, each filling its field of `request`.
void addRequestOptions(CLI::App& app, RequestOptions& request);

// The parsed request; throws orvane::Error(kParameters) whose message names the
// option and the item ("--t, item 2: expected a real number of at least 0,
// found \"x\"").
struct Request {
  std::vector<double> times;     // --t then --t-range; empty: not given
  std::vector<double> relErr;    // one, or one per time
  std::vector<int> sizes;
  bool sigmaGiven = false;
  double sigmin = 0.0, sigmax = 0.0;
  bool bMaxGiven = false;
  double bmax = 0.0;
  std::vector<double> tols, tolb;           // --resolutions
  std::vector<double> sigmaUser, bUser;     // --user-pair: one, or one per time
  long long maxGridPoints = orvane::Options().max_grid_points;  // --max-grid-points
};
Request parseRequest(const RequestOptions& options);

// Applies the request to fields read from a parameter file (or to the
// defaults, with `fromFile` false) and checks the result as a whole: counts
// that agree with the times, a search grid that fits its range and the bound
// of its points (maxGridPoints). Throws
// orvane::Error(kParameters) naming the option to change.
void applyRequest(const Request& request, bool fromFile, orvane::Parameters& fields);

// The fields of the run: the parameter file's (at `path`, when `path` is not
// empty) with the request applied, else the defaults with it. A file that
// cannot be opened is named with its folder; `given` says whether the user
// named it (else the hint says how to run without one).
orvane::Parameters requestedFields(const std::string& path, bool given, const Request& request);
