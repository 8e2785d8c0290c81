// Atomic replacement of a data file through a temporary name and rename.
#include "driver/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

std::string writeFileAtomically(const std::string& path, const std::string& text) {
  std::vector<char> name(path.begin(), path.end());
  const char suffix[] = ".tmp.XXXXXX";
  name.insert(name.end(), suffix, suffix + sizeof suffix);  // with the terminating 0
  const int fd = mkstemp(name.data());
  if (fd < 0) return std::string("cannot create a file beside it: ") + std::strerror(errno);
  // A new data file gets the usual permissions, not mkstemp's 0600.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
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
  if (failure.empty() && std::rename(name.data(), path.c_str()) != 0)
    failure = std::string("cannot replace it: ") + std::strerror(errno);
  if (!failure.empty()) unlink(name.data());
  return failure;
}
