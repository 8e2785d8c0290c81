// The parameter file reader: layouts that must read the same as the shipped
// example, every malformed input with its one-line message, and the files
// that are refused before their text is read.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "orvane/error.h"
#include "driver/console_records.h"
#include "vocabulary/parameter_file.h"
#include "support/driver_support.h"

using driver_test::Layout;
using driver_test::render;
using orvane::Parameters;
using orvane::detail::FileRead;
using orvane::detail::readWholeFile;

namespace {

Parameters parseOk(const std::string& text) {
  try {
    return Parameters::fromText(text);
  } catch (const orvane::Error& e) {
    ADD_FAILURE() << e.what();
    return Parameters();
  }
}

std::string parseError(const std::string& text, const std::string& name = "UserParameters.txt") {
  try {
    Parameters::fromText(text, name);
  } catch (const orvane::Error& e) {
    EXPECT_EQ(e.kind(), orvane::ErrorKind::kParameterFile);
    return e.what();
  }
  ADD_FAILURE() << "accepted";
  return "";
}

void expectShippedExample(const Parameters& p) {
  EXPECT_EQ(p.Ntimes(), 2);
  EXPECT_EQ(p.Time, (std::vector<double>{0.5, 1.0}));
  EXPECT_EQ(p.RelErr, (std::vector<double>{1e-6, 1e-6}));
  EXPECT_EQ(p.SearchSwitch, 1);
  EXPECT_EQ(p.Nsizes(), 1);
  EXPECT_EQ(p.NLag, (std::vector<int>{64}));
  EXPECT_EQ(p.sigmaUser, (std::vector<double>{0.0, 0.0}));
  EXPECT_EQ(p.bUser, (std::vector<double>{1.0, 1.0}));
  EXPECT_EQ(p.Ntol(), 2);
  EXPECT_EQ(p.sigmin, 0.0);
  EXPECT_EQ(p.sigmax, 30.0);
  EXPECT_EQ(p.tols, (std::vector<double>{1.0, 0.5}));
  EXPECT_EQ(p.bmax, 30.0);
  EXPECT_EQ(p.tolb, (std::vector<double>{1.0, 0.5}));
}

}  // namespace

TEST(ParameterFile, ShippedExampleFile) {
  std::string text = driver_test::readText(std::string(ORVANE_SOURCE_DIR) + "/examples/UserParameters.txt");
  ASSERT_FALSE(text.empty());
  expectShippedExample(parseOk(text));
}

// Each layout differs from the example only in how the same values are written.
TEST(ParameterFile, LayoutsThatReadAsTheExample) {
  struct Case {
    const char* name;
    void (*change)(Layout&);
  };
  static std::string caption1023, caption5000;
  caption1023 = "#" + std::string(1022, 'c');
  caption5000 = "#" + std::string(4999, 'c');
  const Case cases[] = {
      {"as shipped", [](Layout&) {}},
      {"one value per line", [](Layout& l) { l.Time = "0.5\n1.0"; l.tols = "1.0\n0.5"; }},
      {"mixed, with blank and indented lines",
       [](Layout& l) { l.RelErr = "1e-06\n\n   1e-06"; l.tolb = "1.0\t0.5"; }},
      {"blank lines before a value", [](Layout& l) { l.Ntimes = "\n\n2"; l.bmax = "\n30.0"; }},
      {"comments after values",
       [](Layout& l) {
         l.Ntimes = "2   number of times";
         l.Time = "0.5 1.0 # t";
         l.NLag = "64 terms";
         l.tolb = "1.0 0.5\tlast";
       }},
      {"CRLF line ends", [](Layout& l) { l.eol = "\r\n"; }},
      {"CRLF, one value per line", [](Layout& l) { l.eol = "\r\n"; l.Time = "0.5\r\n1.0"; }},
      {"1023-character captions", [](Layout& l) { l.caption = caption1023; }},
      {"5000-character captions", [](Layout& l) { l.caption = caption5000; }},
      {"empty captions", [](Layout& l) { l.caption = ""; }},
      {"signs and exponents",
       [](Layout& l) {
         l.Time = "5e-1 +1";
         l.RelErr = "1E-6 0.000001";
         l.Ntimes = "+2";
         l.sigmax = "3.0e+1";
       }},
      {"no line end after the last value", [](Layout& l) { l.finalCaption = false; }},
      {"decimal forms without a digit on one side of the point",
       [](Layout& l) {
         l.Time = ".5 1.";
         l.RelErr = "+.000001 1.e-6";
         l.sigmax = "3.e1";
         l.tols = "1. +.5";
         l.tolb = "1.E0 .5e0";
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Layout layout;
    c.change(layout);
    expectShippedExample(parseOk(render(layout)));
  }
}

TEST(ParameterFile, SignedDecimalFormsWithoutWholePart) {
  Layout l;
  l.SearchSwitch = "0";
  l.sigmaUser = "-.5 -5.e-1";
  l.bUser = "+.5 +.25E+1";
  l.Time = "-0. +0.";  // zero with either sign is a time of at least 0
  Parameters p = parseOk(render(l));
  EXPECT_EQ(p.sigmaUser, (std::vector<double>{-0.5, -0.5}));
  EXPECT_EQ(p.bUser, (std::vector<double>{0.5, 2.5}));
  EXPECT_EQ(p.Time, (std::vector<double>{0.0, 0.0}));
}

TEST(ParameterFile, CountOfZeroTimesLeavesEmptyListsOnTheirLines) {
  Layout l;
  l.Ntimes = "0";
  l.Time = "";  // an empty line
  l.RelErr = "text on an unread list line";
  l.sigmaUser = "";
  l.bUser = "";
  Parameters p = parseOk(render(l));
  EXPECT_EQ(p.Ntimes(), 0);
  EXPECT_TRUE(p.Time.empty() && p.RelErr.empty() && p.sigmaUser.empty() && p.bUser.empty());
  EXPECT_EQ(p.SearchSwitch, 1);  // the later values stay in place
  EXPECT_EQ(p.NLag, (std::vector<int>{64}));
  EXPECT_EQ(p.tolb, (std::vector<double>{1.0, 0.5}));
}

// Each value is checked only where it is used: the grid with the search, the
// user's b without it.
TEST(ParameterFile, ValuesAreUncheckedWhereTheyAreUnused) {
  Layout l;
  l.SearchSwitch = "0";
  l.tols = "0 -1";
  l.tolb = "100 0";
  Parameters p = parseOk(render(l));
  EXPECT_EQ(p.tols, (std::vector<double>{0.0, -1.0}));
  // A switch other than 0 or 1 is refused later, by the run.
  l.SearchSwitch = "2";
  l.bUser = "0 -1";
  EXPECT_EQ(parseOk(render(l)).SearchSwitch, 2);
  Layout search;
  search.bUser = "0 -1";
  EXPECT_EQ(parseOk(render(search)).bUser, (std::vector<double>{0.0, -1.0}));
  // A subnormal b is still positive.
  l.SearchSwitch = "0";
  l.bUser = "4.9e-324 1";
  EXPECT_GT(parseOk(render(l)).bUser[0], 0.0);
}

TEST(ParameterFile, GridsOfExactlyOneValueAreAccepted) {
  Layout l;
  l.tols = "30 0.5";  // floor(30 / 30) = 1
  l.tolb = "1.0 30";
  l.bmax = "30";
  Parameters p = parseOk(render(l));
  EXPECT_EQ(p.tols[0], 30.0);
  EXPECT_EQ(p.tolb[1], 30.0);
  // Underflow is not an error; the value is kept (here as zero or a subnormal).
  l.SearchSwitch = "0";
  l.Time = "1e-400 1";
  EXPECT_GE(parseOk(render(l)).Time[0], 0.0);
}

TEST(ParameterFile, MalformedInputNamesLineExpectationAndFinding) {
  struct Case {
    void (*change)(Layout&);
    const char* message;
  };
  const Case cases[] = {
      {[](Layout& l) { l.Ntimes = "abc"; },
       "line 7: expected the number of inversion times, an integer, found \"abc\""},
      {[](Layout& l) { l.Ntimes = "2.5"; },
       "line 7: expected the number of inversion times, an integer, found \"2.5\""},
      {[](Layout& l) { l.Ntimes = "-1"; },
       "line 7: expected the number of inversion times, an integer of at least 0, found \"-1\""},
      {[](Layout& l) { l.Ntimes = "99999999999"; },
       "line 7: expected the number of inversion times, an integer, found \"99999999999\" (out of range)"},
      {[](Layout& l) { l.Ntimes = "2#times"; },
       "line 7: expected the number of inversion times, an integer, found \"2#times\""},
      {[](Layout& l) { l.Time = "0.5 x"; },
       "line 10: expected inversion time 2 of 2, a real number, found \"x\""},
      {[](Layout& l) { l.Time = "0.5 1e999"; },
       "line 10: expected inversion time 2 of 2, a real number, found \"1e999\" (out of range)"},
      {[](Layout& l) { l.Time = "nan 1"; },
       "line 10: expected inversion time 1 of 2, a real number, found \"nan\""},
      {[](Layout& l) { l.Time = "0.5 inf"; },
       "line 10: expected inversion time 2 of 2, a real number, found \"inf\""},
      {[](Layout& l) { l.Time = ". 1"; },
       "line 10: expected inversion time 1 of 2, a real number, found \".\""},
      {[](Layout& l) { l.Time = "0.5 -."; },
       "line 10: expected inversion time 2 of 2, a real number, found \"-.\""},
      {[](Layout& l) { l.Time = ".e3 1"; },
       "line 10: expected inversion time 1 of 2, a real number, found \".e3\""},
      {[](Layout& l) { l.Time = "5.e 1"; },
       "line 10: expected inversion time 1 of 2, a real number, found \"5.e\""},
      {[](Layout& l) { l.Time = "1..5 1"; },
       "line 10: expected inversion time 1 of 2, a real number, found \"1..5\""},
      {[](Layout& l) { l.Time = "0.5 +-1"; },
       "line 10: expected inversion time 2 of 2, a real number, found \"+-1\""},
      {[](Layout& l) { l.Time = "-inf 1"; },
       "line 10: expected inversion time 1 of 2, a real number, found \"-inf\""},
      {[](Layout& l) { l.Time = "0.5 infinity"; },
       "line 10: expected inversion time 2 of 2, a real number, found \"infinity\""},
      {[](Layout& l) { l.Time = "NaN 1"; },
       "line 10: expected inversion time 1 of 2, a real number, found \"NaN\""},
      {[](Layout& l) { l.Time = "0.5 1.0abc"; },
       "line 10: expected inversion time 2 of 2, a real number, found \"1.0abc\""},
      {[](Layout& l) { l.Time = "0x1p3 1"; },
       "line 10: expected inversion time 1 of 2, a real number, found \"0x1p3\""},
      // f(t) is 0 for t < 0: there is nothing to compute.
      {[](Layout& l) { l.Time = "-0.5 1"; },
       "line 10: expected inversion time 1 of 2, a real number of at least 0, found \"-0.5\""},
      {[](Layout& l) { l.Time = "0.5 -1e-300"; },
       "line 10: expected inversion time 2 of 2, a real number of at least 0, found \"-1e-300\""},
      // A list one value short reads into the next caption.
      {[](Layout& l) { l.RelErr = "1e-06"; },
       "line 14: expected requested relative error 2 of 2, a real number, found \"#\""},
      {[](Layout& l) { l.SearchSwitch = "one"; },
       "line 16: expected the search switch, an integer, found \"one\""},
      {[](Layout& l) { l.Nsizes = "0"; },
       "line 19: expected the number of expansion sizes, an integer of at least 1, found \"0\""},
      {[](Layout& l) { l.Nsizes = "abc"; },
       "line 19: expected the number of expansion sizes, an integer, found \"abc\""},
      {[](Layout& l) { l.NLag = "0"; },
       "line 22: expected expansion size 1 of 1, an integer of at least 1, found \"0\""},
      {[](Layout& l) { l.Nsizes = "2"; l.NLag = "64 -8"; },
       "line 22: expected expansion size 2 of 2, an integer of at least 1, found \"-8\""},
      {[](Layout& l) { l.sigmaUser = "0.0 zero"; },
       "line 27: expected user sigma 2 of 2, a real number, found \"zero\""},
      {[](Layout& l) { l.bUser = "1,0 1.0"; },
       "line 30: expected user b 1 of 2, a real number, found \"1,0\""},
      // The user's b, when used, scales the Laguerre functions: it must be positive.
      {[](Layout& l) { l.SearchSwitch = "0"; l.bUser = "1.0 0"; },
       "line 30: expected user b 2 of 2, a positive real number, found \"0\""},
      {[](Layout& l) { l.SearchSwitch = "0"; l.bUser = "-1 1"; },
       "line 30: expected user b 1 of 2, a positive real number, found \"-1\""},
      {[](Layout& l) { l.SearchSwitch = "0"; l.bUser = "1e-400 1"; },  // underflows to 0
       "line 30: expected user b 1 of 2, a positive real number, found \"1e-400\""},
      {[](Layout& l) { l.Ntol = "0"; },
       "line 35: expected the number of tolerances, an integer of at least 1, found \"0\""},
      {[](Layout& l) { l.sigmin = "-"; },
       "line 38: expected the minimum sigma, a real number, found \"-\""},
      {[](Layout& l) { l.sigmax = "3O"; },
       "line 41: expected the maximum sigma, a real number, found \"3O\""},
      {[](Layout& l) { l.tols = "1.0 0"; },
       "line 44: expected the sigma resolution of tolerance 2 of 2, a positive real number, found \"0\""},
      {[](Layout& l) { l.tols = "1.0 40"; },
       "line 44: expected the sigma resolution of tolerance 2 of 2, a step that fits at least once "
       "into the sigma range from 0 to 30, found \"40\""},
      {[](Layout& l) { l.sigmax = "0.0"; },
       "line 44: expected the sigma resolution of tolerance 1 of 2, a step that fits at least once "
       "into the sigma range from 0 to 0, found \"1.0\""},
      // 0.3 - 0.1 is just below 0.2 in double, so the grid would hold no sigma value.
      {[](Layout& l) { l.sigmin = "0.1"; l.sigmax = "0.3"; l.tols = "0.2 0.1"; },
       "line 44: expected the sigma resolution of tolerance 1 of 2, a step that fits at least once "
       "into the sigma range from 0.1 to 0.3, found \"0.2\""},
      // A range wider than the largest double would give infinite grid counts.
      {[](Layout& l) { l.sigmin = "-1e308"; l.sigmax = "1e308"; },
       "line 41: expected the maximum sigma, a value whose distance from the minimum sigma -1e+308 "
       "is a finite number, found \"1e308\""},
      {[](Layout& l) { l.tols = "1e-300 0.5"; },
       "line 44: expected the sigma resolution of tolerance 1 of 2, a step that fits at most "
       "2147483647 times into the sigma range from 0 to 30, found \"1e-300\""},
      {[](Layout& l) { l.tolb = "1.0 1e-9"; },
       "line 50: expected the b resolution of tolerance 2 of 2, a step that fits at most "
       "2147483647 times into the b range from 0 to 30, found \"1e-9\""},
      {[](Layout& l) { l.bmax = "b"; },
       "line 47: expected the maximum b, a real number, found \"b\""},
      {[](Layout& l) { l.tolb = "-0.5 0.5"; },
       "line 50: expected the b resolution of tolerance 1 of 2, a positive real number, found \"-0.5\""},
      {[](Layout& l) { l.bmax = "0.25"; },
       "line 50: expected the b resolution of tolerance 1 of 2, a step that fits at least once into "
       "the b range from 0 to 0.25, found \"1.0\""},
      {[](Layout& l) { l.tolb = "1.0"; l.finalCaption = false; },
       "line 50: expected the b resolution of tolerance 2 of 2, a real number, found the end of the file"},
      // Bytes from the file that are not printable ASCII are shown as \xNN.
      {[](Layout& l) { l.Ntimes = std::string("\x01\xff", 2) + std::string(1, '\0') + "2\x7f"; },
       "line 7: expected the number of inversion times, an integer, found \"\\x01\\xFF\\x002\\x7F\""},
      {[](Layout& l) { l.Ntimes = std::string(60, 'x'); },
       "line 7: expected the number of inversion times, an integer, found "
       "\"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx...\""},
  };
  for (const Case& c : cases) {
    Layout layout;
    c.change(layout);
    EXPECT_EQ(parseError(render(layout)), std::string("UserParameters.txt, ") + c.message);
  }
  // The messages call the file by the name they are given.
  Layout l;
  l.Ntimes = "x";
  EXPECT_EQ(parseError(render(l), "run/p.txt"),
            "run/p.txt, line 7: expected the number of inversion times, an integer, found \"x\"");
}

TEST(ParameterFile, FileEndingEarlyNamesItsLastLine) {
  std::string full = render(Layout());
  // Cut after the line holding the maximum b (line 47), line end included.
  std::size_t cut = 0;
  for (int line = 0; line < 47; ++line) cut = full.find('\n', cut) + 1;
  EXPECT_EQ(parseError(full.substr(0, cut)),
            "UserParameters.txt, line 47: expected the b resolution of tolerance 1 of 2, a real "
            "number, found the end of the file");
  EXPECT_EQ(parseError(""),
            "UserParameters.txt, line 1: expected the number of inversion times, an integer, found "
            "the end of the file");
  EXPECT_EQ(parseError("a\nb\nc"),
            "UserParameters.txt, line 3: expected the number of inversion times, an integer, found "
            "the end of the file");
}

TEST(ParameterFile, HugeCountIsRefusedBeforeAllocating) {
  // " 1 2\n" after the count can hold at most two values.
  EXPECT_EQ(parseError("\n\n\n\n\n\n2000000000 1 2\n"),
            "UserParameters.txt, line 7: expected the number of inversion times, an integer no "
            "larger than the 2 values the rest of the file could hold, found \"2000000000\"");
  Layout l;
  l.Nsizes = "2147483647";
  std::string error = parseError(render(l));
  EXPECT_EQ(error.rfind("UserParameters.txt, line 19: expected the number of expansion sizes, an "
                        "integer no larger than the ", 0),
            0u)
      << error;
}

namespace {

// Runs `read`, which must not wait for a writer of the FIFO at `fifo`. If it
// is still waiting after five seconds, a writer comes and goes to release it,
// and the test fails.
template <class T>
T withoutWaiting(const std::string& fifo, const std::function<T()>& read) {
  std::future<T> done = std::async(std::launch::async, read);
  if (done.wait_for(std::chrono::seconds(5)) == std::future_status::timeout) {
    ADD_FAILURE() << "the read waited for a writer of the FIFO";
    const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0) ::close(writer);
  }
  return done.get();
}

// Everything that may stand where the parameter file is expected, in a
// scratch folder. The socket stays bound while the folder lives.
class FileKinds {
 public:
  FileKinds() {
    EXPECT_FALSE(dir_.path().empty());
    driver_test::writeText(file("text.txt"), text());
    std::filesystem::create_directory(file("directory"));
    EXPECT_EQ(::mkfifo(file("fifo").c_str(), 0600), 0) << std::strerror(errno);
    std::filesystem::create_symlink("/dev/zero", file("zero"));
    std::filesystem::create_symlink("/dev/null", file("null"));
    std::filesystem::create_symlink(file("absent.txt"), file("dangling"));
    socket_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = file("socket");
    EXPECT_LT(path.size(), sizeof address.sun_path);
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    EXPECT_EQ(::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0)
        << std::strerror(errno);
  }
  ~FileKinds() {
    if (socket_ >= 0) ::close(socket_);
  }
  std::string file(const std::string& name) const { return dir_.file(name); }
  static std::string text() { return "a\r\nb\n" + std::string(10000, 'z'); }

 private:
  driver_test::ScratchDir dir_;
  int socket_ = -1;
};

}  // namespace

TEST(ParameterFile, OnlyRegularFilesAreRead) {
  FileKinds kinds;
  const struct {
    const char* name;
    FileRead expected;
  } cases[] = {
      {"text.txt", FileRead::kRead},
      {"missing.txt", FileRead::kUnreadable},
      {"dangling", FileRead::kUnreadable},
      // A directory opens on Linux but can never be read.
      {"directory", FileRead::kUnreadable},
      // None of these is waited on: a FIFO without a writer, a device without
      // end, a socket (which cannot even be opened).
      {"fifo", FileRead::kNotRegular},
      {"zero", FileRead::kNotRegular},
      {"null", FileRead::kNotRegular},
      {"socket", FileRead::kNotRegular},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text = "left from before";
    const std::string path = kinds.file(c.name);
    const FileRead read = withoutWaiting<FileRead>(
        kinds.file("fifo"), [&] { return readWholeFile(path.c_str(), text); });
    EXPECT_EQ(read, c.expected);
    EXPECT_EQ(text, c.expected == FileRead::kRead ? FileKinds::text() : "");
  }
}

TEST(ParameterFile, SizeLimit) {
  FileKinds kinds;
  const std::string path = kinds.file("text.txt");
  const std::size_t size = FileKinds::text().size();
  std::string text;
  // Exactly the limit is read; one byte more is refused and nothing is kept.
  ASSERT_EQ(readWholeFile(path.c_str(), text, size), FileRead::kRead);
  EXPECT_EQ(text.size(), size);
  EXPECT_EQ(readWholeFile(path.c_str(), text, size - 1), FileRead::kTooLarge);
  EXPECT_TRUE(text.empty());
}

// fromFile turns each way of failing into its message, every one of kind
// kParameterFile; the messages of the text name the file as they are told.
TEST(ParameterFile, FromFileMessages) {
  FileKinds kinds;
  Layout bad;
  bad.Ntimes = "x";
  driver_test::writeText(kinds.file("bad.txt"), render(bad));
  // Sparse: larger than the limit without a byte written.
  const std::string huge = kinds.file("huge.txt");
  driver_test::writeText(huge, "");
  std::filesystem::resize_file(huge, orvane::detail::kMaxParameterFileBytes + 1);
  const std::string lineSeven = ", line 7: expected the number of inversion times, an integer, found \"x\"";
  const struct {
    std::string path;
    std::string name;
    std::string message;
  } cases[] = {
      {kinds.file("missing.txt"), "", "Unable to open the input parameters file!"},
      {kinds.file("directory"), "", "Unable to open the input parameters file!"},
      // Cut at its NUL, the path would name text.txt.
      {kinds.file("text.txt") + std::string("\0x", 2), "", "Unable to open the input parameters file!"},
      {kinds.file("fifo"), "", "The input parameters file is not a regular file!"},
      {kinds.file("zero"), "", "The input parameters file is not a regular file!"},
      {huge, "", "The input parameters file is larger than 67108864 bytes!"},
      {kinds.file("bad.txt"), "", kinds.file("bad.txt") + lineSeven},
      {kinds.file("bad.txt"), "UserParameters.txt", "UserParameters.txt" + lineSeven},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const std::string message = withoutWaiting<std::string>(kinds.file("fifo"), [&] {
      try {
        Parameters::fromFile(c.path, c.name);
      } catch (const orvane::Error& e) {
        EXPECT_EQ(e.kind(), orvane::ErrorKind::kParameterFile);
        return std::string(e.what());
      }
      return std::string("accepted");
    });
    EXPECT_EQ(message, c.message);
  }
  expectShippedExample(
      Parameters::fromFile(std::string(ORVANE_SOURCE_DIR) + "/examples/UserParameters.txt"));
}
