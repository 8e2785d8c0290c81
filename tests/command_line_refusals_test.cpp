// What the command line refuses before it runs, and what it never destroys:
// empty formulas, transform files that are not files of statements, constants
// with nothing to use them, outputs onto devices, links and inputs; and the
// cases that must work (a parameter named like a compiler macro, an existing
// output's mode, a long output name, a damaged cache entry, odd file names in
// json).
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/driver_support.h"

using driver_test::ProcessResult;
using driver_test::ScratchDir;

namespace {

struct RefusalCase {
  ScratchDir dir;
  RefusalCase() {
    driver_test::writeText(dir.file("UserParameters.txt"),
                           driver_test::readText(std::string(ORVANE_SOURCE_DIR) + "/examples/UserParameters.txt"));
    driver_test::writeText(dir.file("pole.fs"), "Fs = cuCdiv(make_cuDoubleComplex(a, 0.0), make_cuDoubleComplex(s.x + 1.0, s.y));\n");
  }
  // A run with a private cache; `timeout` guards against a hang.
  ProcessResult run(const std::string& args, const std::string& format = "csv") const {
    return driver_test::runIn(dir, "timeout", "XDG_CACHE_HOME='" + dir.path() + "/cache'", "> stdout.txt",
                              "20 '" + std::string(ORVANE_BIN) + "' --quiet --format " + format + " " + args);
  }
};

}  // namespace

// Each refusal: its exit code (2 for the command line itself), its message,
// no data, and the time it takes to say so (no FIFO wait, no reading /dev/zero).
TEST(CommandLineRefusals, WhatCannotBeMeantIsRefused) {
  RefusalCase c;
  driver_test::writeText(c.dir.file("empty.fs"), "");
  driver_test::writeText(c.dir.file("blank.fs"), " \n\t\n");
  ASSERT_EQ(mkdir(c.dir.file("folder.fs").c_str(), 0700), 0);
  ASSERT_EQ(mkfifo(c.dir.file("pipe.fs").c_str(), 0600), 0);
  ASSERT_EQ(truncate((driver_test::writeText(c.dir.file("huge.fs"), ""), c.dir.file("huge.fs")).c_str(), 65 << 20), 0);
  struct Row {
    const char* args;
    int code;
    const char* message;
  } rows[] = {
      {"--expr ''", 2, "--expr is empty; expected a formula in s"},
      {"--expr ' \t '", 2, "--expr is empty"},
      {"--transform ''", 2, "--transform is empty; expected a file name"},
      {"--transform empty.fs", 1, "the transform file empty.fs is empty; expected statements that assign Fs"},
      {"--transform blank.fs", 1, "the transform file blank.fs is empty"},
      {"--transform folder.fs", 1, "the transform file folder.fs is a folder"},
      {"--transform /dev/null", 1, "the transform file /dev/null is not a regular file"},
      {"--transform /dev/zero", 1, "the transform file /dev/zero is not a regular file"},
      {"--transform pipe.fs", 1, "the transform file pipe.fs is not a regular file"},
      {"--transform huge.fs", 1, "the transform file huge.fs is larger than 64 MiB"},
      {"--param a=1", 2, "--param is given without --expr or --transform"},
      {"--transform pole.fs --param a=1 --param a=2", 2, "parameter 'a' is given more than once"},
      {"--expr 'a/(s+1)' --param a=1 --param a=2", 2, "parameter 'a' is given more than once"},
      {"--expr '1/(s+1)' --output ''", 2, "--output is empty; expected a file name"},
      {"--expr '1/(s+1)' --output /dev/null", 1, "the output file /dev/null exists and is not a regular file"},
      {"--expr '1/(s+1)' --output UserParameters.txt", 1, "is the input file UserParameters.txt"},
      {"--transform pole.fs --param a=1 --output pole.fs", 1, "the output file pole.fs is the input file pole.fs"},
      {"--expr '1/(s+1)' --output folder.fs", 1, "the output file folder.fs is a folder"},
  };
  const std::string parameters = driver_test::readText(c.dir.file("UserParameters.txt"));
  for (const Row& r : rows) {
    SCOPED_TRACE(r.args);
    const ProcessResult p = c.run(r.args);
    EXPECT_EQ(p.exitCode, r.code) << p.err;
    EXPECT_NE(p.err.find(r.message), std::string::npos) << p.err;
    EXPECT_EQ(p.out, "");
  }
  EXPECT_EQ(driver_test::readText(c.dir.file("UserParameters.txt")), parameters);
  EXPECT_NE(driver_test::readText(c.dir.file("pole.fs")), "");
  struct stat st;
  ASSERT_EQ(stat("/dev/null", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode)) << "/dev/null was replaced";
}

// A request no method can serve, or one that would hold the machine for many
// minutes, is refused before any work with the argument's own name: each
// refusal comes within the 20 s guard although the run it refuses would take
// far longer (the last rows: a grid of 3.6e7 points, 90 s on two cores).
TEST(CommandLineRefusals, RequestsRefusedBeforeAnyWork) {
  RefusalCase c;
  driver_test::Layout zero;
  zero.RelErr = "0 1e-8";
  driver_test::writeText(c.dir.file("zero.txt"), driver_test::render(zero));
  driver_test::Layout large;
  large.NLag = "1024";
  driver_test::writeText(c.dir.file("large.txt"), driver_test::render(large));
  ASSERT_EQ(mkdir(c.dir.file("ro").c_str(), 0555), 0);
  driver_test::writeText(c.dir.file("ro.csv"), "keep");
  ASSERT_EQ(chmod(c.dir.file("ro.csv").c_str(), 0444), 0);
  const std::string slow = "--method weeks --resolutions 0.005:0.005 --max-grid-points 100000000 ";
  struct Row {
    const char* args;
    int code;
    const char* message;
  } rows[] = {
      {"--t 1 --rel-err -1", 2, "--rel-err: expected a positive finite number"},
      {"--t 1 --rel-err 0", 2, "--rel-err: expected a positive finite number"},
      {"--t inf", 2, "--t: expected a finite real number, found \"inf\""},
      {"--t-range 0:inf:5", 2, "--t-range, STOP: expected a finite real number, found \"inf\""},
      {"--t-range 0:10:5:log", 2, "--t-range, START (log spacing): expected a positive real number"},
      {"--t 1 --sizes 1024", 2, "--sizes: expected a whole number from 1 to 512"},
      {"--t 1 --sigma 30,0", 2, "--sigma: expected LO below HI, found \"30,0\""},
      {"--t 1 --resolutions 1e-3:1e-3", 1,
       "resolution 1 (--resolutions) is 0.001:0.001, a grid of 30000 x 30000 = 9e+08 points: 7.2 GB of estimates"},
      // Values of a parameter file, refused with the library's names.
      {"zero.txt", 1, "options: rel_errs[0] is 0; expected a positive finite number"},
      {"large.txt --method talbot", 1, "options: sizes[0] is 1024; expected an integer from 1 to 512"},
      // Outputs that cannot be written, found before the run (as root too: by the mode bits).
      {"--t 1 --output ro/x.csv", 1, "the output file ro/x.csv cannot be created: its folder ro is not writable (mode 0555)"},
      {"--t 1 --output ro.csv", 1, "the output file ro.csv is read-only (mode 0444); make it writable"},
      {"--t 1 --output none/x.csv", 1, "the output file none/x.csv cannot be created: its folder none does not exist"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.args);
    const ProcessResult p = c.run(std::string("--expr '1/(s+1)' ") + r.args);
    EXPECT_EQ(p.exitCode, r.code) << p.err;
    EXPECT_NE(p.err.find(r.message), std::string::npos) << p.err;
    EXPECT_EQ(p.out, "");
    EXPECT_EQ(p.err.find("nan"), std::string::npos) << p.err;
  }
  for (const char* output : {"ro/x.csv", "ro.csv"}) {
    SCOPED_TRACE(output);
    const ProcessResult p = c.run(slow + "--expr '1/(s+1)' --t 1 --output " + output);
    EXPECT_EQ(p.exitCode, 1) << "not refused before the search: " << p.err;
  }
  EXPECT_EQ(driver_test::readText(c.dir.file("ro.csv")), "keep");
  EXPECT_TRUE(std::filesystem::is_empty(c.dir.file("ro")));
  for (const auto& e : std::filesystem::directory_iterator(c.dir.path()))
    EXPECT_EQ(e.path().filename().string().rfind(".orvane-", 0), std::string::npos) << "probe left behind";
  chmod(c.dir.file("ro").c_str(), 0700);
}

// An output is written as a new file or over a regular file of its own; it is
// never written through a link, over a hard link of an input, or with a new mode.
TEST(CommandLineRefusals, OutputsNeverDestroy) {
  RefusalCase c;
  driver_test::writeText(c.dir.file("target.csv"), "keep");
  ASSERT_EQ(symlink("target.csv", c.dir.file("link.csv").c_str()), 0);
  ASSERT_EQ(link(c.dir.file("UserParameters.txt").c_str(), c.dir.file("hard.csv").c_str()), 0);
  const std::string parameters = driver_test::readText(c.dir.file("UserParameters.txt"));

  ProcessResult r = c.run("--expr '1/(s+1)' --output link.csv");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("the output file link.csv is a symbolic link"), std::string::npos) << r.err;
  struct stat st;
  ASSERT_EQ(lstat(c.dir.file("link.csv").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(driver_test::readText(c.dir.file("target.csv")), "keep");

  r = c.run("--expr '1/(s+1)' --output hard.csv");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("the output file hard.csv is the input file UserParameters.txt"), std::string::npos) << r.err;
  EXPECT_EQ(driver_test::readText(c.dir.file("UserParameters.txt")), parameters);

  // An existing private file stays private.
  chmod(c.dir.file("target.csv").c_str(), 0600);
  r = c.run("--expr '1/(s+1)' --output target.csv");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  ASSERT_EQ(stat(c.dir.file("target.csv").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(driver_test::readText(c.dir.file("target.csv")).rfind("t,re,im", 0), 0u);

  // A name of 250 characters: the temporary name beside it must fit too.
  const std::string longName(250, 'n');
  r = c.run("--expr '1/(s+1)' --output " + longName);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(std::filesystem::exists(c.dir.file(longName)));
  for (const auto& e : std::filesystem::directory_iterator(c.dir.path()))
    EXPECT_EQ(e.path().filename().string().rfind(".orvane-", 0), std::string::npos) << "temporary left behind";
}

// Any name that passes the name check means the parameter, even where the
// compiler or its headers define it as a macro.
TEST(CommandLineRefusals, ParametersNamedLikeCompilerMacrosWork) {
  RefusalCase c;
  driver_test::writeText(c.dir.file("macro.fs"),
                         "Fs = cuCdiv(make_cuDoubleComplex(unix, 0.0), make_cuDoubleComplex(s.x + linux, s.y));\n");
  const ProcessResult e = c.run("--method weeks --expr 'unix/(s+linux)' --param unix=1 --param linux=1");
  EXPECT_EQ(e.exitCode, 0) << e.err;
  const ProcessResult t = c.run("--method weeks --transform macro.fs --param unix=1 --param linux=1");
  EXPECT_EQ(t.exitCode, 0) << t.err;
  driver_test::writeText(c.dir.file("plain.fs"),
                         "Fs = cuCdiv(make_cuDoubleComplex(1.0, 0.0), make_cuDoubleComplex(s.x + 1.0, s.y));\n");
  EXPECT_EQ(e.out, c.run("--method weeks --expr '1/(s+1)'").out);
  EXPECT_EQ(t.out, c.run("--method weeks --transform plain.fs").out);
}

// A cached object cut short or zero-filled is rebuilt, with a warning, and
// the run gives the numbers of an intact one (a crash before: SIGBUS/SIGSEGV).
TEST(CommandLineRefusals, DamagedCacheEntryIsRebuiltNotLoaded) {
  RefusalCase c;
  const std::string args = "--method weeks --transform pole.fs --param a=2";
  const ProcessResult first = c.run(args);
  ASSERT_EQ(first.exitCode, 0) << first.err;
  std::string object;
  for (const auto& e : std::filesystem::directory_iterator(c.dir.path() + "/cache/orvane"))
    if (e.path().extension() == ".so") object = e.path();
  ASSERT_NE(object, "");
  const auto size = std::filesystem::file_size(object);
  for (int damage = 0; damage < 2; ++damage) {
    SCOPED_TRACE(damage);
    if (damage == 0) {
      ASSERT_EQ(truncate(object.c_str(), off_t(size / 2)), 0);
    } else {
      std::fstream f(object, std::ios::in | std::ios::out | std::ios::binary);
      f.seekp(4096);
      f << std::string(size - 4096, '\0');
    }
    const ProcessResult r = c.run(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, first.out);
    EXPECT_NE(r.err.find("; rebuilt"), std::string::npos) << r.err;
    EXPECT_EQ(std::filesystem::file_size(object), size) << "the entry was not rebuilt";
  }
}

// Names of files in json are valid UTF-8 whatever their bytes.
TEST(CommandLineRefusals, JsonNamesAreValidUtf8) {
  RefusalCase c;
  const std::string odd = "p\xff\xc3(\xe2\x82\xac.txt";  // invalid bytes around a valid euro sign
  std::filesystem::copy_file(c.dir.file("UserParameters.txt"), c.dir.file(odd));
  const ProcessResult r = c.run("'" + odd + "' --expr '1/(s+1)' --method weeks", "json");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("\"parameter_file\": \"p\xef\xbf\xbd\xef\xbf\xbd(\xe2\x82\xac.txt\""), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find('\xff'), std::string::npos);
}
