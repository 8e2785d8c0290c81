// The solver object (construction from a file, deep copies, destruction) and
// the console reports, byte for byte.
#include <gtest/gtest.h>
#include <unistd.h>

#include <iostream>
#include <limits>
#include <memory>
#include <sstream>
#include <string>

#include "driver/reports.h"
#include "driver/weeks_method.h"
#include "support/driver_support.h"

using driver_test::Layout;

namespace {

// Sends standard output to a string while it lives, restoring buffer and format.
class CaptureCout {
 public:
  CaptureCout() : old_(std::cout.rdbuf(text_.rdbuf())), flags_(std::cout.flags()) {}
  ~CaptureCout() {
    std::cout.rdbuf(old_);
    std::cout.flags(flags_);
  }
  std::string text() const { return text_.str(); }

 private:
  std::ostringstream text_;
  std::streambuf* old_;
  std::ios::fmtflags flags_;
};

// Constructs a solver object from this parameter file text, in a scratch folder.
std::unique_ptr<WeeksMethod> construct(const Layout& layout, std::string* console = nullptr) {
  driver_test::ScratchDir dir;
  driver_test::writeText(dir.file("UserParameters.txt"), driver_test::render(layout));
  std::string here = std::filesystem::current_path().string();
  std::filesystem::current_path(dir.path());
  CaptureCout capture;
  std::unique_ptr<WeeksMethod> weeks(new WeeksMethod());
  std::filesystem::current_path(here);
  if (console != nullptr) *console = capture.text();
  return weeks;
}

std::string inputReport(const WeeksMethod& w, bool expectValid = true) {
  std::ostringstream out;
  EXPECT_EQ(writeInputReport(w, out), expectValid);
  return out.str();
}

const char* const kGeneralLines =
    "# inversion times: 2\n"
    "Time: 0.500000 1.000000 \n"
    "Relative Error: 0.000001 0.000001 \n"
    "Search Switch [0-user defined (sigma,b), 1-optimization]: 1\n"
    "# expansion sizes: 1\n"
    "Expansion sizes: 64.000000 \n";

}  // namespace

TEST(SolverObject, ConstructionReadsTheFileAndClearsTheResults) {
  std::string console;
  auto w = construct(Layout(), &console);
  EXPECT_EQ(console, "Construction complete...\n");
  EXPECT_EQ(w->Ntimes, 2);
  EXPECT_EQ(w->Time[1], 1.0);
  EXPECT_EQ(w->NLag[0], 64);
  EXPECT_EQ(w->tolb[1], 0.5);
  for (int i = 0; i < w->Ntimes; ++i) {
    EXPECT_EQ(w->Results[i].Time, 0.0);
    EXPECT_EQ(w->Results[i].ft.y, 0.0);
    EXPECT_EQ(w->Results[i].TolFlag, 0);
  }
}

TEST(SolverObject, CopiesAreDeepAndAnnounced) {
  auto w = construct(Layout());
  w->Results[1].ft = make_cuDoubleComplex(0.25, -0.5);
  w->maxThreadsPerBlock = 512;
  w->maxGridSize[2] = 7;
  {
    CaptureCout capture;
    WeeksMethod copy(*w);
    EXPECT_EQ(capture.text(), "Making a copy\n");
    EXPECT_NE(copy.Time, w->Time);
    EXPECT_NE(copy.Results, w->Results);
    EXPECT_EQ(copy.tols[1], 0.5);
    EXPECT_EQ(copy.Results[1].ft.y, -0.5);
    EXPECT_EQ(copy.maxThreadsPerBlock, 512);
    EXPECT_EQ(copy.maxGridSize[2], 7);
    copy.Time[0] = 9.0;
    copy.NLag[0] = 8;
  }
  EXPECT_EQ(w->Time[0], 0.5);
  EXPECT_EQ(w->NLag[0], 64);
}

TEST(SolverObject, AssignmentReplacesArraysAndSurvivesSelfAssignment) {
  Layout small;
  small.Ntimes = "0";
  small.Time = small.RelErr = small.sigmaUser = small.bUser = "";
  small.Ntol = "1";
  small.tols = small.tolb = "2.0";
  auto target = construct(small);
  auto source = construct(Layout());
  {
    CaptureCout capture;
    *target = *source;
    EXPECT_EQ(capture.text(), "Making an assignment\n");
  }
  EXPECT_EQ(target->Ntimes, 2);
  EXPECT_EQ(target->Ntol, 2);
  EXPECT_NE(target->tolb, source->tolb);
  EXPECT_EQ(target->tolb[1], 0.5);
  {
    CaptureCout capture;
    WeeksMethod& same = *target;
    *target = same;
    EXPECT_EQ(capture.text(), "Making an assignment\n");
  }
  EXPECT_EQ(target->Time[0], 0.5);
  EXPECT_EQ(target->tols[1], 0.5);
}

TEST(SolverObject, DestructionIsAnnounced) {
  auto w = construct(Layout());
  CaptureCout capture;
  w.reset();
  EXPECT_EQ(capture.text(), "Destruction complete...\n");
}

TEST(InputReport, SearchSwitchOneEndsWithTheSeparator) {
  auto w = construct(Layout());
  EXPECT_EQ(inputReport(*w), std::string(kGeneralLines) +
                                 "Automated search for optimal (sigma,b) values: \n"
                                 "Total # of tolerances attempted: 2\n"
                                 "Minimum sigma: 0.000000\n"
                                 "Maximum sigma: 30.000000\n"
                                 "sigma resolution: 1.000000 0.500000 \n"
                                 "Maximum b: 30.000000\n"
                                 "b resolution: 1.000000 0.500000 \n"
                                 "--------------------\n");
}

TEST(InputReport, SearchSwitchZeroListsTheUserPairs) {
  Layout l;
  l.SearchSwitch = "0";
  l.sigmaUser = "-1.5 2";
  auto w = construct(l);
  std::string general = kGeneralLines;
  general.replace(general.find("]: 1"), 4, "]: 0");
  EXPECT_EQ(inputReport(*w), general +
                                 "User specified (sigma,b) inputs: \n"
                                 "sigma: -1.500000 2.000000 \n"
                                 "b: 1.000000 1.000000 \n");
}

TEST(InputReport, OtherSearchSwitchStopsAfterTheGeneralLines) {
  Layout l;
  l.SearchSwitch = "2";
  auto w = construct(l);
  std::string general = kGeneralLines;
  general.replace(general.find("]: 1"), 4, "]: 2");
  EXPECT_EQ(inputReport(*w, false), general);
}

TEST(InputReport, EmptyListsAndTinyValues) {
  Layout l;
  l.Ntimes = "0";
  l.Time = l.RelErr = l.sigmaUser = l.bUser = "";
  l.Nsizes = "3";
  l.NLag = "8 16 1024";
  auto w = construct(l);
  std::string report = inputReport(*w);
  EXPECT_EQ(report.substr(0, report.find("Search")),
            "# inversion times: 0\nTime: \nRelative Error: \n");
  EXPECT_NE(report.find("Expansion sizes: 8.000000 16.000000 1024.000000 \n"), std::string::npos);

  l = Layout();
  l.RelErr = "1e-10 2.5e-6";
  w = construct(l);
  EXPECT_NE(inputReport(*w).find("Relative Error: 0.000000 0.000003 \n"), std::string::npos);
}

TEST(ResultReport, ScientificRecordsWithSignedImaginaryPart) {
  auto w = construct(Layout());
  w->Results[0] = WeeksResult{0.5, make_cuDoubleComplex(0.25, -0.5), 1.5, 12.0, 3e-9, 1.2e-8, 0, 0, 0, 0};
  w->Results[1] = WeeksResult{1.0, make_cuDoubleComplex(-123456.789, 0.0), 0.0, 30.0, 1e300, 2.0, 1, 0, 0, 0};
  std::ostringstream out;
  out << std::fixed;  // as the input report leaves it
  writeResultReport(*w, out);
  writeWalkClockTime(1500, out);
  EXPECT_EQ(out.str(),
            "\n"
            "Time = 5.000000e-01\n"
            "f(t) = 2.500000e-01 + -5.000000e-01I\n"
            "sigma = 1.500000e+00\n"
            "b = 1.200000e+01\n"
            "Absolute Error Prediction = 3.000000e-09\n"
            "Relative Error Prediction = 1.200000e-08\n"
            "Tolerance Flag = 0\n"
            "\n"
            "Time = 1.000000e+00\n"
            "f(t) = -1.234568e+05 + 0.000000e+00I\n"
            "sigma = 0.000000e+00\n"
            "b = 3.000000e+01\n"
            "Absolute Error Prediction = 1.000000e+300\n"
            "Relative Error Prediction = 2.000000e+00\n"
            "Tolerance Flag = 1\n"
            "\n"
            "Walk clock time = 1.500000e+00\n");
}

// A NaN prints as "nan" whatever its sign bit (the C library writes "-nan").
TEST(ResultReport, NotANumberOfEitherSignIsNan) {
  auto w = construct(Layout());
  const double nan = std::numeric_limits<double>::quiet_NaN();
  w->Results[0] = WeeksResult{0.5, make_cuDoubleComplex(-nan, nan), -nan, 1.0, -nan, nan, 1, 0, 0, 0};
  w->Results[1] = w->Results[0];
  std::ostringstream out;
  writeResultReport(*w, out);
  EXPECT_EQ(out.str().find("-nan"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("f(t) = nan + nanI\nsigma = nan\n"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("Absolute Error Prediction = nan\nRelative Error Prediction = nan\n"),
            std::string::npos);
}

TEST(ResultReport, NoTimesStillSwitchesToScientific) {
  Layout l;
  l.Ntimes = "0";
  l.Time = l.RelErr = l.sigmaUser = l.bUser = "";
  auto w = construct(l);
  std::ostringstream out;
  out << std::fixed;
  writeResultReport(*w, out);
  EXPECT_EQ(out.str(), "");
  writeWalkClockTime(0, out);
  EXPECT_EQ(out.str(), "\nWalk clock time = 0.000000e+00\n");
}

TEST(ResultReport, MembersWriteToStandardOutputAndLeaveTheNotation) {
  auto w = construct(Layout());
  CaptureCout capture;
  w->wfnDisplayInputs();
  std::cout << 0.5 << std::endl;  // fixed, as the input report left it
  w->wfnDisplayResults();
  std::cout << 0.5 << std::endl;  // scientific, as the result report left it
  std::string text = capture.text();
  EXPECT_EQ(text.rfind("# inversion times: 2\n", 0), 0u);
  EXPECT_NE(text.find("--------------------\n0.500000\n\nTime = 0.000000e+00"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 32), "Tolerance Flag = 0\n5.000000e-01\n");
}
