// The whole program as a process in a scratch folder, standard input at end of
// file: what it writes on each stream and its exit code.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "support/driver_support.h"

using driver_test::Layout;
using driver_test::ProcessResult;
using driver_test::ScratchDir;

namespace {

const char* const kBanner = "Orvane \nwith CUDA Acceleration\nTessaly\n\n";
ProcessResult runWith(const std::string& parameters, const std::string& env = "",
                      const char* program = ORVANE_BIN) {
  ScratchDir dir;
  EXPECT_FALSE(dir.path().empty());
  driver_test::writeText(dir.file("UserParameters.txt"), parameters);
  return driver_test::runIn(dir, program, env);
}

using driver_test::shippedExample;

// The text from the first occurrence of `from` up to the end.
std::string from(const std::string& text, const std::string& start) {
  std::size_t at = text.find(start);
  return at == std::string::npos ? "<" + start + " not found>" : text.substr(at);
}

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.rfind(prefix, 0) == 0;
}

}  // namespace

TEST(Program, MissingParameterFile) {
  ScratchDir dir;
  ProcessResult r = driver_test::runIn(dir, ORVANE_BIN);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, kBanner);  // no device is queried
  EXPECT_EQ(r.err, "Unable to open the input parameters file!\nPress enter to exit the program!\n");
}

TEST(Program, DirectoryInPlaceOfTheParameterFile) {
  ScratchDir dir;
  std::filesystem::create_directory(dir.file("UserParameters.txt"));
  ProcessResult r = driver_test::runIn(dir, ORVANE_BIN);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, kBanner);
  EXPECT_EQ(r.err, "Unable to open the input parameters file!\nPress enter to exit the program!\n");
}

TEST(Program, MalformedParameterFile) {
  Layout l;
  l.Nsizes = "abc";
  ProcessResult r = runWith(driver_test::render(l));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, kBanner);  // "Construction complete..." is not written
  EXPECT_EQ(r.err,
            "UserParameters.txt, line 19: expected the number of expansion sizes, an integer, "
            "found \"abc\"\nPress enter to exit the program!\n");
}

TEST(Program, SearchSwitchTwoIsRefusedByTheInputReport) {
  Layout l;
  l.SearchSwitch = "2";
  ProcessResult r = runWith(driver_test::render(l));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(startsWith(r.out, std::string(kBanner) + "Construction complete...\n"
                                                       "Number of CUDA enabled devices = "))
      << r.out;
  EXPECT_EQ(from(r.out, "# inversion times"),
            "# inversion times: 2\n"
            "Time: 0.500000 1.000000 \n"
            "Relative Error: 0.000001 0.000001 \n"
            "Search Switch [0-user defined (sigma,b), 1-optimization]: 2\n"
            "# expansion sizes: 1\n"
            "Expansion sizes: 64.000000 \n");
  EXPECT_EQ(r.err, "Incorrect selection for the SearchSwitch variable.\n"
                   "Press <ENTER> to exit the program.\n");
}

TEST(Program, ShippedExampleRunsToTheEnd) {
  ProcessResult r = runWith(shippedExample());
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(startsWith(r.out, std::string(kBanner) + "Construction complete...\n"
                                                       "Number of CUDA enabled devices = "))
      << r.out;
  EXPECT_NE(r.out.find("\nComputer Capability: "), std::string::npos);
  EXPECT_NE(r.out.find("\n\n\n# inversion times: 2\n"
                       "Time: 0.500000 1.000000 \n"
                       "Relative Error: 0.000001 0.000001 \n"
                       "Search Switch [0-user defined (sigma,b), 1-optimization]: 1\n"
                       "# expansion sizes: 1\n"
                       "Expansion sizes: 64.000000 \n"
                       "Automated search for optimal (sigma,b) values: \n"
                       "Total # of tolerances attempted: 2\n"
                       "Minimum sigma: 0.000000\n"
                       "Maximum sigma: 30.000000\n"
                       "sigma resolution: 1.000000 0.500000 \n"
                       "Maximum b: 30.000000\n"
                       "b resolution: 1.000000 0.500000 \n"
                       "--------------------\n\n"
                       "Time = "),
            std::string::npos)
      << r.out;
  // Two result records, then the elapsed time in scientific notation and the farewell.
  std::size_t records = 0;
  for (std::size_t at = r.out.find("\nTolerance Flag = "); at != std::string::npos;
       at = r.out.find("\nTolerance Flag = ", at + 1))
    ++records;
  EXPECT_EQ(records, 2u);
  EXPECT_TRUE(std::regex_search(
      r.out, std::regex("\nTolerance Flag = [01]\n\nWalk clock time = [0-9]\\.[0-9]{6}e[+-][0-9]{2}\n"
                        "Press enter to exit the main program...\nDestruction complete...\n$")))
      << r.out;
}

TEST(Program, DiagnosticBuildRunsTheShippedExample) {
  ProcessResult r = runWith(shippedExample(), "", ORVANE_DIAG_BIN);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(startsWith(r.out, std::string(kBanner) + "Construction complete...\n")) << r.out;
  EXPECT_NE(r.out.find("Destruction complete...\n"), std::string::npos);
}

#if ORVANE_BACKEND_HOST
// The host backend's emulated device can be reshaped through the environment.
const char* const kRefusal =
    "An acceptable graphics processor was not found.\nPress <ENTER> to exit the program.\n";

TEST(Program, DeviceOfCapabilityOneTwoIsRefused) {
  ProcessResult r = runWith(shippedExample(), "ORVANE_HOST_CAPABILITY=1.2");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(from(r.out, "Construction complete...\n"),
            "Construction complete...\n"
            "Number of CUDA enabled devices = 1\n" +
                from(r.out, "Information for the CUDA device = 1\nName: "));
  // The description is the last thing on standard output.
  EXPECT_NE(from(r.out, "Name: ").find("no GPU used"), std::string::npos);
  EXPECT_EQ(from(r.out, "Warp size: "), "Warp size: 32\nComputer Capability: 1.2\n\n\n");
  EXPECT_EQ(r.err, kRefusal);
}

TEST(Program, NoDeviceIsRefused) {
  ProcessResult r = runWith(shippedExample(), "ORVANE_HOST_DEVICE_COUNT=0");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, std::string(kBanner) +
                       "Construction complete...\nNumber of CUDA enabled devices = 0\n");
  EXPECT_EQ(r.err, kRefusal);
}
#endif

// Output that cannot be written is a failed run: a full disk or a closed
// standard output ends with a message on standard error and exit code 1.
TEST(Program, UnwritableOutputFailsTheRun) {
  for (const char* out : {"> /dev/full", ">&-"}) {
    SCOPED_TRACE(out);
    ScratchDir dir;
    driver_test::writeText(dir.file("UserParameters.txt"), shippedExample());
    ProcessResult r = driver_test::runIn(dir, ORVANE_BIN, "", out);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "The output could not be written to standard output.\n");
  }
}
