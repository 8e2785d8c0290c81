// Atomic replacement of a data file through a temporary name and rename.
#include "driver/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// The folder of `path` ("." for a bare name), with its slash.
std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Whether the mode bits let this process write what `st` describes: the
// owner's, the group's or the others' bit as they apply, and for root (whom
// the system lets write anything) any of them, so that a file or folder
// made read-only stays so.
bool modeWritable(const struct stat& st) {
  const mode_t mode = st.st_mode;
  if (geteuid() == 0) return (mode & 0222) != 0;
  if (st.st_uid == geteuid()) return (mode & S_IWUSR) != 0;
  if (st.st_gid == getegid()) return (mode & S_IWGRP) != 0;
  return (mode & S_IWOTH) != 0;
}

std::string octal(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", unsigned(mode & 07777));
  return text;
}

}  // namespace

std::string outputTargetProblem(const std::string& path, const std::vector<std::string>& inputs) {
  if (path.empty()) return "is an empty name; expected a file name";
  if (path.back() == '/') return "names a folder; expected a file name";
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return "";
    return std::string("cannot be examined: ") + std::strerror(errno);
  }
  if (S_ISLNK(st.st_mode)) return "is a symbolic link; name the file itself";
  if (S_ISDIR(st.st_mode)) return "is a folder; expected a file name";
  if (!S_ISREG(st.st_mode)) return "exists and is not a regular file (a device, a FIFO or a socket)";
  if (!modeWritable(st))
    return "is read-only (mode " + octal(st.st_mode) + "); make it writable or choose another output";
  for (const std::string& input : inputs) {
    struct stat in;
    if (!input.empty() && stat(input.c_str(), &in) == 0 && in.st_dev == st.st_dev && in.st_ino == st.st_ino)
      return "is the input file " + input + " (under this or another name); choose another output";
  }
  return "";
}

std::string outputFolderProblem(const std::string& path) {
  const std::string folder = folderOf(path);
  const std::string shown = folder.empty() ? std::string(".") : folder.size() == 1 ? folder : folder.substr(0, folder.size() - 1);
  struct stat st;
  if (stat(folder.empty() ? "." : folder.c_str(), &st) != 0)
    return "cannot be created: its folder " + shown + " " +
           (errno == ENOENT ? std::string("does not exist") : std::string("cannot be examined: ") + std::strerror(errno));
  if (!S_ISDIR(st.st_mode)) return "cannot be created: " + shown + " is not a folder";
  if (!modeWritable(st))
    return "cannot be created: its folder " + shown + " is not writable (mode " + octal(st.st_mode) + ")";
  // A read-only file system, a quota or a full disk shows only in trying.
  std::string probe = folder + ".orvane-XXXXXX";
  const int fd = mkstemp(&probe[0]);
  if (fd < 0) return "cannot be created in its folder " + shown + ": " + std::strerror(errno);
  close(fd);
  unlink(probe.c_str());
  return "";
}

std::string writeFileAtomically(const std::string& path, const std::string& text,
                                const std::vector<std::string>& inputs) {
  const std::string problem = outputTargetProblem(path, inputs);
  if (!problem.empty()) return problem;
  // An existing file keeps its mode; a new one gets the usual permissions,
  // not mkstemp's 0600.
  struct stat st;
  mode_t mode;
  if (lstat(path.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  // A short temporary name beside the target, whatever the target's length.
  std::string temporary = folderOf(path) + ".orvane-XXXXXX";
  const int fd = mkstemp(&temporary[0]);
  if (fd < 0) return std::string("cannot create a file beside it: ") + std::strerror(errno);
  fchmod(fd, mode);
  std::size_t done = 0;
  std::string failure;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failure = std::string("cannot write it: ") + std::strerror(errno);
      break;
    }
    done += std::size_t(n);
  }
  if (failure.empty() && fsync(fd) != 0) failure = std::string("cannot write it: ") + std::strerror(errno);
  if (close(fd) != 0 && failure.empty()) failure = std::string("cannot write it: ") + std::strerror(errno);
  if (failure.empty()) {
    // Checked once more just before the rename, which replaces a name and
    // never writes through one.
    failure = outputTargetProblem(path, inputs);
    if (failure.empty() && std::rename(temporary.c_str(), path.c_str()) != 0)
      failure = std::string("cannot replace it: ") + std::strerror(errno);
  }
  if (!failure.empty()) unlink(temporary.c_str());
  return failure;
}
