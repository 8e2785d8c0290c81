// The cache of compiled transforms: trusted folders, checked entries, atomic
// writes, a bound on size and age. An entry is a header line
// "orvane-transform-entry <size> <sha256>" padded to kHeaderBytes, then the
// object's bytes.
#include "jit/object_cache.h"

#include <dirent.h>
#include <fcntl.h>
#include <link.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
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

// The folder that holds `path` ("/" for a name under the root, "" for none).
std::string parentOf(const std::string& path) {
  const std::size_t last = path.find_last_not_of('/');
  if (last == std::string::npos) return "";
  const std::size_t slash = path.find_last_of('/', last);
  if (slash == std::string::npos) return "";
  const std::size_t end = path.find_last_not_of('/', slash);
  return end == std::string::npos ? "/" : path.substr(0, end + 1);
}

// An entry's name: 32 hexadecimal digits, then .so or .ptx.
bool isEntryName(const std::string& name) {
  const std::size_t dot = name.find('.');
  if (dot != 32 || (name.compare(dot, std::string::npos, ".so") != 0 && name.compare(dot, std::string::npos, ".ptx") != 0))
    return false;
  for (std::size_t k = 0; k < dot; ++k) {
    if (!std::isxdigit(static_cast<unsigned char>(name[k]))) return false;
  }
  return true;
}

std::string inWords(unsigned long long bytes) {
  char text[32];
  if (bytes >= (1ull << 20)) {
    std::snprintf(text, sizeof text, "%.1f MiB", double(bytes) / double(1 << 20));
  } else {
    std::snprintf(text, sizeof text, "%.1f KiB", double(bytes) / 1024.0);
  }
  return text;
}

// An entry used within this many seconds is not touched again: a transform
// used in a loop costs no write per call.
constexpr time_t kTouchSeconds = 60;

}  // namespace

CacheLimits cacheLimits() {
  CacheLimits limits{256ull << 20, 30 * 86400.0};
  const char* size = std::getenv("ORVANE_JIT_CACHE_SIZE");
  if (size != nullptr && size[0] != '\0') {
    char* end = nullptr;
    errno = 0;
    const unsigned long long count = std::strtoull(size, &end, 10);
    const char unit = *end;
    int shift = 0;
    if (end != size && (unit == 'K' || unit == 'M' || unit == 'G')) {
      shift = unit == 'K' ? 10 : unit == 'M' ? 20 : 30;
      ++end;
    }
    if (!std::isdigit(static_cast<unsigned char>(size[0])) || *end != '\0' || errno != 0 || count > (~0ull >> shift))
      refuse(std::string("ORVANE_JIT_CACHE_SIZE=\"") + size +
             "\": expected a size in bytes, a whole number with K, M or G for KiB, MiB or GiB (e.g. 256M)");
    limits.bytes = count << shift;
  }
  const char* days = std::getenv("ORVANE_JIT_CACHE_DAYS");
  if (days != nullptr && days[0] != '\0') {
    char* end = nullptr;
    errno = 0;
    const double count = std::strtod(days, &end);
    if (end == days || *end != '\0' || errno != 0 || !(count > 0) || !std::isfinite(count))
      refuse(std::string("ORVANE_JIT_CACHE_DAYS=\"") + days + "\": expected a number of days above 0 (e.g. 30)");
    limits.seconds = std::min(count * 86400.0, 1e15);
  }
  return limits;
}

std::string objectProblem(const std::string& bytes) {
  const unsigned long long size = bytes.size();
  // [offset, offset + length) within the bytes, without overflow.
  const auto within = [size](unsigned long long offset, unsigned long long length) {
    return offset <= size && length <= size - offset;
  };
  const std::string length = " (the object is " + std::to_string(size) + " bytes long)";
  ElfW(Ehdr) header;
  if (size < sizeof header) return "it is shorter than an ELF header" + length;
  std::memcpy(&header, bytes.data(), sizeof header);
  if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0) return "it is not an ELF object";
  if (header.e_ident[EI_CLASS] != (sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32) || header.e_type != ET_DYN)
    return "it is not a shared object of this machine";
  if (header.e_phentsize != sizeof(ElfW(Phdr)) ||
      !within(header.e_phoff, (unsigned long long)header.e_phnum * sizeof(ElfW(Phdr))))
    return "its program headers reach past its end" + length;
  for (int k = 0; k < header.e_phnum; ++k) {
    ElfW(Phdr) segment;
    std::memcpy(&segment, bytes.data() + header.e_phoff + std::size_t(k) * sizeof segment, sizeof segment);
    if (!within(segment.p_offset, segment.p_filesz))
      return "its segment " + std::to_string(k) + " ends at byte " +
             std::to_string((unsigned long long)segment.p_offset + segment.p_filesz) + ", past its end" + length;
  }
  if (header.e_shnum == 0) return "";
  if (header.e_shentsize != sizeof(ElfW(Shdr)) ||
      !within(header.e_shoff, (unsigned long long)header.e_shnum * sizeof(ElfW(Shdr))))
    return "its section headers reach past its end" + length;
  for (int k = 0; k < header.e_shnum; ++k) {
    ElfW(Shdr) section;
    std::memcpy(&section, bytes.data() + header.e_shoff + std::size_t(k) * sizeof section, sizeof section);
    if (section.sh_type != SHT_NOBITS && !within(section.sh_offset, section.sh_size))
      return "its section " + std::to_string(k) + " ends at byte " +
             std::to_string((unsigned long long)section.sh_offset + section.sh_size) + ", past its end" + length;
  }
  return "";
}

std::string untrustedReason(const std::string& dir) {
  const std::string path = resolved(dir);
  if (path.empty()) return dir + " cannot be resolved: " + std::strerror(errno);
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return path + " is not a folder";
  if (st.st_uid != geteuid()) return path + " belongs to another user (uid " + std::to_string(st.st_uid) + ")";
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return path + " may be written by others (mode " + octal(st.st_mode) + ")";
  return path == "/" ? "" : pathProblem(path.substr(0, std::max<std::size_t>(path.rfind('/'), 1)));
}

CacheFolder::CacheFolder(const std::string& dir, std::string* why) : limits_(cacheLimits()) {
  // The folder and the one that holds it are made private where missing;
  // nothing above them is made (a home that does not exist stays so), and
  // existing ones are judged as they are.
  std::string reason;
  if (dir.empty() || dir[0] != '/') {
    reason = "'" + dir + "' is not an absolute path";
  } else {
    const std::string parent = parentOf(dir);
    if (mkdir(parent.c_str(), 0700) != 0 && errno == ENOENT) {
      reason = parent + " cannot be made: " + parentOf(parent) + " does not exist";
    } else {
      mkdir(dir.c_str(), 0700);
      reason = untrustedReason(dir);
    }
  }
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
    openTemporary();
    return;
  }
  removeStaleWork();
}

CacheFolder::CacheFolder() { openTemporary(); }

void CacheFolder::openTemporary() {
  const std::string tmpProblem = pathProblem("/tmp");
  if (!tmpProblem.empty()) refuse("no private folder to compile the transform in: " + tmpProblem);
  char scratch[] = "/tmp/orvane-jit-XXXXXX";
  if (mkdtemp(scratch) == nullptr)
    refuse(std::string("cannot make a private folder to compile the transform in: ") + std::strerror(errno));
  path_ = scratch;
  temporary_ = true;
  fd_ = open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd_ < 0) refuse("cannot open the private folder " + path_);
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
    } else if (time(nullptr) - st.st_mtime > kTouchSeconds) {
      futimens(fd, nullptr);  // its time is that of its last use
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
  if (kHeaderBytes + content.size() > limits_.bytes) return false;  // it would not fit
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
  trim(name);
  return true;
}

// Entries are judged by their time, the time of their last use: first those
// unused for longer than the limit go, then the least recently used until
// the rest fit. An entry another process reads or has loaded is safe: its
// bytes are already in that process's memory.
void CacheFolder::trim(const std::string& keep) const {
  struct Entry {
    std::string name;
    struct timespec used;
    unsigned long long bytes;
  };
  std::vector<Entry> entries;
  const int fd = dup(fd_);
  DIR* folder = fd >= 0 ? fdopendir(fd) : nullptr;
  if (folder == nullptr) {
    if (fd >= 0) close(fd);
    return;
  }
  unsigned long long total = 0;
  while (const struct dirent* e = readdir(folder)) {
    struct stat st;
    if (!isEntryName(e->d_name) || fstatat(fd_, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
      continue;
    entries.push_back({e->d_name, st.st_mtim, (unsigned long long)st.st_size});
    total += (unsigned long long)st.st_size;
  }
  closedir(folder);
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    return a.used.tv_sec != b.used.tv_sec ? a.used.tv_sec < b.used.tv_sec : a.used.tv_nsec < b.used.tv_nsec;
  });
  const time_t now = time(nullptr);
  for (const Entry& entry : entries) {
    const bool old = double(now - entry.used.tv_sec) > limits_.seconds;
    if (entry.name == keep || (!old && total <= limits_.bytes)) continue;
    if (unlinkat(fd_, entry.name.c_str(), 0) == 0 || errno == ENOENT) total -= entry.bytes;
  }
}

std::string CacheFolder::workProblem() const {
  struct statvfs fs;
  if (fstatvfs(fd_, &fs) == 0) {
    if ((fs.f_flag & ST_RDONLY) != 0) return path_ + " is on a read-only file system";
    const unsigned long long free = (unsigned long long)fs.f_bavail * fs.f_frsize;
    if (free < kWorkRoomBytes)
      return path_ + " has " + inWords(free) + " free, less than a compile needs (" + inWords(kWorkRoomBytes) + ")";
    if (fs.f_files != 0 && fs.f_favail < 64) return path_ + " has no free inodes";
  }
  if (faccessat(fd_, ".", W_OK | X_OK, AT_EACCESS) != 0)
    return path_ + " cannot be written (" + std::strerror(errno) + ")";
  return "";
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
