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
//     folder synced;
//   - the cache is bounded in size and age (cacheLimits): an entry's time is
//     that of its last use, and after each write the entries unused for too
//     long go, then the least recently used ones until the rest fit. Removing
//     an entry breaks no process that uses it, which loads its own copy.
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

// How much the cache keeps: ORVANE_JIT_CACHE_SIZE bytes in all (a whole
// number, with K, M or G for KiB, MiB or GiB; default 256M; 0 keeps nothing)
// and entries used within ORVANE_JIT_CACHE_DAYS days (a number above 0;
// default 30). Throws Error(kParameters) for a setting that is not one.
struct CacheLimits {
  unsigned long long bytes;
  double seconds;
};
CacheLimits cacheLimits();

// What makes `bytes` not a whole ELF shared object of this machine's class
// (a header, a segment or a section that reaches past the end, as a linker
// that met a full disk may leave); "" when none does.
std::string objectProblem(const std::string& bytes);

class CacheFolder {
 public:
  // Makes `dir` (mode 0700) and the folder that holds it (XDG_CACHE_HOME or
  // ~/.cache) where they are missing, but nothing above those, and opens it
  // when it can be trusted; otherwise opens a fresh private temporary folder
  // and sets *why. Reads cacheLimits() first (and throws as it does). Throws
  // Error(kParameters) when no private folder can be had at all.
  CacheFolder(const std::string& dir, std::string* why);
  // A fresh private temporary folder, removed with the object.
  CacheFolder();
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

  // Why a compile cannot be done in this folder (a read-only or nearly full
  // file system, a folder this user may not write); "" when it can.
  std::string workProblem() const;

  // A fresh folder for one compile, private to this process (its name holds
  // the process id, so that a later process removes what a killed one left).
  std::string makeWorkFolder() const;
  // Removes a folder made by makeWorkFolder, with all it holds.
  void removeWorkFolder(const std::string& path) const;

 private:
  void openTemporary();
  void removeStaleWork() const;
  // Removes entries past the limits, least recently used first; never `keep`.
  void trim(const std::string& keep) const;
  std::string path_;
  int fd_ = -1;
  bool temporary_ = false;
  CacheLimits limits_{0, 0};
};

// The largest entry read back (an object or PTX of a transform is far less).
constexpr std::size_t kMaxEntryBytes = std::size_t(256) << 20;
// The free space a compile needs in its folder (its temporaries, the object).
constexpr unsigned long long kWorkRoomBytes = 32ull << 20;

}  // namespace jit
}  // namespace orvane
