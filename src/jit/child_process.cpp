// Children of the run-time compiler: posix_spawn, their own process group, a
// deadline kept with poll, and signal handlers that kill the group and remove
// the files of an unfinished compile before this process ends.
#include "jit/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
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

void onSignal(int signo) {
  const int saved = errno;
  for (Slot& slot : gSlots) {
    const pid_t group = slot.group.load();
    if (group <= 0) continue;
    kill(-group, SIGKILL);
    for (const char* p = slot.cleanup; *p != '\0'; p += std::strlen(p) + 1) {
      if (unlink(p) != 0) rmdir(p);
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

ChildResult runChild(const std::vector<std::string>& argv, double timeoutSeconds,
                     const std::vector<std::string>& cleanup, const std::vector<std::string>& environment) {
  ChildResult result;
  int pipeFd[2];
  if (pipe2(pipeFd, O_CLOEXEC) != 0) {
    result.startFailed = true;
    return result;
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<char*> env;
  for (const std::string& e : environment) env.push_back(const_cast<char*>(e.c_str()));
  env.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFd[1], 1);
  posix_spawn_file_actions_adddup2(&actions, pipeFd[1], 2);
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

  Registration registration(cleanup);
  pid_t child = -1;
  const int spawned = posix_spawn(&child, args[0], &actions, &attributes, args.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(pipeFd[1]);
  if (spawned != 0) {
    close(pipeFd[0]);
    result.startFailed = true;
    return result;
  }
  registration.started(child);
  // On every way out, an exception included, whatever the group still runs
  // (all of it, at the time limit) is killed and the child is reaped.
  struct Reaper {
    pid_t child;
    int fd;
    int* status;
    ~Reaper() {
      close(fd);
      kill(-child, SIGKILL);
      while (waitpid(child, status, 0) < 0 && errno == EINTR) {
      }
    }
  };
  int status = 0;
  {
    const Reaper reaper{child, pipeFd[0], &status};
  const auto start = std::chrono::steady_clock::now();
  char buffer[4096];
  for (;;) {
    const double left = timeoutSeconds - secondsSince(start);
    if (left <= 0) {
      result.timedOut = true;
      break;
    }
    struct pollfd wait = {pipeFd[0], POLLIN, 0};
    const int ready = poll(&wait, 1, int(std::min(left * 1000.0 + 1.0, 1000.0)));
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0) continue;
    const ssize_t got = read(pipeFd[0], buffer, sizeof buffer);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (got <= 0) break;  // every writer is gone
    if (result.output.size() < (1u << 20)) result.output.append(buffer, std::size_t(got));
  }
  }
  result.status = !result.timedOut && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.signal = !result.timedOut && WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return result;
}

}  // namespace jit
}  // namespace orvane
