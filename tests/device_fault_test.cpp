// Faults of the device, made real on the host backend's emulated device: a
// device allocation that fails for want of memory and an FFT plan that cannot
// be made. Each must end the program with one "Error located: " line naming
// the file and line of the failing call, exit code 1 and no wait for Enter
// (standard input is a pipe held open, so a wait would hang until the alarm).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "support/driver_support.h"
#include "support/process_run.h"

#if ORVANE_BACKEND_HOST

using driver_test::Layout;

namespace {

// The 1-based numbers of the lines of a source file that contain `call`.
std::vector<int> linesContaining(const std::string& relativePath, const std::string& call) {
  std::ifstream in(std::string(ORVANE_SOURCE_DIR) + "/" + relativePath);
  std::vector<int> found;
  std::string line;
  for (int n = 1; std::getline(in, line); ++n)
    if (line.find(call) != std::string::npos) found.push_back(n);
  return found;
}

std::string lineOf(const std::string& path, int number) {
  std::ifstream in(path[0] == '/' ? path : std::string(ORVANE_SOURCE_DIR) + "/" + path);
  std::string line;
  for (int n = 1; std::getline(in, line); ++n)
    if (n == number) return line;
  return "<no line " + std::to_string(number) + " in " + path + ">";
}

// Standard input is a pipe held open unless `waitForEnter` (a complete run
// waits for Enter at its end, so it gets end of file instead).
process_test::Outcome runFault(const Layout& layout, const std::vector<std::string>& env,
                               bool waitForEnter = false) {
  driver_test::ScratchDir scratch;
  EXPECT_FALSE(scratch.path().empty());
  const std::string dir = scratch.file("run");
  std::filesystem::create_directory(dir);
  driver_test::writeText(dir + "/UserParameters.txt", driver_test::render(layout));
  process_test::Options options;
  options.env = env;
  options.stdinPipe = !waitForEnter;
  options.seconds = 120;
  return process_test::run(dir, scratch.path(), ORVANE_BIN, options);
}

struct Located {
  bool ok = false;
  std::string reason, file;
  int line = 0;
};

// The run ended as a located device failure: exit 1, nothing on the error
// stream, and standard output ending in exactly one "Error located: " line.
Located expectLocatedFailure(const process_test::Outcome& r) {
  Located at;
  EXPECT_EQ(r.signal, 0) << r.describe() << " (a wait for Enter would end by the alarm)";
  EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
  EXPECT_EQ(r.err, "");
  std::size_t first = r.out.find("Error located: ");
  EXPECT_NE(first, std::string::npos) << r.out;
  if (first == std::string::npos) return at;
  EXPECT_EQ(r.out.find("Error located: ", first + 1), std::string::npos) << "more than one:\n" << r.out;
  const std::string last = r.out.substr(first);
  std::smatch m;
  static const std::regex form("Error located: (.+) in (.+) at line ([0-9]+)\n");
  EXPECT_TRUE(std::regex_match(last, m, form)) << "not the last line, or not in form:\n" << last;
  if (m.empty()) return at;
  at.ok = true;
  at.reason = m[1];
  at.file = m[2];
  at.line = std::stoi(m[3]);
  EXPECT_EQ(r.out.find("Destruction complete..."), std::string::npos);
  return at;
}

bool endsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The user's (sigma, b), N = 64: the inversion core's device array is 2N
// double2 = 2048 bytes, the error prediction's 4N double2 = 4096.
Layout userPair() {
  Layout l;
  l.SearchSwitch = "0";
  return l;
}

}  // namespace

TEST(DeviceFault, InversionCoreAllocationFailureIsLocated) {
  const std::vector<int> calls = linesContaining("src/methods/weeks/weeks_core.cpp", ".reserve(");
  ASSERT_EQ(calls.size(), 1u) << "expected one device allocation in the inversion core";
  const process_test::Outcome r = runFault(userPair(), {"ORVANE_HOST_MEMORY=1024"});
  const Located at = expectLocatedFailure(r);
  ASSERT_TRUE(at.ok);
  EXPECT_EQ(at.reason, "out of memory");
  EXPECT_TRUE(endsWith(at.file, "src/methods/weeks/weeks_core.cpp")) << at.file;
  EXPECT_EQ(at.line, calls[0]);
  // Nothing of the run is reported after the input report.
  EXPECT_EQ(r.out.find("Time = "), std::string::npos);
}

// The error driver works through a large grid in chunks, so only a device
// without room for one row of 4N samples makes its allocation fail. The search
// (the shipped example, N = 64) meets it before anything else allocates.
TEST(DeviceFault, ErrorDriverAllocationFailureIsLocated) {
  // The host backend takes the grid's rows one at a time (error_rows.cpp).
  const std::string driver = "src/methods/weeks/error_rows.cpp";
  const std::vector<int> calls = linesContaining(driver, ".reserve(");
  ASSERT_FALSE(calls.empty()) << "expected device allocations in the error driver";
  // Too little for one row of the driver (4096 bytes).
  Layout search;
  const process_test::Outcome r = runFault(search, {"ORVANE_HOST_MEMORY=3000"});
  const Located at = expectLocatedFailure(r);
  ASSERT_TRUE(at.ok);
  EXPECT_EQ(at.reason, "out of memory");
  EXPECT_TRUE(endsWith(at.file, driver)) << at.file;
  EXPECT_NE(std::find(calls.begin(), calls.end(), at.line), calls.end())
      << "line " << at.line << " is not one of the driver's allocations";
  EXPECT_EQ(r.out.find("Time = "), std::string::npos);
}

// With the user's pair the error prediction's row of 4N samples is the second
// device allocation, after the inversion core's row of 2N, which it keeps.
TEST(DeviceFault, ErrorPredictionAllocationFailureIsLocated) {
  const std::string prediction = "src/methods/weeks/error_est.cpp";
  const std::vector<int> calls = linesContaining(prediction, ".reserve(");
  ASSERT_EQ(calls.size(), 1u) << "expected one device allocation in the error prediction";
  // Enough for the inversion core (2048 bytes), too little for both rows (6144).
  const process_test::Outcome r = runFault(userPair(), {"ORVANE_HOST_MEMORY=3000"});
  const Located at = expectLocatedFailure(r);
  ASSERT_TRUE(at.ok);
  EXPECT_EQ(at.reason, "out of memory");
  EXPECT_TRUE(endsWith(at.file, prediction)) << at.file;
  EXPECT_EQ(at.line, calls[0]);
  EXPECT_EQ(r.out.find("Time = "), std::string::npos);
}

// A failed FFT plan is located at the checked call that made it, whichever
// stage meets it first: the inversion core (user's pair) or the search.
TEST(DeviceFault, FailedFftPlanIsLocated) {
  Layout search;  // the shipped example: the search runs first
  for (const Layout& layout : {userPair(), search}) {
    SCOPED_TRACE(layout.SearchSwitch == "0" ? "user's (sigma, b)" : "search");
    const process_test::Outcome r = runFault(layout, {"ORVANE_HOST_FAIL_FFT=1"});
    const Located at = expectLocatedFailure(r);
    ASSERT_TRUE(at.ok);
    EXPECT_EQ(at.reason, "FFT plan or execution failed");
    const std::string source = lineOf(at.file, at.line);
    EXPECT_NE(source.find("WFN_CHECK("), std::string::npos) << at.file << ":" << at.line << ": " << source;
    EXPECT_TRUE(source.find("plan") != std::string::npos || source.find("Plan") != std::string::npos)
        << "not a plan call: " << at.file << ":" << at.line << ": " << source;
  }
}

// A failed FFT execution, likewise, at the checked call that meets it: the
// transform of the inversion core's row, or the status the search's rows report.
TEST(DeviceFault, FailedFftExecutionIsLocated) {
  Layout search;
  for (const Layout& layout : {userPair(), search}) {
    SCOPED_TRACE(layout.SearchSwitch == "0" ? "user's (sigma, b)" : "search");
    const process_test::Outcome r = runFault(layout, {"ORVANE_HOST_FAIL_FFT=2"});
    const Located at = expectLocatedFailure(r);
    ASSERT_TRUE(at.ok);
    EXPECT_EQ(at.reason, "FFT plan or execution failed");
    const std::string source = lineOf(at.file, at.line);
    EXPECT_TRUE(source.find("forward") != std::string::npos || source.find("WFN_CHECK(failed)") != std::string::npos)
        << "not an FFT execution: " << at.file << ":" << at.line << ": " << source;
  }
}

// The budget itself: with enough emulated memory the same file runs through.
TEST(DeviceFault, AmpleMemoryRunsThrough) {
  const process_test::Outcome r = runFault(userPair(), {"ORVANE_HOST_MEMORY=100000"}, true);
  EXPECT_EQ(r.signal, 0) << r.describe();
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(r.out.find("Error located: "), std::string::npos);
}

#endif  // ORVANE_BACKEND_HOST
