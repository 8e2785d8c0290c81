// Parameters built in code: check() refuses what the reader would refuse,
// naming the field, and accepts whatever the reader accepts.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>

#include "orvane/error.h"
#include "orvane/parameters.h"
#include "support/driver_support.h"

using driver_test::Layout;
using orvane::Parameters;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// The shipped example, built in code.
Parameters example() {
  Parameters p;
  p.Time = {0.5, 1.0};
  p.RelErr = {1e-6, 1e-6};
  p.sigmaUser = {0.0, 0.0};
  p.bUser = {1.0, 1.0};
  return p;
}

// The message of check(), or "accepted".
std::string checked(const Parameters& p) {
  try {
    p.check();
  } catch (const orvane::Error& e) {
    EXPECT_EQ(e.kind(), orvane::ErrorKind::kParameters);
    return e.what();
  }
  return "accepted";
}

}  // namespace

TEST(ParametersCheck, DefaultsAndTheShippedExampleAreAccepted) {
  EXPECT_EQ(checked(Parameters()), "accepted");
  EXPECT_EQ(checked(example()), "accepted");
  const Parameters read =
      Parameters::fromFile(std::string(ORVANE_SOURCE_DIR) + "/examples/UserParameters.txt");
  EXPECT_EQ(read.Time, example().Time);
  EXPECT_EQ(read.NLag, example().NLag);
  EXPECT_EQ(read.tols, example().tols);
  EXPECT_EQ(read.tolb, example().tolb);
}

TEST(ParametersCheck, RefusalsNameTheFieldAndTheExpectation) {
  struct Case {
    void (*change)(Parameters&);
    const char* message;  // after "parameters: "
  };
  const Case cases[] = {
      // List lengths, before any value.
      {[](Parameters& p) { p.RelErr = {1e-6}; }, "the size of RelErr is 1; expected 2, the size of Time"},
      {[](Parameters& p) { p.sigmaUser.push_back(0); },
       "the size of sigmaUser is 3; expected 2, the size of Time"},
      {[](Parameters& p) { p.bUser.pop_back(); p.Time[0] = -1; },
       "the size of bUser is 1; expected 2, the size of Time"},
      // Without a search the user's pairs are needed; with one they may be left empty.
      {[](Parameters& p) { p.SearchSwitch = 0; p.bUser.clear(); },
       "the size of bUser is 0; expected 2, the size of Time"},
      {[](Parameters& p) { p.NLag.clear(); }, "the size of NLag is 0; expected at least 1"},
      {[](Parameters& p) { p.tols.clear(); p.tolb.clear(); }, "the size of tols is 0; expected at least 1"},
      {[](Parameters& p) { p.tolb = {1.0}; }, "the size of tolb is 1; expected 2, the size of tols"},
      // Times and sizes.
      {[](Parameters& p) { p.Time[1] = -0.5; }, "Time[1] is -0.5; expected a real number of at least 0"},
      {[](Parameters& p) { p.Time[0] = kNaN; }, "Time[0] is nan; expected a finite real number"},
      {[](Parameters& p) { p.RelErr[1] = -kInf; }, "RelErr[1] is -inf; expected a finite real number"},
      {[](Parameters& p) { p.NLag = {64, 0}; }, "NLag[1] is 0; expected an integer of at least 1"},
      // The user's (sigma, b): finite always, b positive when used.
      {[](Parameters& p) { p.sigmaUser[0] = kNaN; }, "sigmaUser[0] is nan; expected a finite real number"},
      {[](Parameters& p) { p.bUser[1] = kInf; }, "bUser[1] is inf; expected a finite real number"},
      {[](Parameters& p) { p.SearchSwitch = 0; p.bUser[1] = 0; },
       "bUser[1] is 0; expected a positive real number"},
      {[](Parameters& p) { p.SearchSwitch = 0; p.bUser[0] = -1e-3; },
       "bUser[0] is -0.001; expected a positive real number"},
      // The search ranges and steps: finite always, a usable grid with the search
      // (the rules themselves are the reader's, tested with it).
      {[](Parameters& p) { p.SearchSwitch = 0; p.sigmin = -kInf; }, "sigmin is -inf; expected a finite real number"},
      {[](Parameters& p) { p.sigmin = -1e308; p.sigmax = 1e308; },
       "sigmax is 1e+308; expected a value whose distance from the minimum sigma -1e+308 is a finite number"},
      {[](Parameters& p) { p.tols = {1.0, 0.0}; }, "tols[1] is 0; expected a positive real number"},
      {[](Parameters& p) { p.tols = {kNaN, 0.5}; }, "tols[0] is nan; expected a finite real number"},
      {[](Parameters& p) { p.tols = {40, 0.5}; },
       "tols[0] is 40; expected a step that fits at least once into the sigma range from 0 to 30"},
      {[](Parameters& p) { p.tols = {1e-300, 0.5}; },
       "tols[0] is 1e-300; expected a step that fits at most 2147483647 times into the sigma range "
       "from 0 to 30"},
      {[](Parameters& p) { p.SearchSwitch = 0; p.bmax = kNaN; }, "bmax is nan; expected a finite real number"},
      {[](Parameters& p) { p.bmax = 0.25; },
       "tolb[0] is 1; expected a step that fits at least once into the b range from 0 to 0.25"},
      {[](Parameters& p) { p.tolb = {-0.5, 0.5}; }, "tolb[0] is -0.5; expected a positive real number"},
      {[](Parameters& p) { p.SearchSwitch = 0; p.tolb = {1.0, -kInf}; },
       "tolb[1] is -inf; expected a finite real number"},
  };
  for (const Case& c : cases) {
    Parameters p = example();
    c.change(p);
    EXPECT_EQ(checked(p), std::string("parameters: ") + c.message);
  }
}

// What only the search uses is free without it, and the other way round; a
// switch other than 0 or 1 is the run's to refuse.
TEST(ParametersCheck, ValuesAreCheckedOnlyWhereTheyAreUsed) {
  const struct {
    const char* name;
    void (*change)(Parameters&);
  } cases[] = {
      {"no search: any finite grid",
       [](Parameters& p) {
         p.SearchSwitch = 0;
         p.sigmax = -30;
         p.tols = {0, -1};
         p.bmax = 0;
         p.tolb = {1e-300, 0};
       }},
      {"search: any finite user b", [](Parameters& p) { p.bUser = {0, -1}; }},
      {"switch 2", [](Parameters& p) { p.SearchSwitch = 2; p.bUser = {0, -1}; p.tols = {0, 0}; }},
      {"no time", [](Parameters& p) { p.Time = p.RelErr = p.sigmaUser = p.bUser = {}; }},
      {"time 0 and -0", [](Parameters& p) { p.Time = {0.0, -0.0}; }},
      {"subnormal user b", [](Parameters& p) { p.SearchSwitch = 0; p.bUser = {4.9e-324, 1}; }},
      {"grids of exactly one value", [](Parameters& p) { p.tols = {30, 0.5}; p.tolb = {1, 30}; }},
      {"largest size", [](Parameters& p) { p.NLag = {1, INT_MAX}; }},
  };
  for (const auto& c : cases) {
    Parameters p = example();
    c.change(p);
    EXPECT_EQ(checked(p), "accepted") << c.name;
  }
}

// Every value line of the example replaced by values at and around the
// limits, under each switch: whatever the reader accepts, check() accepts.
TEST(ParametersCheck, AcceptsWhateverTheReaderAccepts) {
  const char* const values[] = {"-1", "-0.5", "-0", "0", "1e-400", "4.9e-324", "1e-300", "0.25",
                                "1", "30", "40", "1e308", "-1e308", "2147483647", "1 -1", "-1 0"};
  std::string Layout::*const fields[] = {
      &Layout::Ntimes, &Layout::Time,   &Layout::RelErr, &Layout::Nsizes, &Layout::NLag,
      &Layout::sigmaUser, &Layout::bUser, &Layout::Ntol, &Layout::sigmin, &Layout::sigmax,
      &Layout::tols,   &Layout::bmax,   &Layout::tolb};
  int accepted = 0;
  int refused = 0;
  for (const char* searchSwitch : {"0", "1", "2"}) {
    for (std::string Layout::*field : fields) {
      for (const char* value : values) {
        Layout l;
        l.SearchSwitch = searchSwitch;
        l.*field = value;
        Parameters p;
        try {
          p = Parameters::fromText(driver_test::render(l));
        } catch (const orvane::Error&) {
          ++refused;
          continue;
        }
        ++accepted;
        EXPECT_EQ(checked(p), "accepted") << "switch " << searchSwitch << ", value " << value;
      }
    }
  }
  // Both sides of the rules are reached.
  EXPECT_GT(accepted, 150);
  EXPECT_GT(refused, 200);
  // So are the fuzz target's seeds.
  for (const char* folder : {"/fuzz/corpus", "/fuzz/regressions"}) {
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(ORVANE_SOURCE_DIR) + folder)) {
      try {
        const Parameters p = Parameters::fromFile(entry.path().string());
        EXPECT_EQ(checked(p), "accepted") << entry.path();
      } catch (const orvane::Error&) {
      }
    }
  }
}
