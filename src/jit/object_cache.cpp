// The cache of compiled transforms: trusted folders, checked entries, atomic
// writes. An entry is a header line "orvane-transform-entry <size> <sha256>"
// padded to kHeaderBytes, then the object's bytes.
#include "jit/object_cache.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "jit/child_process.h"
#include "jit/sha256.h"
#include "orvane/error.h"

namespace orvane {
namespace jit {
namespace {

constexpr std::size_t kHeaderBytes = 128;
const char* const kMagic = "orvane-transform-entry";
const char* const kWorkPrefix = "build-";

[[noreturn]] void refuse(const std::string& message) { throw Error(ErrorKind::kParameters, message); }

std::string octal(mode_t mode) {
  char text[16];
  std::snprintf(text, sizeof text, "%04o", unsigned(mode & 07777));
  return text;
}

// Whether a folder on the path above a cache may be trusted: writable by
// none but its owner, who is root or this user; or root's with the sticky bit.
std::string ancestorProblem(const std::string& path, const struct stat& st) {
  const uid_t me = geteuid();
  const bool othersWrite = (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
  if (st.st_uid != 0 && st.st_uid != me)
    return path + " belongs to another user (uid " + std::to_string(st.st_uid) + ")";
  if (othersWrite && !(st.st_uid == 0 && (st.st_mode & S_ISVTX) != 0))
    return path + " may be written by others (mode " + octal(st.st_mode) + ")";
  return "";
}

ssize_t readAll(int fd, char* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += std::size_t(n);
  }
  return ssize_t(done);
}

bool writeAll(int fd, const char* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += std::size_t(n);
  }
  return true;
}

// Removes `name` in the folder `dirFd`, a folder with all it holds; links are
// removed, never followed.
void removeAt(int dirFd, const char* name, int depth = 0) {
  if (unlinkat(dirFd, name, 0) == 0 || errno == ENOENT || depth > 16) return;
  const int fd = openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  DIR* folder = fdopendir(fd);
  if (folder == nullptr) {
    close(fd);
    return;
  }
  std::vector<std::string> names;
  while (const struct dirent* e = readdir(folder)) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
  }
  for (const std::string& n : names) removeAt(dirfd(folder), n.c_str(), depth + 1);
  closedir(folder);
  unlinkat(dirFd, name, AT_REMOVEDIR);
}

std::atomic<unsigned> gSerial{0};

std::string uniqueSuffix() {
  return std::to_string(getpid()) + "-" + std::to_string(gSerial++);
}

// The first folder from `path` (resolved) up to the root that fails
// ancestorProblem, in words; "" when none does.
std::string pathProblem(std::string path) {
  for (;;) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return path + " cannot be examined";
    const std::string problem = ancestorProblem(path, st);
    if (!problem.empty() || path == "/") return problem;
    path = path.substr(0, path.rfind('/'));
    if (path.empty()) path = "/";
  }
}

std::string resolved(const std::string& dir) {
  char text[PATH_MAX];
  return realpath(dir.c_str(), text) != nullptr ? text : "";
}

}  // namespace

std::string untrustedReason(const std::string& dir) {
  const std::string path = resolved(dir);
  if (path.empty()) return dir + " cannot be resolved: " + std::strerror(errno);
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return path + " is not a folder";
  if (st.st_uid != geteuid()) return path + " belongs to another user (uid " + std::to_string(st.st_uid) + ")";
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return path + " may be written by others (mode " + octal(st.st_mode) + ")";
  return path == "/" ? "" : pathProblem(path.substr(0, std::max<std::size_t>(path.rfind('/'), 1)));
}

CacheFolder::CacheFolder(const std::string& dir, std::string* why) {
  // Missing folders are made private; existing ones are judged as they are.
  std::string partial;
  for (std::size_t at = 1; at != std::string::npos && !dir.empty();) {
    at = dir.find('/', at + 1);
    partial = dir.substr(0, at);
    mkdir(partial.c_str(), 0700);
  }
  std::string reason = dir.empty() || dir[0] != '/' ? "'" + dir + "' is not an absolute path" : untrustedReason(dir);
  if (reason.empty()) {
    path_ = resolved(dir);
    fd_ = open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (fd_ < 0 || fstat(fd_, &st) != 0 || st.st_uid != geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
      reason = path_ + " changed while it was checked";
      if (fd_ >= 0) close(fd_);
      fd_ = -1;
    }
  }
  if (!reason.empty()) {
    *why = reason;
    const std::string tmpProblem = pathProblem("/tmp");
    if (!tmpProblem.empty()) refuse("no private folder to compile the transform in: " + tmpProblem);
    char scratch[] = "/tmp/orvane-jit-XXXXXX";
    if (mkdtemp(scratch) == nullptr)
      refuse(std::string("cannot make a private folder to compile the transform in: ") + std::strerror(errno));
    path_ = scratch;
    temporary_ = true;
    fd_ = open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd_ < 0) refuse("cannot open the private folder " + path_);
    return;
  }
  removeStaleWork();
}

CacheFolder::~CacheFolder() {
  if (temporary_) {
    const int parent = open("/tmp", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent >= 0) {
      removeAt(parent, path_.substr(5).c_str());
      close(parent);
    }
  }
  if (fd_ >= 0) close(fd_);
}

bool CacheFolder::read(const std::string& name, std::string* content, std::string* problem) const {
  problem->clear();
  content->clear();
  const int fd = openat(fd_, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno != ENOENT) *problem = "cannot be opened (" + std::string(std::strerror(errno)) + ")";
    if (errno == ELOOP) *problem = "is a symbolic link";
    if (!problem->empty()) removeAt(fd_, name.c_str());
    return false;
  }
  struct stat st;
  char header[kHeaderBytes + 1] = {};
  unsigned long long size = 0;
  char digest[65] = {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    *problem = "is not a regular file";
  } else if (st.st_uid != geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    *problem = "does not belong to this user alone (uid " + std::to_string(st.st_uid) + ", mode " +
               octal(st.st_mode) + ")";
  } else if (readAll(fd, header, kHeaderBytes) != ssize_t(kHeaderBytes) ||
             std::sscanf(header, "orvane-transform-entry %llu %64[0-9a-f]", &size, digest) != 2 ||
             std::strlen(digest) != 64) {
    *problem = "has no valid header";
  } else if (size > kMaxEntryBytes || (unsigned long long)st.st_size != kHeaderBytes + size) {
    *problem = "is " + std::to_string((long long)st.st_size) + " bytes long, not " +
               std::to_string(kHeaderBytes + size);
  } else {
    content->resize(std::size_t(size));
    if (readAll(fd, &(*content)[0], content->size()) != ssize_t(size)) {
      *problem = "cannot be read";
    } else if (sha256Hex(*content) != digest) {
      *problem = "does not match its digest";
    }
  }
  close(fd);
  if (problem->empty()) return true;
  content->clear();
  removeAt(fd_, name.c_str());
  return false;
}

bool CacheFolder::write(const std::string& name, const std::string& content) const {
  if (temporary_) return false;  // nothing is kept beyond this process
  char header[kHeaderBytes];
  std::memset(header, ' ', sizeof header);
  const int n = std::snprintf(header, sizeof header, "%s %llu %s", kMagic, (unsigned long long)content.size(),
                              sha256Hex(content).c_str());
  header[n] = ' ';
  header[kHeaderBytes - 1] = '\n';
  const std::string temporary = "." + name + ".tmp-" + uniqueSuffix();
  const int fd = openat(fd_, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = writeAll(fd, header, sizeof header) && writeAll(fd, content.data(), content.size()) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && renameat(fd_, temporary.c_str(), fd_, name.c_str()) == 0;
  if (!ok) {
    unlinkat(fd_, temporary.c_str(), 0);
    return false;
  }
  fsync(fd_);
  return true;
}

std::string CacheFolder::makeWorkFolder() const {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = kWorkPrefix + uniqueSuffix();
    if (mkdirat(fd_, name.c_str(), 0700) == 0) return path_ + "/" + name;
    if (errno != EEXIST) break;
  }
  refuse("cannot make a folder to compile the transform in " + path_ + ": " + std::strerror(errno));
}

void CacheFolder::removeWorkFolder(const std::string& path) const {
  const std::size_t slash = path.rfind('/');
  removeAt(fd_, path.substr(slash + 1).c_str());
}

// Work folders and temporary entries that processes killed during a compile
// (SIGKILL cannot be handled) left: names of ours, this user's, of a process
// that no longer runs, and untouched for longer than a compile may take (the
// time limit, at least its default). The age guards the work of a running
// process that another PID namespace shares the cache with, whose number
// means nothing here.
void CacheFolder::removeStaleWork() const {
  double limit = 60;
  try {
    limit = std::max(limit, compileTimeout());
  } catch (const Error&) {
    // A bad setting is refused where the compile reads it.
  }
  const time_t now = time(nullptr);
  const int fd = dup(fd_);
  DIR* folder = fd >= 0 ? fdopendir(fd) : nullptr;
  if (folder == nullptr) {
    if (fd >= 0) close(fd);
    return;
  }
  std::vector<std::string> stale;
  const std::size_t prefix = std::strlen(kWorkPrefix);
  while (const struct dirent* e = readdir(folder)) {
    const std::string name = e->d_name;
    const bool tmp = name.size() > 1 && name[0] == '.' && name.find(".tmp-") != std::string::npos;
    if (name.compare(0, prefix, kWorkPrefix) != 0 && !tmp) continue;
    const std::size_t at = tmp ? name.rfind(".tmp-") + 5 : prefix;
    const long pid = std::strtol(name.c_str() + at, nullptr, 10);
    if (pid <= 0 || kill(pid_t(pid), 0) == 0 || errno != ESRCH) continue;
    struct stat st;
    if (fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && st.st_uid == geteuid() &&
        double(now - st.st_mtime) > limit)
      stale.push_back(name);
  }
  rewinddir(folder);
  for (const std::string& name : stale) removeAt(fd_, name.c_str());
  closedir(folder);
}

}  // namespace jit
}  // namespace orvane
