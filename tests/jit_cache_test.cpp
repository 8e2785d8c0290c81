// The cache of compiled transforms and the compiler as a child process: the
// trust rules for folders and entries, damaged entries, a cache attacked by
// another user, the compiler's time limit and its cleanup on a signal, and the
// headers the library carries for the generated code.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <link.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "jit/embedded_headers.h"
#include "jit/jit_config.h"
#include "jit/object_cache.h"
#include "jit/runtime_transform.h"
#include "jit/sha256.h"
#include "orvane/error.h"
#include "support/driver_support.h"

using driver_test::ScratchDir;
using orvane::jit::CacheFolder;

namespace {

const char* const kPole = "Fs = cuCdiv(make_cuDoubleComplex(1.0, 0.0), make_cuDoubleComplex(s.x + 1.0, s.y));\n";

// F(1) of a compiled transform.
double valueAtOne(const orvane::Transform& f) {
  double2 point{1.0, 0.0}, value{0.0, 0.0};
  EXPECT_EQ(f.evaluate(&point, 1, &value), 0);
  return value.x;
}

// A process that still runs (not gone, not a zombie).
bool running(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!std::getline(stat, text)) return false;
  const std::size_t close = text.rfind(')');
  return close != std::string::npos && close + 2 < text.size() && text[close + 2] != 'Z';
}

std::vector<pid_t> pidsIn(const std::string& path) {
  std::vector<pid_t> pids;
  std::ifstream in(path);
  for (long pid; in >> pid;) pids.push_back(pid_t(pid));
  return pids;
}

// Names in `dir` that start with `prefix`.
std::vector<std::string> namesStarting(const std::string& dir, const std::string& prefix) {
  std::vector<std::string> names;
  std::error_code ignored;
  for (const auto& e : std::filesystem::directory_iterator(dir, ignored)) {
    const std::string name = e.path().filename().string();
    if (name.compare(0, prefix.size(), prefix) == 0) names.push_back(name);
  }
  return names;
}

// A compiler that never finishes: it leaves temporaries of its own in
// $TMPDIR, as the real one does, and writes that folder's name in `tmpdir`;
// then it records its own pid and that of a grandchild in `pids`, and waits.
std::string slowCompiler(const ScratchDir& dir) {
  const std::string path = dir.file("slow-c++");
  driver_test::writeText(path, "#!/bin/sh\ntouch \"$TMPDIR/ccAbCdEf.s\" && mkdir \"$TMPDIR/ccdir\" && touch \"$TMPDIR/ccdir/x.o\"\n"
                               "echo \"$TMPDIR\" > '" + dir.file("tmpdir") + "'\n"
                               "echo $$ > '" + dir.file("pids") + "'\nsleep 120 &\necho $! >> '" +
                                   dir.file("pids") + "'\nwait\n");
  chmod(path.c_str(), 0755);
  return path;
}

// Sets an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    const char* old = std::getenv(name);
    if (old != nullptr) old_ = old, had_ = true;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (had_) setenv(name_, old_.c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

}  // namespace

TEST(Sha256, KnownDigests) {
  EXPECT_EQ(orvane::jit::sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(orvane::jit::sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // Two blocks of padding, and a length past one block.
  EXPECT_EQ(orvane::jit::sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(orvane::jit::sha256Hex(std::string(1000, 'a')),
            "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3");
}

// An entry is handed back only whole, unchanged, a regular file of this user
// alone; anything else is removed and said why, never followed or loaded.
TEST(CacheFolder, EntriesAreReadBackOnlyWhenWholeAndPrivate) {
  ScratchDir dir;
  std::string why;
  const CacheFolder cache(dir.path() + "/cache", &why);
  ASSERT_EQ(why, "");
  ASSERT_FALSE(cache.temporary());
  const std::string object(20000, 'o');
  const std::string path = cache.path() + "/e.so";
  std::string content, problem;
  EXPECT_FALSE(cache.read("e.so", &content, &problem));
  EXPECT_EQ(problem, "") << "an absent entry is no problem";
  ASSERT_TRUE(cache.write("e.so", object));
  ASSERT_TRUE(cache.read("e.so", &content, &problem)) << problem;
  EXPECT_EQ(content, object);

  struct Damage {
    const char* name;
    void (*apply)(const std::string& path);
    const char* problem;
  } damages[] = {
      {"cut short", [](const std::string& p) { ASSERT_EQ(truncate(p.c_str(), 4096), 0); }, "bytes long"},
      {"zero-filled after its first page",
       [](const std::string& p) {
         std::fstream f(p, std::ios::in | std::ios::out | std::ios::binary);
         f.seekp(4096);
         f << std::string(8000, '\0');
       },
       "does not match its digest"},
      {"header lost", [](const std::string& p) { driver_test::writeText(p, std::string(300, '\0')); },
       "no valid header"},
      {"writable by others", [](const std::string& p) { chmod(p.c_str(), 0666); }, "does not belong to this user alone"},
      {"a symbolic link",
       [](const std::string& p) {
         rename(p.c_str(), (p + ".real").c_str());
         ASSERT_EQ(symlink((p + ".real").c_str(), p.c_str()), 0);
       },
       "is a symbolic link"},
      {"a FIFO",
       [](const std::string& p) {
         unlink(p.c_str());
         ASSERT_EQ(mkfifo(p.c_str(), 0600), 0);
       },
       "not a regular file"},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.name);
    ASSERT_TRUE(cache.write("e.so", object));
    d.apply(path);
    EXPECT_FALSE(cache.read("e.so", &content, &problem));
    EXPECT_NE(problem.find(d.problem), std::string::npos) << problem;
    EXPECT_EQ(content, "");
    struct stat st;
    EXPECT_NE(lstat(path.c_str(), &st), 0) << "a damaged entry is removed";
  }
  // The link's target was never touched.
  EXPECT_EQ(driver_test::readText(path + ".real").size(), 128 + object.size());
}

// Objects are loaded from memory under names of their own: transforms
// compiled one after another in one process, the first one unloaded or not,
// are each their own.
TEST(CacheFolder, TransformsLoadedInOneProcessAreEachTheirOwn) {
  ScratchDir dir;
  orvane::jit::Options options;
  options.cacheDir = dir.path() + "/cache";
  const auto pole = [](const std::string& a) {
    return "Fs = cuCdiv(make_cuDoubleComplex(1.0, 0.0), make_cuDoubleComplex(s.x + " + a + ", s.y));\n";
  };
  std::unique_ptr<orvane::Transform> first = orvane::jit::compileStatements(pole("1.0"), "a", {}, options);
  EXPECT_EQ(valueAtOne(*first), 0.5);
  first.reset();
  const std::unique_ptr<orvane::Transform> second = orvane::jit::compileStatements(pole("3.0"), "b", {}, options);
  const std::unique_ptr<orvane::Transform> third = orvane::jit::compileStatements(pole("7.0"), "c", {}, options);
  EXPECT_EQ(valueAtOne(*second), 0.25);
  EXPECT_EQ(valueAtOne(*third), 0.125);
  // From the cache this time, the others still loaded.
  const std::unique_ptr<orvane::Transform> again = orvane::jit::compileStatements(pole("1.0"), "a", {}, options);
  EXPECT_EQ(valueAtOne(*again), 0.5);
}

// A folder that others may write, the cache itself or any folder above it,
// is never used: a private temporary folder takes its place, with the reason.
TEST(CacheFolder, FolderOthersMayWriteIsReplacedByAPrivateOne) {
  ScratchDir dir;
  const std::string open = dir.file("open"), sticky = dir.file("sticky");
  ASSERT_EQ(mkdir(open.c_str(), 0700), 0);
  ASSERT_EQ(chmod(open.c_str(), 0777), 0);
  ASSERT_EQ(mkdir(sticky.c_str(), 0700), 0);
  ASSERT_EQ(chmod(sticky.c_str(), 01777), 0);
  std::string why;
  std::string temporary;
  {
    const CacheFolder cache(open + "/deeper/orvane", &why);
    EXPECT_TRUE(cache.temporary());
    EXPECT_NE(why.find(open + " may be written by others (mode 0777)"), std::string::npos) << why;
    temporary = cache.path();
    struct stat st;
    ASSERT_EQ(lstat(temporary.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
  }
  EXPECT_FALSE(std::filesystem::exists(temporary)) << "the temporary folder is removed";
  why.clear();
  const CacheFolder inSticky(sticky + "/orvane", &why);
  // Root's sticky folders (as /tmp) are accepted above a cache; anyone else's are not.
  EXPECT_EQ(inSticky.temporary(), geteuid() != 0) << why;
  why.clear();
  ASSERT_EQ(chmod(open.c_str(), 0700), 0);
  const std::string own = dir.file("own");
  ASSERT_EQ(mkdir(own.c_str(), 0755), 0);
  ASSERT_EQ(chmod(own.c_str(), 0775), 0);
  const CacheFolder groupWritable(own, &why);
  EXPECT_TRUE(groupWritable.temporary());
  EXPECT_NE(why.find("may be written by others (mode 0775)"), std::string::npos) << why;
}

// Another user who may write the folder above the cache swaps the cache folder
// during a compile and plants links to a library of theirs under the names of
// new objects. The cache is refused, the compile happens in a private folder,
// and their code never runs.
TEST(CacheAttack, AnotherUserCannotPlantALibrary) {
  if (geteuid() != 0) GTEST_SKIP() << "acting as another user needs root (setuid in a child)";
  const uid_t attacker = 54321;  // no account needed
  ScratchDir dir;
  chmod(dir.path().c_str(), 0755);
  const std::string marker = dir.file("their-code-ran");
  const std::string evil = dir.file("evil.so");
  driver_test::writeText(dir.file("evil.cpp"), "#include <cstdio>\n__attribute__((constructor)) static void run() {\n"
                                               "  std::fclose(std::fopen(\"" + marker + "\", \"w\"));\n}\n");
  ASSERT_EQ(std::system((std::string(ORVANE_JIT_COMPILER) + " -shared -fPIC -o '" + evil + "' '" +
                         dir.file("evil.cpp") + "'").c_str()), 0);
  chmod(evil.c_str(), 0755);
  const std::string shared = dir.file("shared");
  ASSERT_EQ(mkdir(shared.c_str(), 0777), 0);
  ASSERT_EQ(chown(shared.c_str(), attacker, attacker), 0);
  ASSERT_EQ(chmod(shared.c_str(), 0777), 0);
  const std::string cacheDir = shared + "/orvane";

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (setgid(attacker) != 0 || setuid(attacker) != 0) _exit(3);
    // For a while: take the victim's folder away, put one of ours in its
    // place, and turn every new object there into a link to our library.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int swaps = 0;
    while (std::chrono::steady_clock::now() < end) {
      struct stat st;
      if (lstat(cacheDir.c_str(), &st) == 0 && st.st_uid != attacker) {
        rename(cacheDir.c_str(), (shared + "/taken" + std::to_string(swaps++)).c_str());
        mkdir(cacheDir.c_str(), 0777);
        chmod(cacheDir.c_str(), 0777);
      }
      std::error_code ignored;
      for (const auto& e : std::filesystem::directory_iterator(cacheDir, ignored)) {
        const std::string name = e.path().filename().string();
        if (e.is_symlink() || name.find(".so") == std::string::npos) continue;
        unlink(e.path().c_str());
        symlink(evil.c_str(), e.path().c_str());
      }
      usleep(200);
    }
    _exit(0);
  }
  std::ostringstream warnings;
  orvane::jit::Options options;
  options.cacheDir = cacheDir;
  options.warnings = &warnings;
  double value = 0;
  for (int attempt = 0; attempt < 3; ++attempt) {
    const std::unique_ptr<orvane::Transform> f =
        orvane::jit::compileStatements(std::string(kPole) + "// attempt " + std::to_string(attempt), "pole.fs", {}, options);
    value = valueAtOne(*f);
    EXPECT_EQ(value, 0.5);
  }
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  EXPECT_FALSE(std::filesystem::exists(marker)) << "the other user's code ran in this process";
  EXPECT_NE(warnings.str().find(shared + " belongs to another user (uid 54321)"), std::string::npos) << warnings.str();
}

// The compiler runs under a time limit; at the limit it is killed with all
// it started, its work folder is removed, and the message says what happened.
TEST(CompilerChild, TimeLimitKillsTheWholeGroupAndLeavesNothing) {
  ScratchDir dir;
  const ScopedEnv compiler("ORVANE_JIT_CXX", slowCompiler(dir));
  const ScopedEnv timeout("ORVANE_JIT_TIMEOUT", "1");
  orvane::jit::Options options;
  options.cacheDir = dir.path() + "/cache";
  try {
    orvane::jit::compileStatements(kPole, "pole.fs", {}, options);
    ADD_FAILURE() << "a compile past its time limit was accepted";
  } catch (const orvane::Error& e) {
    EXPECT_NE(std::string(e.what()).find("pole.fs did not compile within 1 s (the limit is set by ORVANE_JIT_TIMEOUT)"),
              std::string::npos)
        << e.what();
  }
  const std::vector<pid_t> pids = pidsIn(dir.file("pids"));
  ASSERT_EQ(pids.size(), 2u);
  for (int k = 0; k < 100 && (running(pids[0]) || running(pids[1])); ++k) usleep(20000);
  for (pid_t pid : pids) EXPECT_FALSE(running(pid)) << pid;
  EXPECT_EQ(namesStarting(options.cacheDir, "").size(), 0u) << "left in the cache";
}

TEST(CompilerChild, TimeLimitSettingIsChecked) {
  ScratchDir dir;
  orvane::jit::Options options;
  options.cacheDir = dir.path() + "/cache";
  for (const char* bad : {"abc", "0", "-5", "1e999", "nan"}) {
    const ScopedEnv timeout("ORVANE_JIT_TIMEOUT", bad);
    try {
      orvane::jit::compileStatements(kPole, "pole.fs", {}, options);
      ADD_FAILURE() << bad;
    } catch (const orvane::Error& e) {
      EXPECT_NE(std::string(e.what()).find("expected a number of seconds above 0"), std::string::npos) << e.what();
    }
  }
}

// Starts the program on a transform file in `dir` with `compiler` as the
// host compiler and its cache there; its output goes nowhere. -1 if it cannot.
static pid_t startCompiling(const ScratchDir& dir, const std::string& compiler) {
  driver_test::writeText(dir.file("pole.fs"), kPole);
  const pid_t program = fork();
  if (program == 0) {
    if (chdir(dir.path().c_str()) != 0) _exit(3);
    setenv("ORVANE_JIT_CXX", compiler.c_str(), 1);
    setenv("ORVANE_JIT_FORMULA", "compile", 1);
    setenv("XDG_CACHE_HOME", dir.file("cache").c_str(), 1);
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0), dup2(null, 1), dup2(null, 2);
    execl(ORVANE_BIN, ORVANE_BIN, "--quiet", "--format", "csv", "--transform", "pole.fs", (char*)nullptr);
    _exit(127);
  }
  return program;
}

// When the program is ended by a signal during a compile, the compiler and
// everything it started end too, and no file of the compile is left behind.
TEST(CompilerChild, SignalToTheProgramEndsTheCompilerAndCleansUp) {
  for (int signo : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signo);
    ScratchDir dir;
    driver_test::writeText(dir.file("UserParameters.txt"),
                           driver_test::readText(std::string(ORVANE_SOURCE_DIR) + "/examples/UserParameters.txt"));
    const std::string compiler = slowCompiler(dir);
    const pid_t program = startCompiling(dir, compiler);
    ASSERT_GE(program, 0);
    for (int k = 0; k < 500 && pidsIn(dir.file("pids")).size() < 2; ++k) usleep(20000);
    ASSERT_EQ(pidsIn(dir.file("pids")).size(), 2u) << "the compiler did not start";
    // Its temporaries went to its work folder in the cache.
    const std::string tmpdir = driver_test::readText(dir.file("tmpdir"));
    EXPECT_EQ(tmpdir.rfind(dir.file("cache/orvane/build-"), 0), 0u) << tmpdir;
    EXPECT_TRUE(std::filesystem::exists(tmpdir.substr(0, tmpdir.size() - 1) + "/ccAbCdEf.s"));
    ASSERT_EQ(kill(program, signo), 0);
    int status = 0;
    ASSERT_EQ(waitpid(program, &status, 0), program);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signo) << status;
    const std::vector<pid_t> pids = pidsIn(dir.file("pids"));
    for (int k = 0; k < 100 && (running(pids[0]) || running(pids[1])); ++k) usleep(20000);
    for (pid_t pid : pids) EXPECT_FALSE(running(pid)) << pid;
    EXPECT_EQ(namesStarting(dir.file("cache/orvane"), "").size(), 0u) << "left in the cache";
  }
}

namespace {

// Sets the modification time of `path` `seconds` into the past.
void age(const std::string& path, int seconds) {
  struct timespec times[2];
  clock_gettime(CLOCK_REALTIME, &times[0]);
  times[0].tv_sec -= seconds;
  times[1] = times[0];
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

}  // namespace

// A work folder that a killed process left (SIGKILL cannot be handled) is
// removed by a later compile once it is older than a compile may take.
TEST(CompilerChild, WorkLeftByAKilledProcessIsRemovedLater) {
  ScratchDir dir;
  const std::string cacheDir = dir.path() + "/cache";
  std::string why;
  { const CacheFolder make(cacheDir, &why); }
  const pid_t gone = fork();
  if (gone == 0) _exit(0);
  waitpid(gone, nullptr, 0);
  const std::string left = cacheDir + "/build-" + std::to_string(gone) + "-0";
  ASSERT_EQ(mkdir(left.c_str(), 0700), 0);
  driver_test::writeText(left + "/transform.cpp", "half");
  age(left, 86400);
  // A fresh one may be the work of a process in another PID namespace.
  const std::string fresh = cacheDir + "/build-" + std::to_string(gone) + "-1";
  ASSERT_EQ(mkdir(fresh.c_str(), 0700), 0);
  const std::string mine = cacheDir + "/build-" + std::to_string(getpid()) + "-999";
  ASSERT_EQ(mkdir(mine.c_str(), 0700), 0);
  age(mine, 86400);
  { const CacheFolder reopen(cacheDir, &why); }
  EXPECT_FALSE(std::filesystem::exists(left));
  EXPECT_TRUE(std::filesystem::exists(fresh)) << "work younger than the time limit is left alone";
  EXPECT_TRUE(std::filesystem::exists(mine)) << "a running process's work is left alone";
  rmdir(fresh.c_str());
  rmdir(mine.c_str());
}

namespace {

// A process's group: the fifth field of /proc/PID/stat; 0 when it is gone.
pid_t groupOf(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!std::getline(stat, text)) return 0;
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string state;
  long parent = 0, group = 0;
  fields >> state >> parent >> group;
  return pid_t(group);
}

// Processes of the group that still run (zombies do not).
std::vector<pid_t> runningIn(pid_t group) {
  std::vector<pid_t> found;
  std::error_code ignored;
  for (const auto& e : std::filesystem::directory_iterator("/proc", ignored)) {
    const std::string name = e.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const pid_t pid = pid_t(std::stol(name));
    if (groupOf(pid) == group && running(pid)) found.push_back(pid);
  }
  return found;
}

}  // namespace

// SIGKILL gives the program no chance to clean up: the compiler's group, the
// driver and what it started, must end all the same, and not when the
// compile would have, but at once.
TEST(CompilerChild, KillingTheProgramEndsTheCompilersGroup) {
  ScratchDir dir;
  driver_test::writeText(dir.file("UserParameters.txt"),
                         driver_test::readText(std::string(ORVANE_SOURCE_DIR) + "/examples/UserParameters.txt"));
  const std::string compiler = slowCompiler(dir);
  const pid_t program = startCompiling(dir, compiler);
  ASSERT_GE(program, 0);
  for (int k = 0; k < 500 && pidsIn(dir.file("pids")).size() < 2; ++k) usleep(20000);
  const std::vector<pid_t> pids = pidsIn(dir.file("pids"));
  ASSERT_EQ(pids.size(), 2u) << "the compiler did not start";
  const pid_t group = groupOf(pids[0]);
  ASSERT_GT(group, 0);
  EXPECT_NE(group, getpgrp()) << "the compiler runs in a group of its own";
  EXPECT_EQ(groupOf(pids[1]), group);
  ASSERT_EQ(kill(program, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(waitpid(program, &status, 0), program);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
  std::vector<pid_t> left = runningIn(group);
  for (int k = 0; k < 100 && !left.empty(); ++k) usleep(20000), left = runningIn(group);
  EXPECT_TRUE(left.empty()) << left.size() << " processes of the compiler's group survive, the first " << left[0];
  for (pid_t pid : pids) EXPECT_FALSE(running(pid)) << pid;
  // Whatever is left is ended here, so that a failure leaves nothing behind.
  if (!left.empty()) kill(-group, SIGKILL);
}

// Every header the generated code includes, directly or through another, is
// embedded, and each is the source tree's own text: a program installed
// without the tree compiles transforms, and never with outdated headers.
TEST(EmbeddedHeaders, CoverEveryIncludeOfTheGeneratedCodeAndMatchTheTree) {
  std::set<std::string> embedded;
  const std::regex include("#\\s*include\\s+\"([^\"]+)\"");
  std::vector<std::string> texts{orvane::jit::generatedSource("Fs = s;", "f", {}),
                                 orvane::jit::generatedCudaSource("Fs = s;", "f", {})};
  for (int k = 0; k < orvane::jit::kEmbeddedHeaderCount; ++k) {
    const orvane::jit::EmbeddedHeader& h = orvane::jit::kEmbeddedHeaders[k];
    embedded.insert(h.name);
    const std::string text(reinterpret_cast<const char*>(h.data), h.size);
    texts.push_back(text);
    const std::string root = std::string(ORVANE_SOURCE_DIR) + (std::string(h.name).rfind("orvane/", 0) == 0 ? "/include/" : "/src/");
    EXPECT_EQ(text, driver_test::readText(root + h.name)) << h.name << " is embedded out of date";
  }
  for (const std::string& text : texts) {
    for (std::sregex_iterator m(text.begin(), text.end(), include), end; m != end; ++m)
      EXPECT_EQ(embedded.count((*m)[1]), 1u) << (*m)[1] << " is included but not embedded";
  }
  EXPECT_EQ(orvane::jit::embeddedHeadersDigest().size(), 64u);
}

// A program whose source tree is gone (hidden here by empty file systems over
// its include/ and src/ folders, in a mount namespace of its own) still
// compiles a formula: the headers come from the library.
TEST(EmbeddedHeaders, FormulasCompileWithTheSourceTreeGone) {
  if (geteuid() != 0 || std::system("command -v unshare > /dev/null 2>&1") != 0)
    GTEST_SKIP() << "hiding the source tree needs root and unshare";
  ScratchDir dir;
  driver_test::writeText(dir.file("UserParameters.txt"),
                         driver_test::readText(std::string(ORVANE_SOURCE_DIR) + "/examples/UserParameters.txt"));
  const std::string root = ORVANE_SOURCE_DIR;
  const std::string script = "cd '" + dir.path() + "' && mount -t tmpfs none '" + root + "/include' && mount -t tmpfs none '" +
                             root + "/src' && test ! -e '" + root + "/include/orvane/config.h' && ORVANE_JIT_FORMULA=compile XDG_CACHE_HOME='" +
                             dir.path() + "/cache' '" + ORVANE_BIN +
                             "' --quiet --format csv --method weeks --expr '1/(s+5)' > out.csv 2> err.txt";
  const int status = std::system(("unshare -m sh -c \"" + script + "\"").c_str());
  if (WIFEXITED(status) && WEXITSTATUS(status) != 0 && driver_test::readText(dir.file("err.txt")).empty() &&
      !std::filesystem::exists(dir.file("out.csv")))
    GTEST_SKIP() << "no mount namespace here";
  EXPECT_EQ(status, 0) << driver_test::readText(dir.file("err.txt"));
  EXPECT_EQ(driver_test::readText(dir.file("out.csv")).rfind("t,re,im", 0), 0u);
}

namespace {

// An entry's name in the cache: 32 hexadecimal digits and .so.
std::string entryName(char digit) { return std::string(32, digit) + ".so"; }

// The names of the entries (.so) in `dir`, each by the digit it repeats, in order.
std::string entriesIn(const std::string& dir) {
  std::string digits;
  for (const std::string& name : namesStarting(dir, "")) {
    if (name.size() == 35 && name.compare(32, 3, ".so") == 0) digits += name[0];
  }
  std::sort(digits.begin(), digits.end());
  return digits;
}

}  // namespace

// The cache keeps to its bound: after a write, entries unused for longer than
// the age limit go, then the least recently used until the rest fit; a read is
// a use, the entry just written stays, and files that are not entries are
// never touched.
TEST(CacheFolder, KeepsToItsBoundLeastRecentlyUsedFirst) {
  // Entries of 1000 bytes, 1128 with their header; the new entry is f.
  struct Case {
    const char* name;
    const char* size;
    const char* days;
    std::vector<int> hoursUnused;  // of a, b, c, ...
    std::string read;
    std::string kept;
  } cases[] = {
      {"all fit", "100K", "30", {3, 2, 1}, "", "abcf"},
      {"the least recently used goes", "4000", "30", {3, 2, 1}, "", "bcf"},
      {"a read is a use", "4000", "30", {3, 2, 1}, "a", "acf"},
      {"two go", "2500", "30", {3, 2, 1}, "", "cf"},
      {"unused for longer than the age limit", "100K", "1", {72, 2, 30}, "", "bf"},
      {"the new entry alone fits", "1200", "30", {3, 2, 1}, "", "f"},
      {"a new entry over the bound is not kept", "1000", "30", {3}, "", "a"},
  };
  const std::string object(1000, 'o');
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    const std::string cacheDir = dir.path() + "/cache";
    std::string why;
    {
      const CacheFolder setup(cacheDir, &why);
      for (std::size_t k = 0; k < c.hoursUnused.size(); ++k) {
        const std::string name = entryName(char('a' + k));
        ASSERT_TRUE(setup.write(name, object));
        age(cacheDir + "/" + name, c.hoursUnused[k] * 3600);
      }
    }
    driver_test::writeText(cacheDir + "/notes.txt", std::string(200000, 'n'));
    age(cacheDir + "/notes.txt", 400 * 86400);
    const ScopedEnv size("ORVANE_JIT_CACHE_SIZE", c.size);
    const ScopedEnv days("ORVANE_JIT_CACHE_DAYS", c.days);
    const CacheFolder cache(cacheDir, &why);
    ASSERT_EQ(why, "");
    std::string content, problem;
    for (char name : c.read) ASSERT_TRUE(cache.read(entryName(name), &content, &problem)) << problem;
    EXPECT_EQ(cache.write(entryName('f'), object), c.kept.find('f') != std::string::npos);
    EXPECT_EQ(entriesIn(cacheDir), c.kept);
    EXPECT_TRUE(std::filesystem::exists(cacheDir + "/notes.txt"));
  }
}

TEST(CacheFolder, LimitSettingsAreChecked) {
  struct Good {
    const char* size;
    const char* days;
    unsigned long long bytes;
    double seconds;
  } good[] = {
      {"", "", 256ull << 20, 30 * 86400.0},
      {"4096", "0.5", 4096, 43200},
      {"64K", "365", 64 << 10, 365 * 86400.0},
      {"1G", "30", 1ull << 30, 30 * 86400.0},
      {"0", "1", 0, 86400},
  };
  for (const Good& g : good) {
    SCOPED_TRACE(std::string(g.size) + " " + g.days);
    const ScopedEnv size("ORVANE_JIT_CACHE_SIZE", g.size);
    const ScopedEnv days("ORVANE_JIT_CACHE_DAYS", g.days);
    const orvane::jit::CacheLimits limits = orvane::jit::cacheLimits();
    EXPECT_EQ(limits.bytes, g.bytes);
    EXPECT_EQ(limits.seconds, g.seconds);
  }
  struct Bad {
    const char* variable;
    const char* value;
    const char* expected;
  } bad[] = {
      {"ORVANE_JIT_CACHE_SIZE", "abc", "expected a size in bytes, a whole number with K, M or G"},
      {"ORVANE_JIT_CACHE_SIZE", "-1", "expected a size in bytes"},
      {"ORVANE_JIT_CACHE_SIZE", "1.5M", "expected a size in bytes"},
      {"ORVANE_JIT_CACHE_SIZE", "99999999999G", "expected a size in bytes"},
      {"ORVANE_JIT_CACHE_DAYS", "0", "expected a number of days above 0"},
      {"ORVANE_JIT_CACHE_DAYS", "inf", "expected a number of days above 0"},
      {"ORVANE_JIT_CACHE_DAYS", "3 days", "expected a number of days above 0"},
  };
  for (const Bad& b : bad) {
    const ScopedEnv setting(b.variable, b.value);
    try {
      orvane::jit::cacheLimits();
      ADD_FAILURE() << b.variable << "=" << b.value << " accepted";
    } catch (const orvane::Error& e) {
      EXPECT_NE(std::string(e.what()).find(std::string(b.variable) + "=\"" + b.value + "\": " + b.expected),
                std::string::npos)
          << e.what();
    }
  }
}

// An object enters the cache only when it is whole: a linker that met a full
// disk may exit 0 with an object cut short.
TEST(CacheFolder, OnlyWholeObjectsAreTakenAsCompiled) {
  ScratchDir dir;
  orvane::jit::Options options;
  options.cacheDir = dir.path() + "/cache";
  orvane::jit::compileStatements(kPole, "pole.fs", {}, options);
  std::string why, object, problem;
  const CacheFolder cache(options.cacheDir, &why);
  const std::vector<std::string> names = namesStarting(options.cacheDir, "");
  ASSERT_EQ(names.size(), 1u);
  ASSERT_TRUE(cache.read(names[0], &object, &problem)) << problem;
  EXPECT_EQ(orvane::jit::objectProblem(object), "");

  ElfW(Ehdr) header;
  std::memcpy(&header, object.data(), sizeof header);
  std::size_t segmentsEnd = 0;
  for (int k = 0; k < header.e_phnum; ++k) {
    ElfW(Phdr) segment;
    std::memcpy(&segment, object.data() + header.e_phoff + k * sizeof segment, sizeof segment);
    segmentsEnd = std::max<std::size_t>(segmentsEnd, segment.p_offset + segment.p_filesz);
  }
  std::string otherClass = object, notElf = object;
  otherClass[EI_CLASS] = ELFCLASS32;
  notElf[1] = 'X';
  struct Damage {
    const char* name;
    std::string bytes;
    const char* problem;
  } damages[] = {
      {"empty", "", "it is shorter than an ELF header (the object is 0 bytes long)"},
      {"cut within the header", object.substr(0, 40), "it is shorter than an ELF header"},
      {"cut within a segment", object.substr(0, segmentsEnd - 1), "past its end (the object is"},
      {"its section headers cut off", object.substr(0, header.e_shoff + 100), "its section headers reach past its end"},
      {"not ELF", notElf, "it is not an ELF object"},
      {"of another class", otherClass, "it is not a shared object of this machine"},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.name);
    EXPECT_NE(orvane::jit::objectProblem(d.bytes).find(d.problem), std::string::npos)
        << orvane::jit::objectProblem(d.bytes);
  }
}

namespace {

// A folder with the shipped parameters and a transform file pole.fs.
struct ProgramCase {
  ScratchDir dir;
  ProgramCase() {
    driver_test::writeText(dir.file("UserParameters.txt"), driver_test::shippedExample());
    driver_test::writeText(dir.file("pole.fs"), kPole);
  }
  driver_test::ProcessResult run(const std::string& env) const {
    return driver_test::runIn(dir, ORVANE_BIN, env, "> stdout.txt", "--quiet --format csv --transform pole.fs");
  }
};

int warningCount(const std::string& err) {
  int n = 0;
  for (std::size_t at = err.find("warning:"); at != std::string::npos; at = err.find("warning:", at + 1)) ++n;
  return n;
}

// `text` with every @ replaced by `dir`.
std::string withFolder(std::string text, const std::string& dir) {
  for (std::size_t k = text.find('@'); k != std::string::npos; k = text.find('@', k + dir.size())) text.replace(k, 1, dir);
  return text;
}

}  // namespace

// The compiler runs where the caller's environment gives it little: no PATH,
// an empty one; and a home that does not exist is not made, while a missing
// ~/.cache in one that does is.
TEST(CompilerChild, CompilesWhateverTheEnvironment) {
  struct Case {
    const char* name;
    std::string env;  // @: the folder of the run
    const char* warning;
    const char* cache;  // where the entry goes, below D; "" for nowhere
    const char* absent;
  } cases[] = {
      {"no PATH", "-i XDG_CACHE_HOME=@/cache", "", "cache/orvane", ""},
      {"an empty PATH", "PATH= XDG_CACHE_HOME=@/cache", "", "cache/orvane", ""},
      {"a home that does not exist", "-u XDG_CACHE_HOME HOME=@/gone/home",
       "the transform cache @/gone/home/.cache/orvane is not used: @/gone/home/.cache cannot be made: @/gone/home "
       "does not exist; compiling in a private temporary folder",
       "", "gone"},
      {"a home without .cache", "-u XDG_CACHE_HOME HOME=@/home", "", "home/.cache/orvane", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProgramCase p;
    mkdir(p.dir.file("home").c_str(), 0700);
    const driver_test::ProcessResult r = p.run(withFolder(c.env, p.dir.path()));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("t,re,im,", 0), 0u) << r.out;
    EXPECT_EQ(warningCount(r.err), c.warning[0] != '\0' ? 1 : 0) << r.err;
    EXPECT_NE(r.err.find(withFolder(c.warning, p.dir.path())), std::string::npos) << r.err;
    if (c.cache[0] != '\0') EXPECT_EQ(entriesIn(p.dir.file(c.cache)).size(), 1u);
    if (c.absent[0] != '\0') EXPECT_FALSE(std::filesystem::exists(p.dir.file(c.absent)));
  }
}

// A linker that exits 0 with an object cut short (as on a full disk): the
// object is never cached or loaded. Where only the cache's disk is at fault,
// the compile is done again in a private folder, with one warning.
TEST(CompilerChild, ObjectsCutShortAreNeverCached) {
  struct Case {
    const char* name;
    const char* cutWhere;  // a shell pattern of the object's path
    int exitCode;
    const char* message;
    std::size_t entries;
  } cases[] = {
      {"every object cut", "*", 1, "the compiler left an object for pole.fs that is not whole: its ", 0},
      {"objects in the cache cut", "*/cache/*", 0,
       "is not used: the compiler left an object for pole.fs that is not whole: its ", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProgramCase p;
    const std::string wrapper = p.dir.file("cutting-c++");
    driver_test::writeText(wrapper, std::string("#!/bin/sh\n'") + ORVANE_JIT_COMPILER + "' \"$@\" || exit $?\n"
                                    "out=; previous=\nfor a in \"$@\"; do [ \"$previous\" = -o ] && out=$a; previous=$a; done\n"
                                    "case \"$out\" in " + c.cutWhere + ")\n"
                                    "  size=$(wc -c < \"$out\"); head -c $((size / 2)) \"$out\" > \"$out.cut\"; mv \"$out.cut\" \"$out\";;\n"
                                    "esac\nexit 0\n");
    chmod(wrapper.c_str(), 0755);
    const driver_test::ProcessResult r = p.run("XDG_CACHE_HOME='" + p.dir.file("cache") + "' ORVANE_JIT_CXX='" + wrapper + "'");
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(warningCount(r.err), 1) << r.err;
    EXPECT_EQ(entriesIn(p.dir.file("cache/orvane")).size(), c.entries);
    EXPECT_EQ(namesStarting(p.dir.file("cache/orvane"), "build-").size(), 0u);
  }
}

// A cache on a full or a read-only file system (a small tmpfs, in a mount
// namespace of its own): the compile is done in a private temporary folder,
// with one warning that says why.
TEST(CompilerChild, FullOrReadOnlyCacheFallsBackToAPrivateFolder) {
  if (geteuid() != 0 || std::system("command -v unshare > /dev/null 2>&1") != 0)
    GTEST_SKIP() << "mounting a small file system needs root and unshare";
  struct Case {
    const char* name;
    const char* mount;  // @: the cache home
    const char* warning;
  } cases[] = {
      {"full", "mount -t tmpfs -o size=64k,mode=0700 none @", "KiB free, less than a compile needs (32.0 MiB)"},
      {"read-only", "mount -t tmpfs -o size=1m,mode=0700 none @ && mkdir -m 0700 @/orvane && mount -o remount,ro @",
       "@/orvane is on a read-only file system"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProgramCase p;
    const std::string home = p.dir.file("cache");
    ASSERT_EQ(mkdir(home.c_str(), 0700), 0);
    const std::string script = "cd '" + p.dir.path() + "' && " + withFolder(c.mount, home) + " && touch mounted && XDG_CACHE_HOME='" +
                               home + "' '" + ORVANE_BIN + "' --quiet --format csv --transform pole.fs > stdout.txt 2> stderr.txt";
    const int status = std::system(("unshare -m sh -c \"" + script + "\"").c_str());
    if (!std::filesystem::exists(p.dir.file("mounted"))) GTEST_SKIP() << "no tmpfs mount here";
    const std::string err = driver_test::readText(p.dir.file("stderr.txt"));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << err;
    EXPECT_EQ(driver_test::readText(p.dir.file("stdout.txt")).rfind("t,re,im,", 0), 0u);
    EXPECT_EQ(warningCount(err), 1) << err;
    EXPECT_NE(err.find("is not used: "), std::string::npos) << err;
    EXPECT_NE(err.find(withFolder(c.warning, home)), std::string::npos) << err;
  }
}
