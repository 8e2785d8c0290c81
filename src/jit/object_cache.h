// The on-disk cache of compiled transforms. Nothing in it is trusted that was
// not checked:
//   - the folder is used only when it and every folder above it can be
//     written by no one but this user and root (a folder others may write is
//     accepted above it only when root owns it and its sticky bit is set, as
//     /tmp); otherwise a private temporary folder is used for this process,
//     and the reason is given once;
//   - an entry is opened relative to the open folder without following links,
//     and its owner, mode and size are checked on the open descriptor; its
//     bytes are checked against the SHA-256 digest recorded in its header, so
//     that a damaged entry is rebuilt, never loaded;
//   - an entry is written under a temporary name, synced, renamed, and the
//     folder synced.
// The bytes handed back are the ones checked: callers load them from memory,
// never the file again by name.
#pragma once

#include <cstddef>
#include <string>

namespace orvane {
namespace jit {

// Why `dir` (an existing folder, links resolved) cannot be trusted: the first
// folder on its path that another user may write or that another user owns,
// in words; "" when it can be.
std::string untrustedReason(const std::string& dir);

class CacheFolder {
 public:
  // Makes `dir` (mode 0700, with missing parents) and opens it when it can be
  // trusted; otherwise opens a fresh private temporary folder and sets *why.
  // Throws Error(kParameters) when no private folder can be had at all.
  CacheFolder(const std::string& dir, std::string* why);
  ~CacheFolder();
  CacheFolder(const CacheFolder&) = delete;
  CacheFolder& operator=(const CacheFolder&) = delete;

  const std::string& path() const { return path_; }
  bool temporary() const { return temporary_; }

  // The content of entry `name` when it is there, belongs to this user alone,
  // and matches its digest. A damaged or foreign entry is removed and
  // *problem says why; an absent one leaves *problem empty.
  bool read(const std::string& name, std::string* content, std::string* problem) const;
  // Keeps `content` as entry `name`; false (nothing left behind) when it
  // cannot be written.
  bool write(const std::string& name, const std::string& content) const;

  // A fresh folder for one compile, private to this process (its name holds
  // the process id, so that a later process removes what a killed one left).
  std::string makeWorkFolder() const;
  // Removes a folder made by makeWorkFolder, with all it holds.
  void removeWorkFolder(const std::string& path) const;

 private:
  void removeStaleWork() const;
  std::string path_;
  int fd_ = -1;
  bool temporary_ = false;
};

// The largest entry read back (an object or PTX of a transform is far less).
constexpr std::size_t kMaxEntryBytes = std::size_t(256) << 20;

}  // namespace jit
}  // namespace orvane
