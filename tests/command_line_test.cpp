// The command line as a process: formats, the output file, usage errors, the
// run-time transforms (parity with the compiled-in build, compiler messages,
// the cache and its trust rules).
#include <gtest/gtest.h>
#include <unistd.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <cmath>
#include <cstdio>
#include <regex>
#include <sstream>
#include <string>

#include "support/driver_support.h"
#include "support/process_run.h"

using driver_test::ProcessResult;
using driver_test::ScratchDir;

namespace {

using driver_test::shippedExample;

// A scratch folder with the shipped example and a private transform cache.
struct Case {
  ScratchDir dir;
  Case() { driver_test::writeText(dir.file("UserParameters.txt"), shippedExample()); }
  std::string cacheEnv() const { return "XDG_CACHE_HOME='" + dir.path() + "/cache'"; }
  ProcessResult run(const std::string& args, const std::string& env = "",
                    const char* program = ORVANE_BIN) const {
    return driver_test::runIn(dir, program, cacheEnv() + (env.empty() ? "" : " " + env),
                              "> stdout.txt", args);
  }
  std::string cacheDir() const { return dir.path() + "/cache/orvane"; }
};

std::string shippedTransform(const char* name) {
  return "'" + std::string(ORVANE_SOURCE_DIR) + "/user/" + name + "'";
}

int lineCount(const std::string& text) {
  int n = 0;
  for (char c : text) n += c == '\n';
  return n;
}

}  // namespace

TEST(CommandLine, FormatsPutOnlyTheDataOnStandardOutput) {
  Case c;
  const ProcessResult csv = c.run("--format csv --method weeks");
  EXPECT_EQ(csv.exitCode, 0) << csv.err;
  EXPECT_EQ(csv.out.rfind("t,re,im,sigma,b,abs_err,rel_err,flag,N,method\n0.5,", 0), 0u) << csv.out;
  EXPECT_EQ(lineCount(csv.out), 3);
  EXPECT_TRUE(std::regex_search(csv.out, std::regex("\n1,[-0-9.e]+,[-0-9.e]+,0,[0-9.]+,[-0-9.e]+,[-0-9.e]+,1,64,weeks\n$")))
      << csv.out;
  // Standard error carries warnings and errors only: the banner, the device
  // lines and the input report belong to the console report.
  EXPECT_EQ(csv.err, "");
  EXPECT_EQ(c.run("--format json").err, "");
  EXPECT_EQ(c.run("--format csv --quiet").err, "");
  // By default a time that Weeks does not meet goes to a later method, which meets it.
  EXPECT_TRUE(std::regex_search(c.run("--format csv --quiet").out,
                                std::regex("\n1,[-0-9.e]+,[-0-9.e]+,0,0,[-0-9.e]+,[-0-9.e]+,0,[0-9]+,(talbot|dehoog)\n$")));

  const ProcessResult json = c.run("--format json --quiet --method weeks");
  EXPECT_EQ(json.exitCode, 0);
  EXPECT_NE(json.out.find("\"times\": [0.5, 1]"), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"transform\": \"compiled-in\""), std::string::npos);
  EXPECT_TRUE(std::regex_search(json.out, std::regex("\\{\"t\": 1, \"re\": [-0-9.e]+, \"im\": [-0-9.e]+, \"sigma\": 0, "
                                                     "\"b\": [0-9.]+, \"abs_err\": [-0-9.e]+, \"rel_err\": [-0-9.e]+, "
                                                     "\"flag\": 1, \"N\": 64, \"method\": \"weeks\"\\}\n  \\]\n\\}\n$")))
      << json.out;

  // The console report: the program's own, without the wait or the object's
  // messages; the method of each time only when one was asked for.
  const ProcessResult report = c.run("UserParameters.txt --format report");
  EXPECT_EQ(report.exitCode, 0);
  EXPECT_EQ(report.out.rfind("Orvane \nwith CUDA Acceleration\nTessaly\n\n", 0), 0u) << report.out;
  EXPECT_NE(report.out.find("Number of CUDA enabled devices = "), std::string::npos);
  EXPECT_EQ(report.err, "");
  EXPECT_NE(report.out.find("--------------------\n\nTime = 5.000000e-01\n"), std::string::npos) << report.out;
  EXPECT_EQ(report.out.find("Method = "), std::string::npos);
  EXPECT_TRUE(std::regex_search(c.run("--method auto --format report").out,
                                std::regex("Tolerance Flag = 0\nMethod = (talbot|dehoog)\n\nWalk clock")));
  EXPECT_EQ(report.out.find("Press enter"), std::string::npos);
  EXPECT_TRUE(std::regex_search(report.out, std::regex("Walk clock time = [0-9.e+-]+\n$"))) << report.out;
}

TEST(CommandLine, OutputFileIsWholeOrAbsent) {
  Case c;
  const ProcessResult written = c.run("--format csv --quiet --output out.csv");
  EXPECT_EQ(written.exitCode, 0) << written.err;
  EXPECT_EQ(written.out, "");
  EXPECT_EQ(driver_test::readText(c.dir.file("out.csv")), c.run("--format csv --quiet").out);

  // A failed run leaves no file, and neither does an unwritable path.
  const ProcessResult failed = c.run("missing.txt --format csv --output none.csv");
  EXPECT_EQ(failed.exitCode, 1);
  // The file is named with its folder; one named on the command line gets no hint.
  EXPECT_NE(failed.err.find("Unable to open the input parameters file " + c.dir.path() +
                            "/missing.txt: there is no such file."),
            std::string::npos)
      << failed.err;
  EXPECT_EQ(failed.err.find("--t"), std::string::npos);
  const ProcessResult unwritable = c.run("--format csv --quiet --output no/such/folder/out.csv");
  EXPECT_EQ(unwritable.exitCode, 1);
  EXPECT_NE(unwritable.err.find("the output file no/such/folder/out.csv cannot"), std::string::npos)
      << unwritable.err;
  for (const auto& entry : std::filesystem::directory_iterator(c.dir.path()))
    EXPECT_EQ(entry.path().filename().string().find("none.csv"), std::string::npos);
}

// Progress goes to a terminal only, and shows before the first time is done
// (one time of a fine search), never in the data.
TEST(CommandLine, ProgressOnATerminalOnly) {
  Case c;
  const std::string args = "--expr '1/(s+1)' --t 1 --method weeks --rel-err 1e-30 --resolutions 0.04:0.04 "
                           "--format csv --output out.csv";
  const auto start = std::chrono::steady_clock::now();
  // script(1) gives the program a terminal; its output is the terminal's.
  const std::string command = "cd '" + c.dir.path() + "' && " + c.cacheEnv() + " script -qec \"'" ORVANE_BIN "' " +
                              args + "\" /dev/null < /dev/null > tty.txt 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << driver_test::readText(c.dir.file("tty.txt"));
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const std::string tty = driver_test::readText(c.dir.file("tty.txt"));
  // A fast device may finish within the second before the first line.
  if (seconds > 2.0) EXPECT_NE(tty.find("0 of 1 times, "), std::string::npos) << seconds << " s: " << tty;
  EXPECT_EQ(driver_test::readText(c.dir.file("out.csv")).rfind("t,re,im", 0), 0u);
  EXPECT_EQ(c.run(args).err, "");
}

TEST(CommandLine, UsageErrorsExitWithTwo) {
  Case c;
  for (const char* args : {"--frobnicate", "--format xml", "--method simpson",
                           "--expr '1/s' --transform x.fs", "a.txt b.txt"}) {
    SCOPED_TRACE(args);
    const ProcessResult r = c.run(args);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err, "");
  }
  EXPECT_EQ(c.run("--version").out, std::string(ORVANE_BIN).find("diag") == std::string::npos
                                        ? "orvane 0.3.0\n"
                                        : "orvane-diag 0.3.0\n");
  EXPECT_NE(c.run("--help").out.find("--expr"), std::string::npos);
}

// With arguments the program never waits for Enter: standard input is a pipe
// that stays open until the program has ended, so a wait would block until the
// alarm ends it.
TEST(CommandLine, NeverWaitsForEnter) {
  Case c;
  process_test::Options options;
  options.args = {"--quiet"};
  options.env = {"XDG_CACHE_HOME=" + c.dir.path() + "/cache"};
  options.stdinPipe = true;
  options.seconds = 60;
  const process_test::Outcome r = process_test::run(c.dir.path(), c.dir.path(), ORVANE_BIN, options);
  EXPECT_EQ(r.exitCode, 0) << r.describe() << "\n" << r.err;
  EXPECT_NE(r.out.find("times met their request."), std::string::npos) << r.out;
}

// The OpenMP threads sleep as soon as a loop ends, unless the user chose
// otherwise (the program starts itself once more with that setting where the
// runtime reads it as it is loaded), and the numbers are the same. The
// runtime's own report of its settings shows which: its last word on the
// wait policy (and GNU's spin count, 0 when passive).
TEST(CommandLine, ThreadsSleepUnlessTheUserChose) {
  Case c;
  const auto last = [](const std::string& err, const std::string& key) {
    std::string line;
    std::size_t at = err.rfind(key);
    if (at != std::string::npos) line = err.substr(at, err.find('\n', at) - at);
    return line;
  };
  const ProcessResult chosen = c.run("--format csv --quiet", "OMP_DISPLAY_ENV=verbose OMP_WAIT_POLICY=active");
  const ProcessResult ours = c.run("--format csv --quiet", "OMP_DISPLAY_ENV=verbose");
  ASSERT_EQ(ours.exitCode, 0) << ours.err;
  EXPECT_EQ(ours.out, chosen.out);
  EXPECT_NE(last(chosen.err, "OMP_WAIT_POLICY").find("ACTIVE"), std::string::npos) << chosen.err;
  EXPECT_NE(last(ours.err, "OMP_WAIT_POLICY").find("PASSIVE"), std::string::npos) << ours.err;
  // The team's size follows the load unless the user chose a size.
  if (std::getenv("OMP_NUM_THREADS") == nullptr)
    EXPECT_NE(last(ours.err, "OMP_DYNAMIC").find("TRUE"), std::string::npos) << ours.err;
  const ProcessResult sized = c.run("--format csv --quiet", "OMP_DISPLAY_ENV=verbose OMP_NUM_THREADS=2");
  EXPECT_NE(last(sized.err, "OMP_DYNAMIC").find("FALSE"), std::string::npos) << sized.err;
  // What the runtime really took: the spinning's length (its report of the
  // policy says PASSIVE for the default too).
  const std::string spin = last(ours.err, "GOMP_SPINCOUNT");
  if (!spin.empty()) EXPECT_NE(spin.find("'0'"), std::string::npos) << ours.err;
  // Without starting itself again: run through the dynamic loader (whose
  // image is then /proc/self/exe), it is still this program that runs.
  const char* loader = "/lib64/ld-linux-x86-64.so.2";
  if (access(loader, X_OK) == 0) {
    const ProcessResult through = driver_test::runIn(c.dir, loader, c.cacheEnv(), "> stdout.txt",
                                                     std::string("'") + ORVANE_BIN + "' /bin/echo hi");
    EXPECT_NE(through.exitCode, 0);
    EXPECT_EQ(through.out.find("hi"), std::string::npos) << through.out;
    const ProcessResult csv = driver_test::runIn(c.dir, loader, c.cacheEnv(), "> stdout.txt",
                                                 std::string("'") + ORVANE_BIN + "' --format csv --quiet");
    EXPECT_EQ(csv.exitCode, 0) << csv.err;
    EXPECT_EQ(csv.out, chosen.out);
  }
}

// The shipped statements compiled at run time give the compiled-in build's
// numbers bit for bit, in double and in the single-precision diagnostic build.
TEST(RuntimeTransform, SameNumbersAsTheCompiledInBuild) {
  Case c;
  const ProcessResult compiled = c.run("--format csv --quiet");
  const ProcessResult runtime = c.run("--format csv --quiet --transform " + shippedTransform("UserFs"));
  EXPECT_EQ(runtime.exitCode, 0) << runtime.err;
  EXPECT_EQ(runtime.out, compiled.out);
  const ProcessResult diag = c.run("--format csv --quiet", "", ORVANE_DIAG_BIN);
  const ProcessResult diagRuntime =
      c.run("--format csv --quiet --transform " + shippedTransform("UserFsDiag"), "", ORVANE_DIAG_BIN);
  EXPECT_EQ(diagRuntime.exitCode, 0) << diagRuntime.err;
  EXPECT_EQ(diagRuntime.out, diag.out);
}

TEST(RuntimeTransform, CompilerMessagesNameTheFileAndItsLines) {
  Case c;
  driver_test::writeText(c.dir.file("bad.fs"), "double x = s.x;\nFs.x = x +* 2;\n");
  const ProcessResult r = c.run("--quiet --transform bad.fs");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("bad.fs does not compile:"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("bad.fs:2:"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");

  const ProcessResult missing = c.run("--quiet --transform nothing.fs");
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("the transform file nothing.fs cannot be read: No such file or directory"), std::string::npos);

  const ProcessResult noCompiler =
      c.run("--quiet --transform " + shippedTransform("UserFs"), "ORVANE_JIT_CXX=/nonexistent/c++");
  EXPECT_EQ(noCompiler.exitCode, 1);
  EXPECT_NE(noCompiler.err.find("no C++ compiler at /nonexistent/c++"), std::string::npos) << noCompiler.err;
  EXPECT_NE(noCompiler.err.find("apt-get install g++"), std::string::npos);
}

// A cached object is loaded only from a private folder, when it belongs to the
// user alone and loads as an object of this version; otherwise it is rebuilt.
TEST(RuntimeTransform, CacheIsReusedAndNeverTrustedBlindly) {
  Case c;
  const std::string args = "--format csv --quiet --transform " + shippedTransform("UserFs");
  const ProcessResult first = c.run(args);
  ASSERT_EQ(first.exitCode, 0) << first.err;
  struct stat st;
  ASSERT_EQ(stat(c.cacheDir().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  std::string object;
  for (const auto& entry : std::filesystem::directory_iterator(c.cacheDir())) object = entry.path();
  ASSERT_NE(object, "");
  const auto built = std::filesystem::last_write_time(object);
  EXPECT_EQ(c.run(args).out, first.out);
  EXPECT_EQ(std::filesystem::last_write_time(object), built) << "a cached object was rebuilt";

  // Corrupt: rebuilt, same numbers.
  driver_test::writeText(object, "not an object");
  ProcessResult r = c.run(args);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, first.out);
  // Writable by others: not loaded, rebuilt with a warning.
  chmod(object.c_str(), 0666);
  r = c.run(args);
  EXPECT_EQ(r.out, first.out);
  EXPECT_NE(r.err.find("does not belong to this user alone"), std::string::npos) << r.err;
  // A cache folder others may write: compiled in a private place instead.
  chmod(c.cacheDir().c_str(), 0777);
  r = c.run(args);
  EXPECT_EQ(r.out, first.out);
  EXPECT_NE(r.err.find("is not used: " + c.cacheDir() + " may be written by others (mode 0777)"), std::string::npos)
      << r.err;
  chmod(c.cacheDir().c_str(), 0700);
}

// Each bad input ends with one message on standard error, exit code 1 (2 for
// the command line's own usage), no data and no output file.
TEST(CommandLine, BadInputEndsCleanly) {
  Case c;
  driver_test::writeText(c.dir.file("bad.fs"), "Fs = s +;\n");
  struct Row {
    const char* args;
    int code;
    const char* message;
  } rows[] = {
      {"--expr '1/(s+1' --output o.csv", 1, "expression, column 7: expected ')'"},
      {"--expr 'sn(s)' --output o.csv", 1, "unknown name 'sn'"},
      {"--expr '1);system(\"true\");(' --output o.csv", 1, "expression, column 2: unmatched ')'"},
      {"--expr \"$(printf '(%.0s' $(seq 1 500))s\" --output o.csv", 1, "expression, column"},
      {"--expr '1/(s+a)' --param a=x --output o.csv", 2, "--param \"a=x\""},
      {"--expr '1/(s+a)' --param s=1 --output o.csv", 2, "reserved"},
      {"--transform bad.fs --output o.csv", 1, "bad.fs:1:"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.args);
    const ProcessResult p = c.run(std::string(r.args) + " --quiet --format csv");
    EXPECT_EQ(p.exitCode, r.code) << p.err;
    EXPECT_NE(p.err.find(r.message), std::string::npos) << p.err;
    EXPECT_EQ(p.out, "");
    EXPECT_FALSE(std::filesystem::exists(c.dir.file("o.csv")));
  }
}

// A transform whose values are not finite on the contour gives flagged
// results, not a crash or a claim of accuracy.
TEST(RuntimeTransform, ValuesThatAreNotFiniteAreFlagged) {
  Case c;
  const ProcessResult r = c.run("--expr '1/(s-s)' --format csv --quiet --method weeks");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(std::regex_search(r.out, std::regex("\n0.5,[^\n]*,nan,1,64,weeks\n1,[^\n]*,nan,1,64,weeks\n$")))
      << r.out;
  // Talbot's and de Hoog's sums are no better: unbounded errors, not met
  // (auto keeps the record of the method it tried first, de Hoog's).
  const ProcessResult t = c.run("--expr '1/(s-s)' --format csv --quiet --method talbot");
  EXPECT_TRUE(std::regex_search(t.out, std::regex("\n0.5,nan,nan,0,0,inf,inf,1,64,talbot\n1,nan,nan,0,0,inf,inf,1,64,talbot\n$")))
      << t.out;
  for (const char* method : {"dehoog", "auto"}) {
    const ProcessResult d = c.run(std::string("--expr '1/(s-s)' --format csv --quiet --method ") + method);
    EXPECT_TRUE(std::regex_search(d.out, std::regex("\n0.5,nan,0,0,0,inf,inf,1,32,dehoog\n1,nan,0,0,0,inf,inf,1,32,dehoog\n$")))
        << d.out;
  }
}

// An expression compiled at run time meets a request of 1e-12 on exp(-t/2).
TEST(RuntimeTransform, ExpressionWithAParameterMeetsItsRequest) {
  Case c;
  const ProcessResult r = c.run("'" + std::string(ORVANE_SOURCE_DIR) +
                                "/examples/cases/decay.txt' --expr '1/(s+a)' --param a=0.5 --format csv --quiet");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::istringstream lines(r.out);
  std::string line;
  std::getline(lines, line);
  int count = 0;
  while (std::getline(lines, line)) {
    double t = 0, re = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "%lf,%lf", &t, &re), 2) << line;
    EXPECT_NEAR(re, std::exp(-0.5 * t), 1e-12 * std::exp(-0.5 * t)) << line;
    EXPECT_NE(line.find(",0,"), std::string::npos) << line;
    ++count;
  }
  EXPECT_EQ(count, 5);
}
