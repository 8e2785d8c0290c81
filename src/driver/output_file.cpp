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
  for (const std::string& input : inputs) {
    struct stat in;
    if (!input.empty() && stat(input.c_str(), &in) == 0 && in.st_dev == st.st_dev && in.st_ino == st.st_ino)
      return "is the input file " + input + " (under this or another name); choose another output";
  }
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
