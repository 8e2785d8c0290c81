// Children of the run-time compiler: a guard that leads the compiler's
// process group and ends it when this process dies, a deadline kept with
// poll, and signal handlers that kill the group and remove the files of an
// unfinished compile before this process ends.
#include "jit/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "orvane/error.h"

namespace orvane {
namespace jit {
namespace {

// ---- Runs in progress, as the signal handlers see them ------------------------------------
// A fixed table: a handler may touch only memory that exists already. A slot
// is in use while its group is not 0; the paths are written before the group.

constexpr int kSlots = 32;
constexpr int kCleanupBytes = 8192;
struct Slot {
  std::atomic<pid_t> group{0};
  char cleanup[kCleanupBytes];  // paths, each ended by '\0', then an empty one
};
Slot gSlots[kSlots];
std::mutex gMutex;  // registration and the installed handlers
int gActive = 0;
const int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
struct sigaction gPrevious[4];

// Removes `name` in `dirFd`, a file, or a folder with all it holds (the
// compiler's temporaries, whose names only it knows), by async-signal-safe
// calls on a buffer of the stack. Links are removed, never followed.
void removeTree(int dirFd, const char* name, int depth) {
  if (unlinkat(dirFd, name, 0) == 0 || errno == ENOENT || depth > 8) return;
  const int fd = openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  struct Entry {  // the kernel's record of getdents64
    unsigned long long inode;
    long long offset;
    unsigned short length;
    unsigned char type;
    char name[1];
  };
  alignas(8) char buffer[1024];
  // Read from the start again after every removal, until nothing is left.
  for (int pass = 0; pass < 64; ++pass) {
    bool removed = false;
    lseek(fd, 0, SEEK_SET);
    for (long got; (got = syscall(SYS_getdents64, fd, buffer, sizeof buffer)) > 0;) {
      for (long at = 0; at < got;) {
        const Entry* e = reinterpret_cast<const Entry*>(buffer + at);
        at += e->length;
        if (std::strcmp(e->name, ".") == 0 || std::strcmp(e->name, "..") == 0) continue;
        removeTree(fd, e->name, depth + 1);
        removed = true;
      }
    }
    if (!removed) break;
  }
  close(fd);
  unlinkat(dirFd, name, AT_REMOVEDIR);
}

void onSignal(int signo) {
  const int saved = errno;
  for (Slot& slot : gSlots) {
    const pid_t group = slot.group.load();
    if (group <= 0) continue;
    kill(-group, SIGKILL);
    // A compiler killed just now may still finish a write: a few more tries.
    for (const char* p = slot.cleanup; *p != '\0'; p += std::strlen(p) + 1) {
      for (int tries = 0; tries < 20; ++tries) {
        removeTree(AT_FDCWD, p, 0);
        if (access(p, F_OK) != 0) break;
        const struct timespec pause = {0, 10 * 1000 * 1000};
        nanosleep(&pause, nullptr);
      }
    }
  }
  // Then what would have happened without this handler.
  for (int k = 0; k < 4; ++k) {
    if (kSignals[k] != signo) continue;
    const struct sigaction& before = gPrevious[k];
    if (before.sa_handler == SIG_IGN) break;
    if ((before.sa_flags & SA_SIGINFO) == 0 && before.sa_handler == SIG_DFL) {
      signal(signo, SIG_DFL);
      raise(signo);
    } else if ((before.sa_flags & SA_SIGINFO) != 0) {
      before.sa_sigaction(signo, nullptr, nullptr);
    } else {
      before.sa_handler(signo);
    }
  }
  errno = saved;
}

// A registered run: its slot, handlers installed while any run is registered.
class Registration {
 public:
  Registration(const std::vector<std::string>& cleanup) {
    std::lock_guard<std::mutex> lock(gMutex);
    for (Slot& s : gSlots) {
      if (s.group.load() == 0) {
        slot_ = &s;
        break;
      }
    }
    if (slot_ == nullptr) return;  // more runs than slots: no cleanup on a signal for this one
    slot_->group.store(-1);        // taken, no group yet
    std::size_t at = 0;
    for (const std::string& p : cleanup) {
      if (at + p.size() + 2 > std::size_t(kCleanupBytes)) break;
      std::memcpy(slot_->cleanup + at, p.c_str(), p.size() + 1);
      at += p.size() + 1;
    }
    slot_->cleanup[at] = '\0';
    if (gActive++ == 0) {
      struct sigaction action;
      std::memset(&action, 0, sizeof action);
      action.sa_handler = onSignal;
      sigemptyset(&action.sa_mask);
      for (int k = 0; k < 4; ++k) {
        sigaction(kSignals[k], nullptr, &gPrevious[k]);
        // A signal this process ignores stays ignored.
        if (gPrevious[k].sa_handler != SIG_IGN) sigaction(kSignals[k], &action, nullptr);
      }
    }
  }
  ~Registration() {
    std::lock_guard<std::mutex> lock(gMutex);
    if (slot_ == nullptr) return;
    slot_->group.store(0);
    if (--gActive == 0) {
      for (int k = 0; k < 4; ++k) {
        if (gPrevious[k].sa_handler != SIG_IGN) sigaction(kSignals[k], &gPrevious[k], nullptr);
      }
    }
  }
  void started(pid_t group) {
    if (slot_ != nullptr) slot_->group.store(group);
  }

 private:
  Slot* slot_ = nullptr;
};

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

double compileTimeout() {
  const char* text = std::getenv("ORVANE_JIT_TIMEOUT");
  if (text == nullptr || text[0] == '\0') return 60.0;
  char* end = nullptr;
  errno = 0;
  const double seconds = std::strtod(text, &end);
  if (end == text || *end != '\0' || errno != 0 || !(seconds > 0) || !std::isfinite(seconds))
    throw Error(ErrorKind::kParameters, std::string("ORVANE_JIT_TIMEOUT=\"") + text +
                                            "\": expected a number of seconds above 0");
  return seconds;
}

namespace {

// ---- The guard -------------------------------------------------------------------------------
// A compile runs under a guard: a copy of this process (fork without exec)
// that leads the compiler's process group, starts the compiler (vfork and
// exec) and waits for it. The kernel signals the guard when the thread that
// forked it ends (PR_SET_PDEATHSIG), however it ends, SIGKILL included; the
// guard then kills its whole group: the compiler driver and what the driver
// started (cc1plus, as, ld). A parent-death signal set on the compiler itself
// would not do: it ends the driver only, and g++'s cc1plus runs on to the end
// of its compile when the driver is killed.
//
// The signal comes when the parent *thread* ends, not the process: the guard
// is forked by the thread that runs runChild, which waits for it there and
// reaps it on every way out, so that thread ends before the guard only when
// the whole process dies, which is the case the signal is for.
//
// The guard never execs; it and the compiler before its exec make only
// async-signal-safe calls, on memory prepared before the fork, and allocate
// nothing, so a threaded caller (OpenMP, a Python interpreter) cannot leave
// them deadlocked on a lock that another thread held at the fork.

// The guard's word to the parent, written to the report pipe: how the compiler
// ended, or why it did not start.
struct Report {
  int kind;   // kExited, kSignalled, kNotStarted
  int value;  // exit status, signal, errno
};
constexpr int kExited = 1, kSignalled = 2, kNotStarted = 3;
// The parent-death signal of the guard.
constexpr int kParentGone = SIGTERM;
// The report pipe's write end in the guard; closed by the compiler's exec.
constexpr int kReportFd = 3;

// Everything the guard and the compiler need, prepared before the fork.
struct Launch {
  const char* path;
  char* const* argv;
  char* const* envp;
  int outFd;     // write end of the output pipe
  int reportFd;  // write end of the report pipe
  pid_t parent;
};

void writeReport(int fd, int kind, int value) {
  const Report r{kind, value};
  // Eight bytes into an empty pipe: whole or not at all.
  while (write(fd, &r, sizeof r) < 0 && errno == EINTR) {
  }
}

// The guard's handler of kParentGone: the whole group ends, the guard with it.
void onParentGone(int) { kill(0, SIGKILL); }

// Signals that the guard and the compiler take by default even where this
// process ignores them: the termination signals, SIGPIPE, and SIGCHLD (its
// being ignored would leave no exit status for the guard or the driver to
// wait for).
bool resetToDefault(int signo) {
  for (int s : kSignals) {
    if (s == signo) return true;
  }
  return signo == SIGPIPE || signo == SIGCHLD;
}

// The descriptors from `first` up are closed.
void closeFrom(int first) {
#if defined(SYS_close_range)
  if (syscall(SYS_close_range, unsigned(first), ~0u, 0u) == 0) return;
#endif
  struct rlimit limit;
  const int top = getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < rlim_t(1 << 16) ? int(limit.rlim_cur)
                                                                                              : 1 << 16;
  for (int fd = first; fd < top; ++fd) close(fd);
}

[[noreturn]] void runGuard(const Launch& l) {
  // The handlers of this process must not run here: every handled signal
  // reverts to its default, as do those of resetToDefault; other ignored
  // signals stay ignored, as they would through exec. All signals are
  // blocked still (the parent blocked them around the fork).
  struct sigaction byDefault = {};
  byDefault.sa_handler = SIG_DFL;
  sigemptyset(&byDefault.sa_mask);
  for (int s = 1; s < NSIG; ++s) {
    struct sigaction now;
    if (s == SIGKILL || s == SIGSTOP || sigaction(s, nullptr, &now) != 0) continue;
    const bool handled = (now.sa_flags & SA_SIGINFO) != 0 || (now.sa_handler != SIG_DFL && now.sa_handler != SIG_IGN);
    if (handled || resetToDefault(s)) sigaction(s, &byDefault, nullptr);
  }
  const int out = fcntl(l.outFd, F_DUPFD_CLOEXEC, kReportFd + 1);
  const int report = fcntl(l.reportFd, F_DUPFD_CLOEXEC, kReportFd + 1);
  if (report < 0) _exit(126);
  if (setpgid(0, 0) != 0 || out < 0) {
    writeReport(report, kNotStarted, errno);
    _exit(126);
  }
  // The group is the guard's own: kill(0, ...) reaches it and nothing else.
  struct sigaction gone = {};
  gone.sa_handler = onParentGone;
  sigemptyset(&gone.sa_mask);
  sigaction(kParentGone, &gone, nullptr);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  prctl(PR_SET_PDEATHSIG, kParentGone);
  // The parent may have ended before the request: the guard is then another
  // process's child already.
  if (getppid() != l.parent) kill(0, SIGKILL);

  // Standard input from /dev/null, output and errors into the pipe, the
  // report pipe as descriptor 3 (closed by exec), and nothing else.
  const int null = open("/dev/null", O_RDONLY);
  if (null < 0 || (null != 0 && dup2(null, 0) != 0) || dup2(out, 1) != 1 || dup2(out, 2) != 2 ||
      dup3(report, kReportFd, O_CLOEXEC) != kReportFd) {
    writeReport(report, kNotStarted, errno);
    _exit(126);
  }
  closeFrom(kReportFd + 1);

  const pid_t compiler = vfork();
  if (compiler == 0) {
    execve(l.path, l.argv, l.envp);
    writeReport(kReportFd, kNotStarted, errno);
    _exit(127);
  }
  if (compiler < 0) {
    writeReport(kReportFd, kNotStarted, errno);
    _exit(126);
  }
  // The output pipe ends when the compiler and what it started are done.
  close(0);
  close(1);
  close(2);
  int status = 0;
  pid_t waited;
  while ((waited = waitpid(compiler, &status, 0)) < 0 && errno == EINTR) {
  }
  if (waited == compiler && WIFEXITED(status)) writeReport(kReportFd, kExited, WEXITSTATUS(status));
  if (waited == compiler && WIFSIGNALED(status)) writeReport(kReportFd, kSignalled, WTERMSIG(status));
  _exit(0);
}

// A copy of this process that runs no fork handlers (async-signal-safe).
pid_t forkGuard() {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  return _Fork();
#else
  return fork();
#endif
}

// Where no guard can be had (fork refused for memory): the compiler alone,
// by posix_spawn, in a group of its own, without the parent-death guard.
pid_t spawnDirect(const Launch& l) {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, l.outFd, 1);
  posix_spawn_file_actions_adddup2(&actions, l.outFd, 2);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawnattr_init(&attributes);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int s : kSignals) sigaddset(&defaults, s);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t child = -1;
  const int spawned = posix_spawn(&child, l.path, &actions, &attributes, l.argv, l.envp);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  return spawned == 0 ? child : -1;
}

}  // namespace

ChildResult runChild(const std::vector<std::string>& argv, double timeoutSeconds,
                     const std::vector<std::string>& cleanup, const std::vector<std::string>& environment) {
  ChildResult result;
  int pipeFd[2], reportFd[2];
  if (pipe2(pipeFd, O_CLOEXEC) != 0) {
    result.startFailed = true;
    return result;
  }
  if (pipe2(reportFd, O_CLOEXEC | O_NONBLOCK) != 0) {
    close(pipeFd[0]);
    close(pipeFd[1]);
    result.startFailed = true;
    return result;
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<char*> env;
  for (const std::string& e : environment) env.push_back(const_cast<char*>(e.c_str()));
  env.push_back(nullptr);
  const Launch launch{args[0], args.data(), env.data(), pipeFd[1], reportFd[1], getpid()};

  Registration registration(cleanup);
  // Signals wait until the guard's group is registered: a handler of this
  // process then kills it, and the guard never runs one of them.
  sigset_t all, before;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &before);
  pid_t child = forkGuard();
  if (child == 0) runGuard(launch);
  bool guarded = child > 0;
  if (!guarded) child = spawnDirect(launch);
  if (child > 0) {
    setpgid(child, child);  // also done by the child; whichever comes first
    registration.started(child);
  }
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  close(pipeFd[1]);
  close(reportFd[1]);
  if (child <= 0) {
    close(pipeFd[0]);
    close(reportFd[0]);
    result.startFailed = true;
    return result;
  }
  // On every way out, an exception included, whatever the group still runs
  // (all of it, at the time limit) is killed and the child is reaped.
  struct Reaper {
    pid_t child;
    int fds[2];
    int* status;
    ~Reaper() {
      close(fds[0]);
      close(fds[1]);
      kill(-child, SIGKILL);
      while (waitpid(child, status, 0) < 0 && errno == EINTR) {
      }
    }
  };
  int status = 0;
  std::string report;
  {
    const Reaper reaper{child, {pipeFd[0], reportFd[0]}, &status};
    // The output until every writer is gone (the compiler and what it
    // started), and the guard's report until the guard is gone: it writes
    // the report when the compiler has ended, then exits.
    bool open[2] = {true, true};
    const auto start = std::chrono::steady_clock::now();
    char buffer[4096];
    while (open[0] || open[1]) {
      const double left = timeoutSeconds - secondsSince(start);
      if (left <= 0) {
        result.timedOut = true;
        break;
      }
      struct pollfd wait[2] = {{open[0] ? pipeFd[0] : -1, POLLIN, 0}, {open[1] ? reportFd[0] : -1, POLLIN, 0}};
      const int ready = poll(wait, 2, int(std::min(left * 1000.0 + 1.0, 1000.0)));
      if (ready < 0 && errno != EINTR) break;
      for (int k = 0; k < 2 && ready > 0; ++k) {
        if (wait[k].revents == 0) continue;
        const ssize_t got = read(wait[k].fd, buffer, sizeof buffer);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (got <= 0) {
          open[k] = false;  // every writer is gone
        } else if (k == 1) {
          report.append(buffer, std::size_t(std::min<ssize_t>(got, 64)));
        } else if (result.output.size() < (1u << 20)) {
          result.output.append(buffer, std::size_t(got));
        }
      }
    }
  }
  if (result.timedOut) return result;
  if (!guarded) {
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return result;
  }
  // The first report says how the compiler ended, or that it did not start.
  Report first{0, 0};
  if (report.size() >= sizeof first) std::memcpy(&first, report.data(), sizeof first);
  if (first.kind == kNotStarted) result.startFailed = true;
  if (first.kind == kExited) result.status = first.value;
  if (first.kind == kSignalled) result.signal = first.value;
  return result;
}

}  // namespace jit
}  // namespace orvane
