// Options::check, and a parameter file read into the library's inputs. Both
// apply the rules of parameter_file.h, so that whatever a file may hold, the
// options may hold, and no more.
#include <charconv>
#include <climits>
#include <cstddef>
#include <new>
#include <string>
#include <vector>

#include "orvane/error.h"
#include "orvane/options.h"
#include "orvane/parameter_file.h"
#include "vocabulary/parameter_file.h"

namespace orvane {

namespace detail {

FileFields FileFields::fromText(const std::string& text, const std::string& name) {
  FileFields p;
  std::string error;
  if (!parseParameters(text, name, p, error)) throw Error(ErrorKind::kParameterFile, error);
  return p;
}

FileFields FileFields::fromFile(const std::string& path, const std::string& name) {
  auto fail = [](const std::string& message) { throw Error(ErrorKind::kParameterFile, message); };
  std::string text;
  FileRead read = FileRead::kUnreadable;
  // A path with a NUL in it names no file (the C call would see a shorter one).
  if (path.find('\0') == std::string::npos) {
    try {
      read = readWholeFile(path.c_str(), text);
    } catch (const std::bad_alloc&) {
      fail("Not enough memory to read the input parameters file!");
    }
  }
  switch (read) {
    case FileRead::kRead: break;
    case FileRead::kUnreadable: fail("Unable to open the input parameters file!"); break;
    case FileRead::kNotRegular: fail("The input parameters file is not a regular file!"); break;
    case FileRead::kTooLarge:
      fail("The input parameters file is larger than " + std::to_string(kMaxParameterFileBytes) +
           " bytes!");
      break;
  }
  return fromText(text, name.empty() ? path : name);
}

void refuseSearchSwitch() {
  throw Error(ErrorKind::kSearchSwitch, "Incorrect selection for the SearchSwitch variable.");
}

Inputs inputsOf(const FileFields& p) {
  if (p.SearchSwitch != 0 && p.SearchSwitch != 1) refuseSearchSwitch();
  Inputs in;
  in.t = p.Time;
  Options& o = in.options;
  o.rel_errs = p.RelErr;
  o.sizes = p.NLag;
  o.sigma_min = p.sigmin;
  o.sigma_max = p.sigmax;
  o.b_max = p.bmax;
  o.resolutions.clear();
  for (std::size_t k = 0; k < p.tols.size() && k < p.tolb.size(); ++k)
    o.resolutions.push_back(Resolution{p.tols[k], p.tolb[k]});
  if (p.SearchSwitch == 0)
    for (std::size_t i = 0; i < p.Time.size(); ++i) o.pairs.push_back(Pair{p.sigmaUser[i], p.bUser[i]});
  return in;
}

}  // namespace detail

Inputs readParameterFile(const std::string& path) {
  return detail::inputsOf(detail::FileFields::fromFile(path));
}

namespace {

// The shortest text that reads back as the same double.
std::string shown(double value) {
  char text[64];
  const std::to_chars_result end = std::to_chars(text, text + sizeof text, value);
  return std::string(text, end.ptr);
}

// Every refusal reads "options: <field>[<index>] is <found>; expected <expectation>".
[[noreturn]] void refuse(const Refusal& r) {
  std::string subject = r.field;
  if (r.index >= 0) subject += "[" + std::to_string(r.index) + "]";
  if (r.length) subject = "the size of " + subject;
  throw Error(ErrorKind::kParameters, "options: " + subject + " is " + r.found + "; expected " + r.expected,
              r);
}

void refuseLength(const char* field, std::size_t size, const std::string& expected) {
  Refusal r;
  r.field = field;
  r.length = true;
  r.found = std::to_string(size);
  r.expected = expected;
  refuse(r);
}

// A real must be finite and then pass `rule`, taken as computed from the
// value ("" when none applies).
void requireReal(const char* field, long long index, double value, const std::string& rule = "") {
  const std::string finite = detail::finiteRule(value);
  const std::string broken = finite.empty() ? rule : finite;
  if (broken.empty()) return;
  Refusal r;
  r.field = field;
  r.index = index;
  r.found = shown(value);
  r.expected = broken;
  refuse(r);
}

}  // namespace

void Options::check(const std::vector<double>& times) const {
  const std::size_t count = times.size();
  // Without times nothing is searched: a parameter file with no times and
  // SearchSwitch 0 has no pairs, and its grid is free.
  const bool searching = search() && count > 0;
  // The run keeps counts in ints.
  if (count > std::size_t(INT_MAX)) refuseLength("t", count, "at most " + std::to_string(INT_MAX));
  if (sizes.empty()) refuseLength("sizes", 0, "at least 1");
  if (sizes.size() > std::size_t(INT_MAX))
    refuseLength("sizes", sizes.size(), "at most " + std::to_string(INT_MAX));
  if (searching && resolutions.empty()) refuseLength("resolutions", 0, "at least 1");
  if (resolutions.size() > std::size_t(INT_MAX))
    refuseLength("resolutions", resolutions.size(), "at most " + std::to_string(INT_MAX));
  if (!rel_errs.empty() && rel_errs.size() != count)
    refuseLength("rel_errs", rel_errs.size(), std::to_string(count) + ", one per time");
  if (!searching && pairs.size() != 1 && pairs.size() != count)
    refuseLength("pairs", pairs.size(), "1 or " + std::to_string(count) + ", one per time");

  // The values, in the order of a parameter file.
  for (std::size_t i = 0; i < count; ++i)
    requireReal("t", (long long)i, times[i], detail::inversionTimeRule(times[i]));
  // A request of 0 or less cannot be met: it would run every size and
  // resolution and report them all unmet.
  const auto request = [this](double e) { return strict ? detail::requestRule(e) : std::string(); };
  if (rel_errs.empty()) requireReal("rel_err", -1, rel_err, request(rel_err));
  for (std::size_t i = 0; i < rel_errs.size(); ++i)
    requireReal("rel_errs", (long long)i, rel_errs[i], request(rel_errs[i]));
  for (std::size_t j = 0; j < sizes.size(); ++j) {
    std::string broken = detail::expansionSizeRule(sizes[j]);
    if (broken.empty() && strict && sizes[j] > kMaxSize)
      broken = "an integer from 1 to " + std::to_string(kMaxSize) +
               " (the Weeks inversion samples 2N points in one block of at most 1024 threads)";
    if (broken.empty()) continue;
    Refusal r;
    r.field = "sizes";
    r.index = (long long)j;
    r.found = std::to_string(sizes[j]);
    r.expected = broken;
    refuse(r);
  }
  int given = 0;
  for (int n : sizes) given = n > given ? n : given;
  for (std::size_t j = 0; j < larger_sizes.size(); ++j) {
    const int n = larger_sizes[j];
    if (n > given && n <= kMaxSize) continue;
    Refusal r;
    r.field = "larger_sizes";
    r.index = (long long)j;
    r.found = std::to_string(n);
    r.expected = "an integer above every size (" + std::to_string(given) + ") and at most " +
                 std::to_string(kMaxSize);
    refuse(r);
  }
  for (std::size_t i = 0; i < pairs.size(); ++i) requireReal("pairs.sigma", (long long)i, pairs[i].sigma);
  for (std::size_t i = 0; i < pairs.size(); ++i)
    requireReal("pairs.b", (long long)i, pairs[i].b, detail::positiveRule(pairs[i].b));
  requireReal("sigma_min", -1, sigma_min);
  std::string range = searching ? detail::sigmaRangeRule(sigma_min, sigma_max) : "";
  if (range.empty() && searching && strict && !(sigma_min < sigma_max))
    range = "the high end of the sigma range, above its low end " + shown(sigma_min);
  requireReal("sigma_max", -1, sigma_max, range);
  for (std::size_t k = 0; k < resolutions.size(); ++k)
    requireReal("resolutions.sigma", (long long)k, resolutions[k].sigma,
                searching ? detail::sigmaStepRule(resolutions[k].sigma, sigma_min, sigma_max) : "");
  requireReal("b_max", -1, b_max);
  for (std::size_t k = 0; k < resolutions.size(); ++k)
    requireReal("resolutions.b", (long long)k, resolutions[k].b,
                searching ? detail::bStepRule(resolutions[k].b, b_max) : "");
  if (!searching || !strict) return;
  int largest = 1;
  for (int n : sizes) largest = n > largest ? n : largest;
  for (std::size_t k = 0; k < resolutions.size(); ++k) {
    const std::string work = detail::gridWorkProblem(resolutions[k].sigma, resolutions[k].b, sigma_min, sigma_max,
                                                     b_max, largest, max_grid_points);
    if (work.empty()) continue;
    Refusal r;
    r.field = "resolutions";
    r.index = (long long)k;
    r.found = work;
    r.expected = "a grid of at most max_grid_points = " + std::to_string(max_grid_points) +
                 " points (raise max_grid_points, coarsen the steps or narrow the ranges)";
    refuse(r);
  }
}

}  // namespace orvane
