// The run asked on the command line: the options' lists and their refusals,
// how they override a parameter file, the run without one, and the table for
// people with its advice for unmet times.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <regex>
#include <sstream>
#include <string>

#include "driver/request_options.h"
#include "driver/result_table.h"
#include "orvane/error.h"
#include "support/driver_support.h"

using driver_test::ProcessResult;
using driver_test::ScratchDir;

namespace {

// The message of the refusal of `options`, or "" when they pass.
std::string refusal(const RequestOptions& options, bool fromFile = false,
                    orvane::Parameters fields = orvane::Parameters()) {
  try {
    if (!fromFile) fields.RelErr.clear();
    applyRequest(parseRequest(options), fromFile, fields);
  } catch (const orvane::Error& e) {
    EXPECT_EQ(e.kind(), orvane::ErrorKind::kParameters);
    return e.what();
  }
  return "";
}

orvane::Parameters applied(const RequestOptions& options, bool fromFile, orvane::Parameters fields) {
  applyRequest(parseRequest(options), fromFile, fields);
  return fields;
}

RequestOptions times(const std::string& t) {
  RequestOptions o;
  o.t = t;
  return o;
}

}  // namespace

TEST(RequestOptions, ListsAndRanges) {
  RequestOptions o = times("0.5, 1,2");
  o.tRange = "0:1:3";
  o.sizes = "32,64";
  o.sigma = "-1,5";
  o.resolutions = "0.5:0.25";
  o.bMax = "10";
  const orvane::Parameters p = applied(o, false, orvane::Parameters());
  EXPECT_EQ(p.Time, (std::vector<double>{0.5, 1, 2, 0, 0.5, 1}));
  EXPECT_EQ(p.RelErr, std::vector<double>(6, 1e-8));  // the library's default request
  EXPECT_EQ(p.NLag, (std::vector<int>{32, 64}));
  EXPECT_EQ(p.sigmin, -1);
  EXPECT_EQ(p.sigmax, 5);
  EXPECT_EQ(p.bmax, 10);
  EXPECT_EQ(p.tols, std::vector<double>{0.5});
  EXPECT_EQ(p.tolb, std::vector<double>{0.25});
  EXPECT_EQ(p.SearchSwitch, 1);

  // The last time of a range is STOP itself, and a range of one is START.
  o = RequestOptions();
  o.tRange = "0.1:0.7:7";
  EXPECT_EQ(applied(o, false, orvane::Parameters()).Time.back(), 0.7);
  o.tRange = "2:9:1";
  EXPECT_EQ(applied(o, false, orvane::Parameters()).Time, std::vector<double>{2});
  // :log spaces the times evenly in log t, from START to STOP exactly.
  o.tRange = "0.01:100:5:log";
  const std::vector<double> log = applied(o, false, orvane::Parameters()).Time;
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log.front(), 0.01);
  EXPECT_EQ(log.back(), 100);
  for (int k = 1; k < 4; ++k) EXPECT_NEAR(log[std::size_t(k)], std::pow(10.0, k - 2), 1e-15 * std::pow(10.0, k - 2));

  // One request or pair for every time, or one per time.
  o = times("1,2");
  o.relErr = "1e-6,1e-9";
  o.userPair = "0.5:2";
  const orvane::Parameters q = applied(o, false, orvane::Parameters());
  EXPECT_EQ(q.RelErr, (std::vector<double>{1e-6, 1e-9}));
  EXPECT_EQ(q.SearchSwitch, 0);
  EXPECT_EQ(q.sigmaUser, (std::vector<double>{0.5, 0.5}));
  EXPECT_EQ(q.bUser, (std::vector<double>{2, 2}));
}

TEST(RequestOptions, RefusalsNameTheOptionAndTheItem) {
  struct Case {
    const char* option;
    const char* value;
    const char* message;
  };
  const Case cases[] = {
      {"t", "1,x", "--t, item 2: expected a real number, found \"x\""},
      {"t", "-1", "--t: expected"},
      {"t", "1,,2", "--t, item 2: expected a real number, found \"\""},
      {"t", "nan", "--t: expected"},
      {"tRange", "0:1", "--t-range: expected START:STOP:COUNT or START:STOP:COUNT:log, found \"0:1\""},
      {"tRange", "1:2:3:lin", "--t-range: expected START:STOP:COUNT or START:STOP:COUNT:log"},
      {"tRange", "0:10:5:log", "--t-range, START (log spacing): expected a positive real number, found \"0\""},
      {"tRange", "1:0:5:log", "--t-range, STOP (log spacing): expected a positive real number, found \"0\""},
      // Not finite: refused as the option, never a time of inf or nan.
      {"t", "inf", "--t: expected a finite real number, found \"inf\""},
      {"t", "1,-inf", "--t, item 2: expected a finite real number, found \"-inf\""},
      {"tRange", "0:inf:5", "--t-range, STOP: expected a finite real number, found \"inf\""},
      {"tRange", "nan:1:5", "--t-range, START: expected a finite real number, found \"nan\""},
      {"tRange", "0:1:0", "--t-range, COUNT: expected a whole number from 1"},
      {"tRange", "0:1:2.5", "--t-range, COUNT: expected"},
      {"relErr", "1e-8,1e-6,1e-4", "--rel-err: 3 values for 1 times"},
      {"relErr", "-1", "--rel-err: expected a positive finite number (a relative error to meet, e.g. 1e-8), found \"-1\""},
      {"relErr", "1e-8,0", "--rel-err, item 2: expected a positive finite number"},
      {"relErr", "-1e-8", "--rel-err: expected a positive finite number"},
      {"sizes", "64,0", "--sizes, item 2: expected a whole number from 1"},
      {"sizes", "1024", "--sizes: expected a whole number from 1 to 512 (the Weeks inversion samples 2N points in "
                        "one block of at most 1024 threads), found \"1024\""},
      {"sizes", "1000000", "--sizes: expected a whole number from 1 to 512"},
      {"sigma", "5", "--sigma: expected LO,HI"},
      {"sigma", "5,1", "--sigma: expected LO below HI, found \"5,1\""},
      {"sigma", "30,0", "--sigma: expected LO below HI, found \"30,0\""},
      {"sigma", "1,1", "--sigma: expected LO below HI"},
      // A grid beyond its bound, with what it would take and how to go beyond it.
      {"resolutions", "1:1,1e-3:1e-3",
       "resolution 2 (--resolutions) is 0.001:0.001, a grid of 30000 x 30000 = 9e+08 points: 7.2 GB of estimates "
       "and 2.3e+11 evaluations of F at N = 64; the bound is 4000000 points: raise it with --max-grid-points, or "
       "coarsen the steps or narrow --sigma and --b-max"},
      {"maxGridPoints", "899", "resolution 1 (--resolutions) is 1:1, a grid of 30 x 30 = 900 points"},
      {"maxGridPoints", "0", "--max-grid-points: expected a whole number of at least 1, found \"0\""},
      {"maxGridPoints", "1e6", "--max-grid-points: expected a whole number of at least 1, found \"1e6\""},
      {"bMax", "0", "--b-max: expected a positive real number, found \"0\""},
      {"resolutions", "1:1,0.5", "--resolutions, item 2: expected SIGMA:B"},
      {"resolutions", "0:1", "--resolutions: expected a positive real number, found \"0\""},
      {"userPair", "0:-1", "--user-pair: expected"},
      {"userPair", "0:1,0:1,0:1", "--user-pair: 3 values for 1 times"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.option) + " " + c.value);
    RequestOptions o = times("1");
    std::string* fields[] = {&o.t,     &o.tRange,      &o.relErr,   &o.sizes,        &o.sigma,
                             &o.bMax,  &o.resolutions, &o.userPair, &o.maxGridPoints};
    const char* names[] = {"t", "tRange", "relErr", "sizes", "sigma", "bMax", "resolutions", "userPair", "maxGridPoints"};
    for (int k = 0; k < 9; ++k)
      if (std::string(names[k]) == c.option) *fields[k] = c.value;
    EXPECT_NE(refusal(o).find(c.message), std::string::npos) << refusal(o);
  }
  // At the bounds: the largest size, a grid of exactly the bound, a finer one with the bound raised.
  RequestOptions edge = times("1");
  edge.sizes = "512";
  edge.maxGridPoints = "900";
  edge.resolutions = "1:1";
  EXPECT_EQ(refusal(edge), "");
  edge.resolutions = "1e-3:1e-3";
  edge.maxGridPoints = "900000000";
  EXPECT_EQ(refusal(edge), "");
  // No times at all, and a grid step that does not fit the range from the command line.
  EXPECT_NE(refusal(RequestOptions()).find("no inversion times: give them with --t or --t-range"), std::string::npos);
  RequestOptions narrow = times("1");
  narrow.sigma = "0,0.5";
  EXPECT_NE(refusal(narrow).find("sigma resolution 1 (--resolutions) against the range of --sigma"), std::string::npos)
      << refusal(narrow);
}

TEST(RequestOptions, OverrideAParameterFile) {
  orvane::Parameters file;
  file.Time = {0.5, 1.0};
  file.RelErr = {1e-6, 1e-6};
  file.SearchSwitch = 0;
  file.sigmaUser = {0.25, 0.25};
  file.bUser = {2, 3};

  // Only what is given changes.
  RequestOptions sizes;
  sizes.sizes = "128";
  const orvane::Parameters kept = applied(sizes, true, file);
  EXPECT_EQ(kept.Time, file.Time);
  EXPECT_EQ(kept.NLag, std::vector<int>{128});
  EXPECT_EQ(kept.bUser, file.bUser);

  // New times take the file's request when it is one for all, but not pairs that differ.
  EXPECT_NE(refusal(times("1,2,3"), true, file).find("the parameter file's user b values differ from time to time"),
            std::string::npos);
  RequestOptions pairs = times("1,2,3");
  pairs.userPair = "0:1";
  const orvane::Parameters refit = applied(pairs, true, file);
  EXPECT_EQ(refit.RelErr, std::vector<double>(3, 1e-6));
  EXPECT_EQ(refit.bUser, std::vector<double>(3, 1));
  file.RelErr = {1e-6, 1e-9};
  file.SearchSwitch = 1;
  EXPECT_NE(refusal(times("1,2,3"), true, file).find("give --rel-err as well"), std::string::npos);

  // A file without times stays an empty run; only the command line alone needs times.
  orvane::Parameters empty;
  empty.RelErr.clear();
  EXPECT_EQ(refusal(sizes, true, empty), "");
}

TEST(RequestOptions, TableRowsAndAdvice) {
  orvane::Result weeks;
  weeks.t = 0.5;
  weeks.f = {0.73428130947106, -1e-17};
  weeks.sigma = 0;
  weeks.b = 1.5;
  weeks.rel_err = 2e-3;
  weeks.flag = 1;
  weeks.N = 64;
  weeks.method = orvane::Method("weeks");
  orvane::Result talbot = weeks;
  talbot.t = 1;
  talbot.b = 0;
  talbot.rel_err = 1e-13;
  talbot.flag = 0;
  talbot.method = orvane::Method("talbot");
  std::ostringstream out;
  writeResultTable({weeks, talbot}, {1e-8, 1e-8}, out);
  const std::string text = out.str();
  // 15 significant digits, the method, and no b for a method without one.
  EXPECT_NE(text.find("7.34281309471060e-01"), std::string::npos) << text;
  EXPECT_TRUE(std::regex_search(text, std::regex("\n1 +7\\.34281309471060e-01 +-1\\.0+e-17 +1\\.0e-13 +yes talbot +64 +0 +-\n")))
      << text;
  EXPECT_NE(text.find("1 of 2 times met their request."), std::string::npos);
  // One line of advice for the unmet time only.
  EXPECT_NE(text.find("t = 0.5: requested 1.0e-08, predicted 2.0e-03 (weeks). The Laguerre series with N = 64"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("t = 1:"), std::string::npos);
  // Every row is as wide as the header.
  std::istringstream lines(text);
  std::string header, row;
  std::getline(lines, header);
  std::getline(lines, row);
  EXPECT_EQ(row.size(), header.size());

  weeks.rel_err = std::numeric_limits<double>::infinity();
  EXPECT_NE(unmetAdvice(weeks, 1e-8).find("F has a singularity right of sigma = 0"), std::string::npos);
  talbot.t = 0;
  EXPECT_NE(unmetAdvice(talbot, 1e-8).find("use --method weeks for t = 0"), std::string::npos);
}

// The command line on its own: no parameter file anywhere.
TEST(RequestOptions, RunsWithoutAParameterFile) {
  ScratchDir dir;
  const std::string cache = "XDG_CACHE_HOME='" + dir.path() + "/cache'";
  const ProcessResult r = driver_test::runIn(dir, ORVANE_BIN, cache, "> stdout.txt",
                                             "--expr '1/(s+1)' --t 0.5,1 --rel-err 1e-10");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out.rfind("t ", 0), 0u) << r.out;  // the table, no banner
  EXPECT_TRUE(std::regex_search(r.out, std::regex("\n0\\.5 +6\\.0653065971263[0-9]e-01 ")));
  EXPECT_NE(r.out.find("2 of 2 times met their request."), std::string::npos) << r.out;

  // Without times and without the file, the message names the file with its folder.
  const ProcessResult missing = driver_test::runIn(dir, ORVANE_BIN, cache, "> stdout.txt", "--expr '1/s'");
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("Unable to open the input parameters file " + dir.path() + "/UserParameters.txt"),
            std::string::npos)
      << missing.err;
  EXPECT_NE(missing.err.find("--t 0.5,1,2"), std::string::npos);

  // A usage error of a request option exits with 2 before anything runs.
  const ProcessResult bad = driver_test::runIn(dir, ORVANE_BIN, cache, "> stdout.txt", "--expr '1/s' --t 1,a");
  EXPECT_EQ(bad.exitCode, 2);
  EXPECT_NE(bad.err.find("--t, item 2: expected a real number, found \"a\""), std::string::npos) << bad.err;
  // An empty value is refused, not taken for the option left out.
  const ProcessResult empty = driver_test::runIn(dir, ORVANE_BIN, cache, "> stdout.txt", "--expr '1/s' --t ''");
  EXPECT_EQ(empty.exitCode, 2);
  EXPECT_NE(empty.err.find("an empty value"), std::string::npos) << empty.err;
}
