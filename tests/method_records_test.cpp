// Every record of every method on every reference pair, bit for bit as the
// engine gave them when they were last changed on purpose: a search at one
// and at two resolutions and sizes, and the caller's pairs (data/method_records.txt,
// one line per time: pair, set, method, then t, f, sigma, b, the predictions
// in hexadecimal, the flag, N and the record's method).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#if defined(ORVANE_BACKEND_HOST)
#include "orvane/orvane.h"
#include "support/accuracy.h"

namespace {

orvane::Options optionsOfSet(const reference::Pair& p, int set) {
  orvane::Options o = accuracy::optionsFor(p, set == 2 ? 1e-12 : 1e-8);
  if (set == 1) {
    o.sizes = {16, 32};
    o.resolutions = {{1.0, 2.0}, {0.5, 1.0}};
  }
  if (set == 2) {
    o.pairs = {{accuracy::rangeFor(p).sigmin + 1.0, 3.0}};
    o.sizes = {32, 64};
  }
  return o;
}

std::string line(const char* id, int set, const char* method, const orvane::Result& r) {
  char text[512];
  std::snprintf(text, sizeof text, "%s %d %s %a %a %a %a %a %a %a %d %d %s", id, set, method, r.t,
                r.f.real(), r.f.imag(), r.sigma, r.b, r.abs_err, r.rel_err, r.flag, r.N,
                orvane::methodName(r.method));
  // A NaN's sign is the compiler's choice, not the method's.
  std::string l = text;
  for (std::size_t at; (at = l.find("-nan")) != std::string::npos;) l.erase(at, 1);
  return l;
}

}  // namespace

TEST(MethodRecords, EveryMethodGivesTheRecordedBits) {
  std::ifstream in(std::string(ORVANE_SOURCE_DIR) + "/tests/data/method_records.txt");
  ASSERT_TRUE(in.good());
  std::vector<std::string> expected;
  for (std::string l; std::getline(in, l);) expected.push_back(l);
  std::vector<std::string> got;
  orvane::Solver solver;
  for (const reference::Pair& p : reference::pairs())
    for (int set = 0; set < 3; ++set)
      for (const char* m : {"weeks", "talbot", "dehoog", "auto"}) {
        orvane::Options o = optionsOfSet(p, set);
        o.method = m;
        for (const orvane::Result& r : solver.invert(HostTransform{p.F}, accuracy::timesOf(p), o))
          got.push_back(line(p.id, set, m, r));
      }
  // A deliberate change of the records is written with ORVANE_WRITE_METHOD_RECORDS=<file>.
  if (const char* out = std::getenv("ORVANE_WRITE_METHOD_RECORDS")) {
    std::ofstream file(out);
    for (const std::string& l : got) file << l << '\n';
  }
  ASSERT_EQ(got.size(), expected.size());
  int differ = 0;
  for (std::size_t k = 0; k < got.size(); ++k)
    if (got[k] != expected[k] && ++differ <= 10) ADD_FAILURE() << "now:  " << got[k] << "\nwas:  " << expected[k];
  EXPECT_EQ(differ, 0);
}

#endif
