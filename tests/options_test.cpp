// Options built in code: check() refuses what the parameter file reader would
// refuse, naming the field as data and in its message, and accepts whatever
// the reader accepts.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>

#include "driver/console_records.h"
#include "orvane/error.h"
#include "orvane/options.h"
#include "support/driver_support.h"
#include "support/test_util.h"

using driver_test::Layout;
using orvane::Options;

namespace {

using test_util::kInf;
using test_util::kNaN;

// The shipped example's times and requests.
struct OptionsCase {
  std::vector<double> t{0.5, 1.0};
  Options o;
  OptionsCase() { o.rel_errs = {1e-6, 1e-6}; }
};

// The message of check(), or "accepted"; the refusal's field must name the
// subject of the message.
std::string checked(const OptionsCase& c) {
  try {
    c.o.check(c.t);
  } catch (const orvane::Error& e) {
    EXPECT_EQ(e.kind(), orvane::ErrorKind::kParameters);
    EXPECT_NE(std::string(e.what()).find(e.refusal().field), std::string::npos) << e.what();
    return e.what();
  }
  return "accepted";
}

}  // namespace

TEST(OptionsCheck, DefaultsAndTheShippedExampleAreAccepted) {
  EXPECT_EQ(checked(OptionsCase()), "accepted");
  const orvane::Inputs read =
      orvane::readParameterFile(std::string(ORVANE_SOURCE_DIR) + "/examples/UserParameters.txt");
  EXPECT_EQ(read.t, OptionsCase().t);
  EXPECT_EQ(read.options.rel_errs, OptionsCase().o.rel_errs);
  EXPECT_EQ(read.options.sizes, Options().sizes);
  ASSERT_EQ(read.options.resolutions.size(), 2u);
  EXPECT_EQ(read.options.resolutions[1].b, 0.5);
  EXPECT_TRUE(read.options.search());
  EXPECT_TRUE(read.options.method.isAuto());
}

TEST(OptionsCheck, RefusalsNameTheFieldAndTheExpectation) {
  struct Change {
    void (*change)(OptionsCase&);
    const char* message;  // after "options: "
  };
  const Change cases[] = {
      // List lengths, before any value.
      {[](OptionsCase& c) { c.o.rel_errs = {1e-6}; }, "the size of rel_errs is 1; expected 2, one per time"},
      {[](OptionsCase& c) { c.o.pairs = {{0, 1}, {0, 1}, {0, 1}}; },
       "the size of pairs is 3; expected 1 or 2, one per time"},
      {[](OptionsCase& c) { c.o.sizes.clear(); }, "the size of sizes is 0; expected at least 1"},
      {[](OptionsCase& c) { c.o.resolutions.clear(); }, "the size of resolutions is 0; expected at least 1"},
      // Times, requests and sizes.
      {[](OptionsCase& c) { c.t[1] = -0.5; }, "t[1] is -0.5; expected a real number of at least 0"},
      {[](OptionsCase& c) { c.t[0] = kNaN; }, "t[0] is nan; expected a finite real number"},
      {[](OptionsCase& c) { c.o.rel_errs[1] = -kInf; }, "rel_errs[1] is -inf; expected a finite real number"},
      {[](OptionsCase& c) { c.o.rel_errs.clear(); c.o.rel_err = kNaN; }, "rel_err is nan; expected a finite real number"},
      {[](OptionsCase& c) { c.o.sizes = {64, 0}; }, "sizes[1] is 0; expected an integer of at least 1"},
      // The caller's (sigma, b): finite, b positive.
      {[](OptionsCase& c) { c.o.pairs = {{kNaN, 1}}; }, "pairs.sigma[0] is nan; expected a finite real number"},
      {[](OptionsCase& c) { c.o.pairs = {{0, 1}, {0, kInf}}; }, "pairs.b[1] is inf; expected a finite real number"},
      {[](OptionsCase& c) { c.o.pairs = {{0, 1}, {0, 0}}; }, "pairs.b[1] is 0; expected a positive real number"},
      // Beyond the file's rules: what no method can serve, and grids beyond their bound.
      {[](OptionsCase& c) { c.o.rel_errs[1] = 0; },
       "rel_errs[1] is 0; expected a positive finite number (a relative error to meet, e.g. 1e-8)"},
      {[](OptionsCase& c) { c.o.rel_errs.clear(); c.o.rel_err = -1e-8; },
       "rel_err is -1e-08; expected a positive finite number (a relative error to meet, e.g. 1e-8)"},
      {[](OptionsCase& c) { c.o.sizes = {64, 513}; },
       "sizes[1] is 513; expected an integer from 1 to 512 (the Weeks inversion samples 2N points in one block of "
       "at most 1024 threads)"},
      {[](OptionsCase& c) { c.o.sigma_min = 30; c.o.sigma_max = 0; },
       "sigma_max is 0; expected the high end of the sigma range, above its low end 30"},
      {[](OptionsCase& c) { c.o.sigma_min = 1; c.o.sigma_max = 1; },
       "sigma_max is 1; expected the high end of the sigma range, above its low end 1"},
      {[](OptionsCase& c) { c.o.resolutions = {{1, 1}, {1e-3, 1e-3}}; },
       "resolutions[1] is 0.001:0.001, a grid of 30000 x 30000 = 9e+08 points: 7.2 GB of estimates and 2.3e+11 "
       "evaluations of F at N = 64; expected a grid of at most max_grid_points = 4000000 points (raise "
       "max_grid_points, coarsen the steps or narrow the ranges)"},
      {[](OptionsCase& c) { c.o.max_grid_points = 899; c.o.sizes = {16, 128}; },
       "resolutions[0] is 1:1, a grid of 30 x 30 = 900 points: 7.2 kB of estimates and 4.61e+05 evaluations of F "
       "at N = 128; expected a grid of at most max_grid_points = 899 points (raise max_grid_points, coarsen the "
       "steps or narrow the ranges)"},
      // The search ranges and steps: finite always, a usable grid with the search
      // (the rules themselves are the reader's, tested with it).
      {[](OptionsCase& c) { c.o.pairs = {{0, 1}}; c.o.sigma_min = -kInf; },
       "sigma_min is -inf; expected a finite real number"},
      {[](OptionsCase& c) { c.o.sigma_min = -1e308; c.o.sigma_max = 1e308; },
       "sigma_max is 1e+308; expected a value whose distance from the minimum sigma -1e+308 is a finite number"},
      {[](OptionsCase& c) { c.o.resolutions[1].sigma = 0; },
       "resolutions.sigma[1] is 0; expected a positive real number"},
      {[](OptionsCase& c) { c.o.resolutions[0].sigma = 40; },
       "resolutions.sigma[0] is 40; expected a step that fits at least once into the sigma range from 0 to 30"},
      {[](OptionsCase& c) { c.o.pairs = {{0, 1}}; c.o.b_max = kNaN; }, "b_max is nan; expected a finite real number"},
      {[](OptionsCase& c) { c.o.b_max = 0.25; },
       "resolutions.b[0] is 1; expected a step that fits at least once into the b range from 0 to 0.25"},
      {[](OptionsCase& c) { c.o.pairs = {{0, 1}}; c.o.resolutions[1].b = -kInf; },
       "resolutions.b[1] is -inf; expected a finite real number"},
  };
  for (const Change& c : cases) {
    OptionsCase k;
    c.change(k);
    EXPECT_EQ(checked(k), std::string("options: ") + c.message);
  }
}

// What only the search uses is free with the caller's pairs.
TEST(OptionsCheck, ValuesAreCheckedOnlyWhereTheyAreUsed) {
  const struct {
    const char* name;
    void (*change)(OptionsCase&);
  } cases[] = {
      {"pairs: any finite grid, no resolutions",
       [](OptionsCase& c) {
         c.o.pairs = {{0, 1}};
         c.o.sigma_max = -30;
         c.o.b_max = 0;
         c.o.resolutions.clear();
       }},
      {"no time", [](OptionsCase& c) { c.t.clear(); c.o.rel_errs.clear(); }},
      {"time 0 and -0", [](OptionsCase& c) { c.t = {0.0, -0.0}; }},
      {"subnormal b", [](OptionsCase& c) { c.o.pairs = {{0, 4.9e-324}, {0, 1}}; }},
      {"grids of exactly one value", [](OptionsCase& c) { c.o.resolutions = {{30, 0.5}, {0.5, 30}}; }},
      {"largest size", [](OptionsCase& c) { c.o.sizes = {1, Options::kMaxSize}; }},
      {"a grid at its bound", [](OptionsCase& c) { c.o.max_grid_points = 3600; }},
      {"no bound on the grid", [](OptionsCase& c) { c.o.max_grid_points = 0; c.o.resolutions = {{1e-3, 1e-3}}; }},
      {"pairs: no grid to bound", [](OptionsCase& c) { c.o.pairs = {{0, 1}}; c.o.resolutions = {{1e-3, 1e-3}}; }},
      // What the console program without arguments runs as it always has.
      {"not strict: requests of 0 and less, any size, any grid",
       [](OptionsCase& c) {
         c.o.strict = false;
         c.o.rel_errs = {0, -1};
         c.o.sizes = {1, INT_MAX};
         c.o.resolutions = {{1e-3, 1e-3}};
       }},
  };
  for (const auto& c : cases) {
    OptionsCase k;
    c.change(k);
    EXPECT_EQ(checked(k), "accepted") << c.name;
  }
}

// Every value line of the example replaced by values at and around the
// limits, under each switch: whatever the reader accepts, the options it
// makes of the file pass their check as the console program runs them (not
// strict; the strict bounds are tested above).
TEST(OptionsCheck, AcceptsWhateverTheReaderAccepts) {
  const char* const values[] = {"-1", "-0.5", "-0", "0", "1e-400", "4.9e-324", "1e-300", "0.25",
                                "1", "30", "40", "1e308", "-1e308", "2147483647", "1 -1", "-1 0"};
  std::string Layout::*const fields[] = {
      &Layout::Ntimes, &Layout::Time,   &Layout::RelErr, &Layout::Nsizes, &Layout::NLag,
      &Layout::sigmaUser, &Layout::bUser, &Layout::Ntol, &Layout::sigmin, &Layout::sigmax,
      &Layout::tols,   &Layout::bmax,   &Layout::tolb};
  auto accepts = [](const orvane::Parameters& p) {
    const orvane::Inputs in = orvane::detail::inputsOf(p);
    OptionsCase c;
    c.t = in.t;
    c.o = in.options;
    c.o.strict = false;
    return checked(c);
  };
  int accepted = 0;
  int refused = 0;
  for (const char* searchSwitch : {"0", "1"}) {
    for (std::string Layout::*field : fields) {
      for (const char* value : values) {
        Layout l;
        l.SearchSwitch = searchSwitch;
        l.*field = value;
        orvane::Parameters p;
        try {
          p = orvane::Parameters::fromText(driver_test::render(l));
        } catch (const orvane::Error&) {
          ++refused;
          continue;
        }
        ++accepted;
        EXPECT_EQ(accepts(p), "accepted") << "switch " << searchSwitch << ", value " << value;
      }
    }
  }
  // Both sides of the rules are reached.
  EXPECT_GT(accepted, 100);
  EXPECT_GT(refused, 100);
  // So are the fuzz target's seeds.
  for (const char* folder : {"/fuzz/corpus", "/fuzz/regressions"}) {
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(ORVANE_SOURCE_DIR) + folder)) {
      try {
        const orvane::Parameters p = orvane::Parameters::fromFile(entry.path().string());
        if (p.SearchSwitch == 0 || p.SearchSwitch == 1) {
          EXPECT_EQ(accepts(p), "accepted") << entry.path();
        }
      } catch (const orvane::Error&) {
      }
    }
  }
}

// A switch other than 0 or 1 reads, and is refused when the file becomes inputs.
TEST(OptionsCheck, ASearchSwitchOtherThanZeroOrOneIsRefusedAsInputs) {
  Layout l;
  l.SearchSwitch = "2";
  const orvane::Parameters p = orvane::Parameters::fromText(driver_test::render(l));
  try {
    orvane::detail::inputsOf(p);
    ADD_FAILURE() << "no error";
  } catch (const orvane::Error& e) {
    EXPECT_EQ(e.kind(), orvane::ErrorKind::kSearchSwitch);
    EXPECT_STREQ(e.what(), "Incorrect selection for the SearchSwitch variable.");
  }
}

// No times: nothing is searched, so the grid is free (a parameter file with no
// times and SearchSwitch 0 gives no pairs).
TEST(OptionsCheck, NoTimesSearchNothing) {
  OptionsCase c;
  c.t.clear();
  c.o.rel_errs.clear();
  c.o.resolutions = {{1.0, 0.0}};
  EXPECT_EQ(checked(c), "accepted");
}
