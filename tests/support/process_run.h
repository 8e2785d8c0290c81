// Test support: runs a program as a child process in a folder, with its
// standard streams captured to files, an optional address-space limit, an
// alarm that ends a run that hangs, and standard input either at end of file
// or a pipe that stays open (so that a wait for Enter would block).
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "support/driver_support.h"

extern char** environ;

namespace process_test {

struct Options {
  std::vector<std::string> args;  // the program's arguments
  std::vector<std::string> env;  // NAME=value, added to the environment (replacing NAME)
  long long addressSpace = 0;    // RLIMIT_AS of the child in bytes; 0: none
  unsigned seconds = 120;        // the child gets SIGALRM after this long
  bool stdinPipe = false;        // false: standard input from /dev/null
};

struct Outcome {
  int exitCode = -1;  // -1 when the process did not exit by itself
  int signal = 0;     // the signal that ended it, 0 when it exited
  std::string out;
  std::string err;

  std::string describe() const {
    if (signal == SIGALRM) return "did not end in time (killed by SIGALRM)";
    if (signal != 0) return std::string("killed by signal ") + strsignal(signal);
    return "exit code " + std::to_string(exitCode);
  }
};

namespace detail {

inline bool sameName(const std::string& entry, const std::string& assignment) {
  const std::size_t eq = assignment.find('=');
  return entry.compare(0, eq + 1, assignment, 0, eq + 1) == 0;
}

}  // namespace detail

// Runs `program` (with o.args) with `dir` as its working folder; its output
// lands in `outDir` (stdout.txt, stderr.txt) and is returned.
inline Outcome run(const std::string& dir, const std::string& outDir, const std::string& program,
                   const Options& o = Options()) {
  // Everything the child needs is prepared here: after fork only
  // async-signal-safe calls are made (the test process may hold threads).
  std::vector<std::string> envStrings;
  for (char** e = environ; *e != nullptr; ++e) {
    bool replaced = false;
    for (const std::string& a : o.env) replaced = replaced || detail::sameName(*e, a);
    if (!replaced) envStrings.push_back(*e);
  }
  for (const std::string& a : o.env) envStrings.push_back(a);
  std::vector<char*> envp;
  for (std::string& s : envStrings) envp.push_back(&s[0]);
  envp.push_back(nullptr);
  std::vector<std::string> argStrings{program};
  argStrings.insert(argStrings.end(), o.args.begin(), o.args.end());
  std::vector<char*> argv;
  for (std::string& a : argStrings) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  const std::string outPath = outDir + "/stdout.txt";
  const std::string errPath = outDir + "/stderr.txt";

  int pipeFds[2] = {-1, -1};
  if (o.stdinPipe && pipe2(pipeFds, O_CLOEXEC) != 0) return Outcome();

  const pid_t pid = fork();
  if (pid == 0) {
    struct sigaction dfl;
    std::memset(&dfl, 0, sizeof dfl);
    dfl.sa_handler = SIG_DFL;
    sigaction(SIGALRM, &dfl, nullptr);
    if (chdir(dir.c_str()) != 0) _exit(126);
    const int in = o.stdinPipe ? pipeFds[0] : open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (in < 0 || out < 0 || err < 0) _exit(126);
    if (dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(126);
    if (o.addressSpace > 0) {
      struct rlimit limit;
      limit.rlim_cur = rlim_t(o.addressSpace);
      limit.rlim_max = rlim_t(o.addressSpace);
      if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(126);
    }
    alarm(o.seconds);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  if (o.stdinPipe) close(pipeFds[0]);

  Outcome r;
  int status = 0;
  pid_t waited;
  do {
    waited = pid > 0 ? waitpid(pid, &status, 0) : -1;
  } while (waited < 0 && errno == EINTR);
  // The write end of the pipe stays open until the child has ended.
  if (o.stdinPipe) close(pipeFds[1]);
  if (waited == pid) {
    if (WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
  }
  r.out = driver_test::readText(outPath);
  r.err = driver_test::readText(errPath);
  return r;
}

// True when the sanitizers are built in: AddressSanitizer reserves terabytes
// of address space, so an address-space limit cannot be set on its processes.
constexpr bool kSanitized =
#if defined(__SANITIZE_ADDRESS__)
    true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    true;
#else
    false;
#endif
#else
    false;
#endif

}  // namespace process_test
