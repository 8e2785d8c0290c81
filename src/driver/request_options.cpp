// The run's request from the command line: parsing of each option's list,
// then the fields of the run with the request applied and checked as a whole.
#include "driver/request_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "orvane/error.h"

namespace {

using orvane::detail::finiteRule;

[[noreturn]] void refuse(const std::string& message) {
  throw orvane::Error(orvane::ErrorKind::kParameters, message);
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// The items of a list "a,b,c" (blanks around an item ignored); an empty item
// is kept, so that it is refused as "expected ..., found \"\"".
std::vector<std::string> items(const std::string& text, char separator) {
  std::vector<std::string> out;
  std::string item;
  std::istringstream in(text);
  while (std::getline(in, item, separator)) {
    const auto first = item.find_first_not_of(" \t");
    const auto last = item.find_last_not_of(" \t");
    out.push_back(first == std::string::npos ? "" : item.substr(first, last - first + 1));
  }
  if (!text.empty() && text.back() == separator) out.push_back("");
  return out;
}

// Where an item sits, for a message: "--t" for the only one, else "--t, item 2".
std::string where(const char* option, std::size_t k, std::size_t count) {
  return count == 1 ? option : std::string(option) + ", item " + std::to_string(k + 1);
}

// A finite real number; `rule` is what else is expected of it.
double real(const std::string& text, const std::string& place, std::string (*rule)(double) = finiteRule) {
  errno = 0;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  const bool number = !text.empty() && end == text.c_str() + text.size() && errno != ERANGE;
  const std::string broken = !number ? "a real number" : !finiteRule(v).empty() ? finiteRule(v) : rule(v);
  if (!broken.empty() && !number) refuse(place + ": expected a real number, found " + quoted(text));
  if (!broken.empty()) refuse(place + ": expected " + broken + ", found " + quoted(text));
  return v;
}

int integer(const std::string& text, const std::string& place, const std::string& expected, long most = 1000000) {
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || end != text.c_str() + text.size() || errno == ERANGE || v < 1 || v > most)
    refuse(place + ": expected " + expected + ", found " + quoted(text));
  return int(v);
}

std::vector<double> reals(const std::string& text, const char* option,
                          std::string (*rule)(double) = finiteRule) {
  std::vector<double> out;
  const std::vector<std::string> list = items(text, ',');
  for (std::size_t k = 0; k < list.size(); ++k) out.push_back(real(list[k], where(option, k, list.size()), rule));
  return out;
}

// "A:B" as two reals, each with its rule.
std::pair<double, double> pairOf(const std::string& text, const std::string& place, const char* shape,
                                 std::string (*first)(double), std::string (*second)(double)) {
  const std::vector<std::string> parts = items(text, ':');
  if (parts.size() != 2) refuse(place + ": expected " + shape + ", found " + quoted(text));
  return {real(parts[0], place, first), real(parts[1], place, second)};
}

std::string positiveStep(double v) { return v > 0 ? "" : "a positive real number"; }

// The times START:STOP:COUNT[:log]: COUNT times from START to STOP, evenly
// spaced, or with log evenly spaced in log t (START and STOP then above 0).
std::vector<double> timeRange(const std::string& text) {
  const std::vector<std::string> parts = items(text, ':');
  const bool log = parts.size() == 4 && parts[3] == "log";
  if (parts.size() != 3 && !log) refuse("--t-range: expected START:STOP:COUNT or START:STOP:COUNT:log, found " + quoted(text));
  std::string (*rule)(double) = log ? orvane::detail::positiveRule : orvane::detail::inversionTimeRule;
  const char* spacing = log ? " (log spacing)" : "";
  const double start = real(parts[0], std::string("--t-range, START") + spacing, rule);
  const double stop = real(parts[1], std::string("--t-range, STOP") + spacing, rule);
  const int count = integer(parts[2], "--t-range, COUNT", "a whole number from 1 to 1000000");
  std::vector<double> out;
  for (int k = 0; k < count; ++k) {
    const double at = count == 1 ? 0.0 : double(k) / double(count - 1);
    out.push_back(log ? start * std::pow(stop / start, at) : start + (stop - start) * at);
  }
  if (count > 1) out.back() = stop;
  return out;
}

// A per-time list of `count` values from one value or one per time.
template <class T>
std::vector<T> perTime(const std::vector<T>& values, std::size_t count, const char* option) {
  if (values.size() == 1) return std::vector<T>(count, values[0]);
  if (values.size() == count) return values;
  refuse(std::string(option) + ": " + std::to_string(values.size()) + " values for " +
         std::to_string(count) + " times; give one value for every time, or one per time");
}

// The file's per-time values for a new number of times: kept when they still
// fit, spread when they are all alike, else refused (`option` sets them).
std::vector<double> refit(const std::vector<double>& values, std::size_t count, const char* what,
                          const char* option) {
  if (values.size() == count) return values;
  if (!values.empty() && std::all_of(values.begin(), values.end(), [&](double v) { return v == values[0]; }))
    return std::vector<double>(count, values[0]);
  refuse("the parameter file's " + std::string(what) + " differ from time to time and do not fit the " +
         std::to_string(count) + " times of the command line; give " + option + " as well");
}

}  // namespace

void addRequestOptions(CLI::App& app, RequestOptions& r) {
  const char* group = "What to compute (without a parameter file, or overriding its fields)";
  // An empty value is refused, not taken for an option left out.
  const auto nonEmpty = [](const std::string& v) { return v.empty() ? std::string("an empty value") : std::string(); };
  const auto add = [&](const char* name, std::string& field, const char* help, const char* shape) {
    CLI::Option* o = app.add_option(name, field, help)->group(group)->check(nonEmpty);
    if (shape != nullptr) o->type_name(shape);
  };
  add("--t", r.t, "Inversion times, e.g. 0.5,1,2 (each 0 or more)", "T,...");
  add("--t-range", r.tRange,
      "COUNT times from START to STOP, evenly spaced (e.g. 0.1:10:50) or, with :log, evenly in log t "
      "(START above 0, e.g. 0.01:100:41:log)",
      "START:STOP:COUNT[:log]");
  add("--rel-err", r.relErr,
      "Requested relative error, each above 0: one for every time, or one per time (default 1e-8)", "E,...");
  add("--sizes", r.sizes,
      ("Expansion sizes N from 1 to " + std::to_string(orvane::Options::kMaxSize) +
       ", tried in order (default 64), e.g. 64,128,256")
          .c_str(),
      "N,...");
  add("--sigma", r.sigma, "The search's sigma range [LO, HI) (default 0,30); LO right of F's singularities", "LO,HI");
  add("--b-max", r.bMax, "The search's b range (0, B] (default 30)", "B");
  add("--resolutions", r.resolutions, "The search's steps SIGMA:B, tried in order (default 1:1,0.5:0.5)",
      "SIGMA:B,...");
  add("--max-grid-points", r.maxGridPoints,
      ("The most (sigma, b) points of one search grid (default " +
       std::to_string(orvane::Options().max_grid_points) + "); a finer grid is refused before any work")
          .c_str(),
      "P");
  add("--user-pair", r.userPair,
      "No search: invert at SIGMA:B (one pair for every time, or a comma-separated pair per time)", "SIGMA:B,...");
}

Request parseRequest(const RequestOptions& o) {
  Request r;
  if (!o.t.empty()) r.times = reals(o.t, "--t", orvane::detail::inversionTimeRule);
  if (!o.tRange.empty()) {
    const std::vector<double> range = timeRange(o.tRange);
    r.times.insert(r.times.end(), range.begin(), range.end());
  }
  if (!o.relErr.empty()) r.relErr = reals(o.relErr, "--rel-err", orvane::detail::requestRule);
  if (!o.sizes.empty()) {
    const std::vector<std::string> list = items(o.sizes, ',');
    const int most = orvane::Options::kMaxSize;
    const std::string expected = "a whole number from 1 to " + std::to_string(most) +
                                 " (the Weeks inversion samples 2N points in one block of at most 1024 threads)";
    for (std::size_t k = 0; k < list.size(); ++k)
      r.sizes.push_back(integer(list[k], where("--sizes", k, list.size()), expected, most));
  }
  if (!o.sigma.empty()) {
    const std::vector<double> range = reals(o.sigma, "--sigma");
    if (range.size() != 2) refuse("--sigma: expected LO,HI, found " + quoted(o.sigma));
    r.sigmaGiven = true;
    r.sigmin = range[0];
    r.sigmax = range[1];
    std::string broken = orvane::detail::sigmaRangeRule(r.sigmin, r.sigmax);
    if (broken.empty() && !(r.sigmin < r.sigmax)) broken = "LO below HI";
    if (!broken.empty()) refuse("--sigma: expected " + broken + ", found " + quoted(o.sigma));
  }
  if (!o.maxGridPoints.empty()) {
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(o.maxGridPoints.c_str(), &end, 10);
    if (end != o.maxGridPoints.c_str() + o.maxGridPoints.size() || errno == ERANGE || v < 1)
      refuse("--max-grid-points: expected a whole number of at least 1, found " + quoted(o.maxGridPoints));
    r.maxGridPoints = v;
  }
  if (!o.bMax.empty()) {
    r.bMaxGiven = true;
    r.bmax = real(o.bMax, "--b-max", positiveStep);
  }
  const std::vector<std::string> steps = o.resolutions.empty() ? std::vector<std::string>() : items(o.resolutions, ',');
  for (std::size_t k = 0; k < steps.size(); ++k) {
    const auto step = pairOf(steps[k], where("--resolutions", k, steps.size()), "SIGMA:B", positiveStep, positiveStep);
    r.tols.push_back(step.first);
    r.tolb.push_back(step.second);
  }
  const std::vector<std::string> pairs = o.userPair.empty() ? std::vector<std::string>() : items(o.userPair, ',');
  for (std::size_t k = 0; k < pairs.size(); ++k) {
    const auto pair = pairOf(pairs[k], where("--user-pair", k, pairs.size()), "SIGMA:B", finiteRule,
                             orvane::detail::positiveRule);
    r.sigmaUser.push_back(pair.first);
    r.bUser.push_back(pair.second);
  }
  return r;
}

void applyRequest(const Request& r, bool fromFile, orvane::Parameters& p) {
  if (!r.times.empty()) {
    const std::size_t count = r.times.size();
    p.Time = r.times;
    if (r.relErr.empty()) p.RelErr = fromFile ? refit(p.RelErr, count, "requested errors", "--rel-err") : std::vector<double>(count, 1e-8);
    if (p.SearchSwitch == 0 && r.sigmaUser.empty()) {
      p.sigmaUser = refit(p.sigmaUser, count, "user sigmas", "--user-pair");
      p.bUser = refit(p.bUser, count, "user b values", "--user-pair");
    }
  }
  // A parameter file may hold no times (an empty run); without one, times are needed.
  if (!fromFile && p.Time.empty()) refuse("no inversion times: give them with --t or --t-range");
  const std::size_t count = p.Time.size();
  if (!r.relErr.empty()) p.RelErr = perTime(r.relErr, count, "--rel-err");
  if (!r.sizes.empty()) p.NLag = r.sizes;
  if (r.sigmaGiven) {
    p.sigmin = r.sigmin;
    p.sigmax = r.sigmax;
  }
  if (r.bMaxGiven) p.bmax = r.bmax;
  if (!r.tols.empty()) {
    p.tols = r.tols;
    p.tolb = r.tolb;
  }
  if (!r.sigmaUser.empty()) {
    p.SearchSwitch = 0;
    p.sigmaUser = perTime(r.sigmaUser, count, "--user-pair");
    p.bUser = perTime(r.bUser, count, "--user-pair");
  }
  // A grid from the file may not fit a range from the command line, or the other way round.
  if (p.SearchSwitch != 1) return;
  for (std::size_t k = 0; k < p.tols.size(); ++k) {
    std::string broken = orvane::detail::sigmaStepRule(p.tols[k], p.sigmin, p.sigmax);
    if (!broken.empty())
      refuse("sigma resolution " + std::to_string(k + 1) + " (--resolutions) against the range of --sigma: expected " + broken);
    broken = orvane::detail::bStepRule(p.tolb[k], p.bmax);
    if (!broken.empty())
      refuse("b resolution " + std::to_string(k + 1) + " (--resolutions) against --b-max: expected " + broken);
  }
  // The grid's work against its bound, before any work.
  int largest = 1;
  for (int n : p.NLag) largest = std::max(largest, n);
  for (std::size_t k = 0; k < p.tols.size(); ++k) {
    const std::string work = orvane::detail::gridWorkProblem(p.tols[k], p.tolb[k], p.sigmin, p.sigmax, p.bmax,
                                                             largest, r.maxGridPoints);
    if (!work.empty())
      refuse("resolution " + std::to_string(k + 1) + " (--resolutions) is " + work + "; the bound is " +
             std::to_string(r.maxGridPoints) +
             " points: raise it with --max-grid-points, or coarsen the steps or narrow --sigma and --b-max");
  }
}

orvane::Parameters requestedFields(const std::string& path, bool given, const Request& request) {
  orvane::Parameters p;
  if (path.empty()) {
    p.RelErr.clear();
    applyRequest(request, false, p);
    return p;
  }
  try {
    p = orvane::Parameters::fromFile(path);
  } catch (const orvane::Error& e) {
    // A malformed file is named by its messages already; one that cannot be
    // opened is named here with its folder, and how to run without one.
    const std::string message = e.what();
    if (e.kind() != orvane::ErrorKind::kParameterFile || message.rfind(path + ", line", 0) == 0) throw;
    std::error_code ignored;
    const std::string full = std::filesystem::absolute(path, ignored).string();
    std::string text = std::filesystem::exists(path, ignored)
                           ? message + " (" + full + ")"
                           : "Unable to open the input parameters file " + full + ": there is no such file.";
    if (!given)
      text += "\nWithout a parameter file, give the times on the command line, e.g. --t 0.5,1,2 (see --help).";
    throw orvane::Error(e.kind(), text);
  }
  applyRequest(request, true, p);
  return p;
}
