// The bad-input battery: malformed and hostile parameter files, each run
// through the real program as a process. Every run must end by itself (never
// by a signal or the alarm) with its expected exit code and message, write
// only printable text, and never present a value that is not a number as a
// result that met its tolerance.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/driver_support.h"
#include "support/process_run.h"

using driver_test::Layout;

namespace {

#if ORVANE_BACKEND_HOST
constexpr bool kHostBackend = true;
#else
constexpr bool kHostBackend = false;
#endif

enum class Setup { File, Directory, DanglingSymlink, SymlinkLoop, LinkToDevZero, Fifo, NoFile };
enum class Stream { Err, Out };

struct Row {
  std::string name;
  std::string text;  // the file's contents (Setup::File)
  int exitCode = 1;
  Stream stream = Stream::Err;
  std::string message;  // a part of what the stream must hold
  Setup setup = Setup::File;
  std::vector<std::string> env;
  bool limitAddressSpace = false;  // refused before any large allocation
  bool hostOnly = false;           // reshapes the host backend's emulated device
};

std::string example() {
  return driver_test::readText(std::string(ORVANE_SOURCE_DIR) + "/examples/UserParameters.txt");
}

Row layoutRow(const std::string& name, void (*change)(Layout&), int exitCode, Stream stream,
              const std::string& message) {
  Layout l;
  change(l);
  Row r;
  r.name = name;
  r.text = driver_test::render(l);
  r.exitCode = exitCode;
  r.stream = stream;
  r.message = message;
  return r;
}

// A reader refusal: the message on standard error, exit code 1.
Row refused(const std::string& name, void (*change)(Layout&), const std::string& message) {
  return layoutRow(name, change, 1, Stream::Err, message);
}

// A file that reads and runs to the end.
Row runs(const std::string& name, void (*change)(Layout&)) {
  return layoutRow(name, change, 0, Stream::Out, "Destruction complete...\n");
}

Row textRow(const std::string& name, const std::string& text, int exitCode,
            const std::string& message) {
  Row r;
  r.name = name;
  r.text = text;
  r.exitCode = exitCode;
  r.stream = exitCode == 0 ? Stream::Out : Stream::Err;
  r.message = message;
  return r;
}

Row setupRow(const std::string& name, Setup setup, const std::string& message) {
  Row r;
  r.name = name;
  r.setup = setup;
  r.message = message;
  return r;
}

const std::string kOpen = "Unable to open the input parameters file!\nPress enter to exit the program!\n";
const std::string kNotRegular =
    "The input parameters file is not a regular file!\nPress enter to exit the program!\n";

std::vector<Row> handRows() {
  std::vector<Row> rows;
  auto add = [&](Row r) { rows.push_back(r); };

  // Letters in numbers.
  add(refused("letter after the count", [](Layout& l) { l.Ntimes = "2x"; },
              "line 7: expected the number of inversion times, an integer, found \"2x\""));
  add(refused("letter O for zero in a time", [](Layout& l) { l.Time = "0.5 1.O"; },
              "line 10: expected inversion time 2 of 2, a real number, found \"1.O\""));
  add(refused("letter l for one in an exponent", [](Layout& l) { l.RelErr = "1e-06 le-06"; },
              "line 13: expected requested relative error 2 of 2, a real number, found \"le-06\""));
  add(refused("digits and letters in a size", [](Layout& l) { l.NLag = "6four"; },
              "line 22: expected expansion size 1 of 1, an integer, found \"6four\""));
  add(refused("word for a range end", [](Layout& l) { l.sigmin = "zero"; },
              "line 38: expected the minimum sigma, a real number, found \"zero\""));
  add(refused("decimal comma", [](Layout& l) { l.bmax = "30,0"; },
              "line 47: expected the maximum b, a real number, found \"30,0\""));
  add(refused("hexadecimal real", [](Layout& l) { l.tols = "0x1p0 0.5"; },
              "line 44: expected the sigma resolution of tolerance 1 of 2, a real number, found \"0x1p0\""));

  // Integers and reals beyond their types.
  add(refused("count one past int", [](Layout& l) { l.Ntimes = "2147483648"; },
              "line 7: expected the number of inversion times, an integer, found \"2147483648\" (out of range)"));
  add(refused("count that wraps to 2 in 32 bits", [](Layout& l) { l.Ntol = "4294967298"; },
              "line 35: expected the number of tolerances, an integer, found \"4294967298\" (out of range)"));
  add(refused("size below int", [](Layout& l) { l.NLag = "-2147483649"; },
              "line 22: expected expansion size 1 of 1, an integer, found \"-2147483649\" (out of range)"));
  add(refused("switch of twenty digits", [](Layout& l) { l.SearchSwitch = "99999999999999999999"; },
              "line 16: expected the search switch, an integer, found \"99999999999999999999\" (out of range)"));
  add(refused("time beyond double", [](Layout& l) { l.Time = "0.5 1e309"; },
              "line 10: expected inversion time 2 of 2, a real number, found \"1e309\" (out of range)"));
  add(refused("negative time", [](Layout& l) { l.Time = "-1 0"; },
              "line 10: expected inversion time 1 of 2, a real number of at least 0, found \"-1\""));
  add(refused("user b 0 at the user's (sigma, b)",
              [](Layout& l) { l.SearchSwitch = "0"; l.bUser = "1 0"; },
              "line 30: expected user b 2 of 2, a positive real number, found \"0\""));
  add(refused("negative user b at the user's (sigma, b)",
              [](Layout& l) { l.SearchSwitch = "0"; l.bUser = "-1 1"; },
              "line 30: expected user b 1 of 2, a positive real number, found \"-1\""));
  {
    Row r = textRow("a count of 100000 digits", "\n\n\n\n\n\n" + std::string(100000, '7') + "\n", 1,
                    "line 7: expected the number of inversion times, an integer, found \"" +
                        std::string(40, '7') + "...\" (out of range)");
    add(r);
  }

  // Counts that would exhaust memory: refused before anything is allocated.
  {
    Row r = refused("two billion times", [](Layout& l) { l.Ntimes = "2000000000"; },
                    "line 7: expected the number of inversion times, an integer no larger than the ");
    r.limitAddressSpace = true;
    add(r);
    r = refused("int-max expansion sizes", [](Layout& l) { l.Nsizes = "2147483647"; },
                "line 19: expected the number of expansion sizes, an integer no larger than the ");
    r.limitAddressSpace = true;
    add(r);
    r = refused("a billion tolerances", [](Layout& l) { l.Ntol = "1000000000"; },
                "line 35: expected the number of tolerances, an integer no larger than the ");
    r.limitAddressSpace = true;
    add(r);
    // 2N = 2^31 must not wrap past the per-block check.
    r = layoutRow("expansion size 2^30 at the user's (sigma, b)",
                  [](Layout& l) { l.SearchSwitch = "0"; l.NLag = "1073741824"; }, 1, Stream::Err,
                  "The number of samples per block 2147483648exceeds the maximum 1024\n");
    r.limitAddressSpace = true;
    add(r);
    // 2e9 sigma values x 30 b values: more grid points than an int counts.
    r = layoutRow("search grid of 6e10 points", [](Layout& l) { l.tols = "1.5e-8 0.5"; }, 1,
                  Stream::Err, "The error grid cannot be evaluated: ");
    r.limitAddressSpace = true;
    add(r);
  }

  // NaN and infinity as times, tolerances, resolutions and ranges.
  add(refused("NaN time", [](Layout& l) { l.Time = "nan 1"; },
              "line 10: expected inversion time 1 of 2, a real number, found \"nan\""));
  add(refused("infinite time", [](Layout& l) { l.Time = "0.5 inf"; },
              "line 10: expected inversion time 2 of 2, a real number, found \"inf\""));
  add(refused("NaN requested error", [](Layout& l) { l.RelErr = "NAN 1e-6"; },
              "line 13: expected requested relative error 1 of 2, a real number, found \"NAN\""));
  add(refused("NaN user sigma", [](Layout& l) { l.SearchSwitch = "0"; l.sigmaUser = "0 -nan"; },
              "line 27: expected user sigma 2 of 2, a real number, found \"-nan\""));
  add(refused("infinite user b", [](Layout& l) { l.SearchSwitch = "0"; l.bUser = "Infinity 1"; },
              "line 30: expected user b 1 of 2, a real number, found \"Infinity\""));
  add(refused("infinite maximum sigma", [](Layout& l) { l.sigmax = "inf"; },
              "line 41: expected the maximum sigma, a real number, found \"inf\""));
  add(refused("NaN sigma resolution", [](Layout& l) { l.tols = "NaN 0.5"; },
              "line 44: expected the sigma resolution of tolerance 1 of 2, a real number, found \"NaN\""));
  add(refused("infinite maximum b", [](Layout& l) { l.bmax = "INF"; },
              "line 47: expected the maximum b, a real number, found \"INF\""));
  add(refused("minus infinite b resolution", [](Layout& l) { l.tolb = "1.0 -inf"; },
              "line 50: expected the b resolution of tolerance 2 of 2, a real number, found \"-inf\""));
  add(refused("sigma range that overflows to infinity",
              [](Layout& l) { l.sigmin = "-1e308"; l.sigmax = "1e308"; },
              "line 41: expected the maximum sigma, a value whose distance from the minimum sigma "
              "-1e+308 is a finite number, found \"1e308\""));
  add(refused("sigma resolution that gives more values than an int",
              [](Layout& l) { l.tols = "1e-300 0.5"; },
              "line 44: expected the sigma resolution of tolerance 1 of 2, a step that fits at most "
              "2147483647 times into the sigma range from 0 to 30"));

  // Negative and zero sizes, counts and steps.
  add(refused("negative number of times", [](Layout& l) { l.Ntimes = "-1"; },
              "line 7: expected the number of inversion times, an integer of at least 0, found \"-1\""));
  add(refused("no expansion size", [](Layout& l) { l.Nsizes = "0"; },
              "line 19: expected the number of expansion sizes, an integer of at least 1, found \"0\""));
  add(refused("expansion size 0", [](Layout& l) { l.NLag = "0"; },
              "line 22: expected expansion size 1 of 1, an integer of at least 1, found \"0\""));
  add(refused("negative expansion size", [](Layout& l) { l.NLag = "-64"; },
              "line 22: expected expansion size 1 of 1, an integer of at least 1, found \"-64\""));
  add(refused("no tolerance", [](Layout& l) { l.Ntol = "0"; },
              "line 35: expected the number of tolerances, an integer of at least 1, found \"0\""));
  add(refused("negative number of tolerances", [](Layout& l) { l.Ntol = "-3"; },
              "line 35: expected the number of tolerances, an integer of at least 1, found \"-3\""));
  add(refused("zero sigma resolution", [](Layout& l) { l.tols = "0 0.5"; },
              "line 44: expected the sigma resolution of tolerance 1 of 2, a positive real number, found \"0\""));
  add(refused("negative b resolution", [](Layout& l) { l.tolb = "-1.0 0.5"; },
              "line 50: expected the b resolution of tolerance 1 of 2, a positive real number, found \"-1.0\""));
  add(refused("zero maximum b", [](Layout& l) { l.bmax = "0"; },
              "line 50: expected the b resolution of tolerance 1 of 2, a step that fits at least once "
              "into the b range from 0 to 0, found \"1.0\""));
  add(refused("reversed sigma range", [](Layout& l) { l.sigmax = "-30"; },
              "line 44: expected the sigma resolution of tolerance 1 of 2, a step that fits at least once "
              "into the sigma range from 0 to -30, found \"1.0\""));
  add(layoutRow("search switch 2", [](Layout& l) { l.SearchSwitch = "2"; }, 1, Stream::Err,
                "Incorrect selection for the SearchSwitch variable.\nPress <ENTER> to exit the program.\n"));
  add(layoutRow("search switch -1", [](Layout& l) { l.SearchSwitch = "-1"; }, 1, Stream::Err,
                "Incorrect selection for the SearchSwitch variable.\n"));

  // Expansion sizes above the per-block limit of the device (2N threads).
  add(layoutRow("N = 1025", [](Layout& l) { l.NLag = "1025"; }, 1, Stream::Err,
                "The number of samples per block 2050exceeds the maximum 1024\n"));
  add(layoutRow("second size N = 513 after a first that fails its tolerance",
                [](Layout& l) { l.RelErr = "0 0"; l.Nsizes = "2"; l.NLag = "8 513"; }, 1,
                Stream::Err, "The number of samples per block 1026exceeds the maximum 1024\n"));
  {
    Row r = layoutRow("N = 65 on a device of 128 threads per block",
                      [](Layout& l) { l.NLag = "65"; }, 1, Stream::Err,
                      "The number of samples per block 130exceeds the maximum 128\n");
    r.env = {"ORVANE_HOST_MAX_THREADS_PER_BLOCK=128"};
    r.hostOnly = true;
    add(r);
  }

  // Files that are not text, not files, or not there.
  {
    std::mt19937 random(20240611);
    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage += char(random() & 0xff);
    add(textRow("4 KiB of random bytes", garbage, 1, "UserParameters.txt, line "));
  }
  add(textRow("1000 NUL bytes", std::string(1000, '\0'), 1,
              "line 1: expected the number of inversion times, an integer, found the end of the file"));
  add(textRow("control bytes in place of the count", "\n\n\n\n\n\n\x01\x02\x1b[31m\n", 1,
              "line 7: expected the number of inversion times, an integer, found "
              "\"\\x01\\x02\\x1B[31m\""));
  add(textRow("carriage returns alone as line ends", [] {
                std::string t = example();
                for (char& c : t)
                  if (c == '\n') c = '\r';
                return t;
              }(),
              1, "line 1: expected the number of inversion times, an integer, found the end of the file"));
  add(textRow("empty file", "", 1,
              "UserParameters.txt, line 1: expected the number of inversion times, an integer, found "
              "the end of the file\nPress enter to exit the program!\n"));
  add(textRow("only line ends", std::string(60, '\n'), 1,
              "line 60: expected the number of inversion times, an integer, found the end of the file"));
  add(setupRow("a directory named UserParameters.txt", Setup::Directory, kOpen));
  add(setupRow("a dangling symbolic link", Setup::DanglingSymlink, kOpen));
  add(setupRow("a symbolic link to itself", Setup::SymlinkLoop, kOpen));
  add(setupRow("no file", Setup::NoFile, kOpen));
  {
    Row r = setupRow("a link to /dev/zero, a file without end", Setup::LinkToDevZero, kNotRegular);
    r.limitAddressSpace = true;  // refused unread, not when memory runs out
    add(r);
  }
  add(setupRow("a FIFO without a writer", Setup::Fifo, kNotRegular));

  // Well-formed files that must run to the end.
  add(runs("shipped example", [](Layout&) {}));
  add(runs("no line end after the last value", [](Layout& l) { l.finalCaption = false; }));
  add(runs("CR LF line ends and decimal forms .5 and 5.",
           [](Layout& l) { l.eol = "\r\n"; l.Time = ".5 1."; l.tols = "1. .5"; }));
  add(textRow("a byte order mark on the first caption", "\xEF\xBB\xBF" + example(), 0,
              "Destruction complete...\n"));
  add(runs("no inversion time", [](Layout& l) {
    l.Ntimes = "0";
    l.Time = l.RelErr = l.sigmaUser = l.bUser = "";
  }));

  // Absurd but well-formed values: the program ends normally and every value
  // that is not a number carries tolerance flag 1 (checked for every run).
  add(runs("requested relative error 0", [](Layout& l) { l.RelErr = "0 0"; }));
  add(runs("time 1e300", [](Layout& l) { l.Time = "1e300 1"; }));
  add(runs("time 0", [](Layout& l) { l.Time = "0 1"; }));
  add(runs("maximum sigma 1e300", [](Layout& l) { l.sigmax = "1e300"; l.tols = "1e299 1e299"; }));
  add(runs("user sigma 1e300", [](Layout& l) { l.SearchSwitch = "0"; l.sigmaUser = "1e300 0"; }));
  add(runs("user b 0 and -1 left unused by the search", [](Layout& l) { l.bUser = "0 -1"; }));
  add(runs("subnormal resolutions unused without the search",
           [](Layout& l) { l.SearchSwitch = "0"; l.tols = "4.9e-324 -1"; }));
  return rows;
}

// What the reader expects at each of the example's value lines, in order; for
// a count also its name.
struct ValueLine {
  const char* expected;
  const char* count;
};
const ValueLine kValueLines[] = {
    {"the number of inversion times, an integer", "the number of inversion times"},
    {"inversion time 1 of 2, a real number", nullptr},
    {"requested relative error 1 of 2, a real number", nullptr},
    {"the search switch, an integer", nullptr},
    {"the number of expansion sizes, an integer", "the number of expansion sizes"},
    {"expansion size 1 of 1, an integer", nullptr},
    {"user sigma 1 of 2, a real number", nullptr},
    {"user b 1 of 2, a real number", nullptr},
    {"the number of tolerances, an integer", "the number of tolerances"},
    {"the minimum sigma, a real number", nullptr},
    {"the maximum sigma, a real number", nullptr},
    {"the sigma resolution of tolerance 1 of 2, a real number", nullptr},
    {"the maximum b, a real number", nullptr},
    {"the b resolution of tolerance 1 of 2, a real number", nullptr},
};
const int kValueCount = int(sizeof kValueLines / sizeof kValueLines[0]);

std::string atLine(int line) { return "UserParameters.txt, line " + std::to_string(line) + ": expected "; }

// The shipped example cut after each of its lines: the file must be refused
// at the value that follows the cut (reported on the cut's last line), until
// the cut falls after the last value line. Single values are also cut just
// before their line end. A count cut off with its line is refused as the
// count itself: nothing is left to hold its values.
std::vector<Row> truncationRows() {
  const std::string text = example();
  std::vector<std::string> lines;  // each with its line end
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    end = end == std::string::npos ? text.size() : end + 1;
    lines.push_back(text.substr(at, end - at));
    at = end;
  }
  std::vector<int> valueLines;  // 1-based; the captions of the example start with '#'
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (lines[i][0] != '#') valueLines.push_back(int(i) + 1);
  if (int(valueLines.size()) != kValueCount) return {textRow("layout changed", "", 99, "")};

  const std::string end = ", found the end of the file";
  std::vector<Row> rows;
  rows.push_back(textRow("cut before line 1", "", 1, atLine(1) + kValueLines[0].expected + end));
  std::string cut;
  int next = 0;  // index of the first value line after the cut
  for (int line = 1; line <= int(lines.size()); ++line) {
    const std::string& current = lines[std::size_t(line) - 1];
    const char* count = nullptr;  // set when this line holds a count
    if (next < kValueCount && valueLines[std::size_t(next)] == line) {
      count = kValueLines[next].count;
      ++next;
      const std::string value = current.substr(0, current.find_first_of("\r\n"));
      const std::string name = "cut after the value on line " + std::to_string(line);
      if (count != nullptr) {
        rows.push_back(textRow(name, cut + value, 1, atLine(line) + count +
                               ", an integer no larger than the 0 values the rest of the file could hold"));
      } else if (value.find(' ') == std::string::npos && next < kValueCount) {
        rows.push_back(textRow(name, cut + value, 1, atLine(line) + kValueLines[next].expected + end));
      }
    }
    cut += current;
    const std::string name = "cut after line " + std::to_string(line);
    if (next == kValueCount) {
      rows.push_back(textRow(name + ", the last value", cut, 0, "Destruction complete...\n"));
      break;
    }
    rows.push_back(textRow(name, cut, 1,
                           count != nullptr
                               ? atLine(line) + count +
                                     ", an integer no larger than the 0 values the rest of the file could hold"
                               : atLine(line) + kValueLines[next].expected + end));
  }
  return rows;
}

// Every byte printable ASCII, tab or line end.
bool printable(const std::string& text, std::string* where) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if ((c >= 0x20 && c < 0x7f) || c == '\n' || c == '\t') continue;
    *where = "byte " + std::to_string(unsigned(c)) + " at offset " + std::to_string(i);
    return false;
  }
  return true;
}

bool isNumberText(const std::string& t) {
  if (t.empty()) return false;
  char* end = nullptr;
  const double v = std::strtod(t.c_str(), &end);
  return *end == '\0' && std::isfinite(v);
}

// In a complete run, the result records: every f(t) line whose parts are not
// finite numbers must be followed, in its record, by "Tolerance Flag = 1".
void expectNonNumbersFlagged(const std::string& out) {
  std::istringstream lines(out);
  std::string line;
  bool pendingNonNumber = false;
  std::string pendingLine;
  while (std::getline(lines, line)) {
    if (line.rfind("f(t) = ", 0) == 0) {
      // "f(t) = <re> + <im>I"
      const std::string body = line.substr(7);
      const std::size_t plus = body.find(" + ");
      const bool wellFormed = plus != std::string::npos && !body.empty() && body.back() == 'I';
      EXPECT_TRUE(wellFormed) << line;
      if (!wellFormed) continue;
      const std::string re = body.substr(0, plus);
      const std::string im = body.substr(plus + 3, body.size() - plus - 4);
      pendingNonNumber = !isNumberText(re) || !isNumberText(im);
      pendingLine = line;
    } else if (line.rfind("Tolerance Flag = ", 0) == 0) {
      if (pendingNonNumber) {
        EXPECT_EQ(line, "Tolerance Flag = 1") << "after " << pendingLine;
      }
      pendingNonNumber = false;
    }
  }
}

// Rows are named by their name alone in the test's output.
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

class BadInput : public ::testing::TestWithParam<Row> {};

TEST_P(BadInput, EndsCleanlyWithItsMessage) {
  const Row& row = GetParam();
  ASSERT_NE(row.exitCode, 99) << "the shipped example no longer has its 14 value lines first in a line";
  if (row.hostOnly && !kHostBackend) GTEST_SKIP() << "reshapes the host backend's emulated device";
  driver_test::ScratchDir scratch;
  ASSERT_FALSE(scratch.path().empty());
  const std::string dir = scratch.file("run");
  std::filesystem::create_directory(dir);
  const std::string file = dir + "/UserParameters.txt";
  switch (row.setup) {
    case Setup::File: driver_test::writeText(file, row.text); break;
    case Setup::Directory: std::filesystem::create_directory(file); break;
    case Setup::DanglingSymlink: std::filesystem::create_symlink(dir + "/absent.txt", file); break;
    case Setup::SymlinkLoop: std::filesystem::create_symlink(file, file); break;
    case Setup::LinkToDevZero: std::filesystem::create_symlink("/dev/zero", file); break;
    case Setup::Fifo: ASSERT_EQ(mkfifo(file.c_str(), 0600), 0); break;
    case Setup::NoFile: break;
  }

  process_test::Options options;
  options.env = row.env;
  // 512 MiB of address space: ample for a refusal, far below what an
  // allocation of the refused count would take. Not possible under ASan, nor
  // where the CUDA runtime (which maps far more) starts before the refusal.
  if (row.limitAddressSpace && !process_test::kSanitized && kHostBackend)
    options.addressSpace = 512LL << 20;
  const process_test::Outcome r = process_test::run(dir, scratch.path(), ORVANE_BIN, options);

  ASSERT_EQ(r.signal, 0) << r.describe() << "\nstdout:\n" << r.out << "\nstderr:\n" << r.err;
  EXPECT_EQ(r.exitCode, row.exitCode) << "stdout:\n" << r.out << "\nstderr:\n" << r.err;
  const std::string& stream = row.stream == Stream::Err ? r.err : r.out;
  EXPECT_NE(stream.find(row.message), std::string::npos)
      << "expected to find:\n" << row.message << "\nstdout:\n" << r.out << "\nstderr:\n" << r.err;
  // In the sanitized build a report would end the child with exit code 1 too.
  EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("runtime error:"), std::string::npos) << r.err;
  std::string where;
  EXPECT_TRUE(printable(r.out, &where)) << "stdout: " << where;
  EXPECT_TRUE(printable(r.err, &where)) << "stderr: " << where;

  // A refusal by the reader comes before anything else of the run.
  const bool atReading = row.message.rfind("UserParameters.txt", 0) == 0 ||
                         row.message.find("input parameters file") != std::string::npos;
  if (atReading) {
    EXPECT_EQ(r.out.find("Construction complete..."), std::string::npos) << r.out;
  }
  if (row.exitCode == 0) {
    EXPECT_EQ(r.err, "");
    expectNonNumbersFlagged(r.out);
  }
}

std::string rowName(const ::testing::TestParamInfo<Row>& info) {
  std::string name = std::to_string(info.index) + "_";
  for (char c : info.param.name) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Table, BadInput, ::testing::ValuesIn(handRows()), rowName);
INSTANTIATE_TEST_SUITE_P(Truncated, BadInput, ::testing::ValuesIn(truncationRows()), rowName);

}  // namespace

// The battery is as large as it claims.
TEST(BadInputBattery, HasAtLeastFortyHandWrittenRowsAndEveryTruncation) {
  EXPECT_GE(handRows().size(), 40u);
  EXPECT_GE(truncationRows().size(), 50u);
}
