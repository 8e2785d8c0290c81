// Run-time transforms on the host backend: the generated source is compiled
// into a shared object by the configured C++ compiler, under a time limit, in
// a private work folder of the cache with the embedded headers; the object is
// kept in the cache (object_cache.h) and loaded from the very bytes that were
// checked against its digest.
#include "jit/runtime_transform.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <sstream>
#include <stdexcept>

#include "jit/child_process.h"
#include "jit/cuda_module.h"
#include "jit/embedded_headers.h"
#include "jit/expression.h"
#include "jit/jit_config.h"
#include "jit/object_cache.h"
#include "jit/sha256.h"
#include "orvane/error.h"
#include "orvane/version.h"

extern char** environ;

namespace orvane {
namespace jit {
namespace {

// Raised whenever the generated code or the loading contract changes, so that
// objects of an older layout are never loaded.
const int kAbi = 6;
const char* const kGeneratedName = "orvane-runtime-transform.cpp";
// The status of an entry point whose call met an exception of the
// statements; orvane_jit_thrown then says which (no GPU runtime status is it).
const int kThrownStatus = 1000000;

[[noreturn]] void refuse(const std::string& message) { throw Error(ErrorKind::kParameters, message); }

// A name inside a #line directive: printable ASCII, quotes and backslashes escaped.
std::string lineName(const std::string& name) {
  std::string out;
  for (unsigned char c : name) {
    if (c == '"' || c == '\\') out += '\\';
    out += (c >= 0x20 && c < 0x7f) ? char(c) : '?';
  }
  return out;
}

// The compiler: the build's own, or ORVANE_JIT_CXX where that names another.
std::string compiler() {
  const char* chosen = std::getenv("ORVANE_JIT_CXX");
  return chosen != nullptr && chosen[0] != '\0' ? chosen : ORVANE_JIT_COMPILER;
}

// The optimiser's time grows faster than the source: large generated sources
// are compiled at -O1, very large ones at -O0, so that compile time stays
// roughly proportional to the formula (a 64 KB formula in seconds). Every
// level keeps the same IEEE arithmetic (no contraction, no reassociation), so
// the numbers are the same; only the speed of the object differs.
constexpr std::size_t kLargeSourceBytes = 16 << 10;
constexpr std::size_t kVeryLargeSourceBytes = 128 << 10;

std::vector<std::string> compileCommand(const std::string& source, const std::string& object,
                                        const std::string& includeDir) {
  std::vector<std::string> argv{compiler()};
  for (const char* flag : {ORVANE_JIT_FLAGS}) argv.push_back(flag);
  if (source.size() > kVeryLargeSourceBytes) {
    argv.push_back("-O0");
  } else if (source.size() > kLargeSourceBytes) {
    argv.push_back("-O1");
  }
  argv.push_back("-DORVANE_SINGLE=" + std::to_string(ORVANE_SINGLE));
  for (const std::string& a : {"-I" + includeDir, std::string("-fPIC"), std::string("-shared"),
                               std::string("-o"), object, std::string("-x"), std::string("c++")})
    argv.push_back(a);
  return argv;
}

// What identifies the compiler: its resolved path, size and modification time.
std::string compilerIdentity() {
  char resolved[PATH_MAX];
  std::string path = realpath(compiler().c_str(), resolved) != nullptr ? resolved : compiler();
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return path;
  return path + " " + std::to_string((long long)st.st_size) + " " + std::to_string((long long)st.st_mtime);
}

typedef int (*SampleRowsFn)(const detail::SampleRows*, double2*, const double*, int);
typedef int (*EvaluateFn)(const double2*, long long, double2*, const double*, int);
typedef int (*AbiFn)();
typedef void (*ThrownFn)(char*, int);

// A loaded object's entry points.
struct Entries {
  SampleRowsFn sampleRows = nullptr;
  EvaluateFn evaluate = nullptr;
  ThrownFn thrown = nullptr;
};

// The entry points of the object at `path`; false (and the handle closed)
// when it is not a usable object of this layout, with *why set.
bool loadPath(const std::string& path, void** handle, Entries* entries, std::string* why) {
  *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (*handle == nullptr) {
    const char* error = dlerror();
    *why = error != nullptr ? error : "it cannot be loaded";
    return false;
  }
  AbiFn abi = reinterpret_cast<AbiFn>(dlsym(*handle, "orvane_jit_abi"));
  entries->sampleRows = reinterpret_cast<SampleRowsFn>(dlsym(*handle, "orvane_jit_sample_rows"));
  entries->evaluate = reinterpret_cast<EvaluateFn>(dlsym(*handle, "orvane_jit_evaluate"));
  entries->thrown = reinterpret_cast<ThrownFn>(dlsym(*handle, "orvane_jit_thrown"));
  if (abi == nullptr || entries->sampleRows == nullptr || entries->evaluate == nullptr ||
      entries->thrown == nullptr || abi() != kAbi) {
    dlclose(*handle);
    *handle = nullptr;
    *why = "it is not an object of this version";
    return false;
  }
  return true;
}

// Loads an object from the bytes that were checked: they are copied into a
// sealed memory file, which nothing can change, and that file is loaded as
// /proc/self/fd/N. The loader knows objects by name, so N must be a number no
// loaded object was opened under: *keepFd is that descriptor, to be closed
// only after the object is unloaded. Where memory files are not to be had, a
// private file in a work folder of `cache` takes its place (*keepFd -1).
bool loadBytes(const std::string& bytes, const CacheFolder& cache, void** handle, Entries* entries,
               int* keepFd, std::string* why) {
  *keepFd = -1;
  int fd = memfd_create("orvane-transform", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (fd >= 0) {
    bool ok = true;
    for (std::size_t done = 0; ok && done < bytes.size();) {
      const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      ok = n > 0;
      done += ok ? std::size_t(n) : 0;
    }
    ok = ok && fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) == 0;
    std::string path = "/proc/self/fd/" + std::to_string(fd);
    ok = ok && access(path.c_str(), R_OK) == 0;
    // A name that an object still loaded was opened under is taken: another number.
    for (int tries = 0; ok && tries < 256; ++tries) {
      void* loaded = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
      if (loaded == nullptr) break;
      dlclose(loaded);
      const int other = fcntl(fd, F_DUPFD_CLOEXEC, fd + 1);
      close(fd);
      fd = other;
      ok = fd >= 0;
      path = "/proc/self/fd/" + std::to_string(fd);
    }
    if (ok) {
      const bool loaded = loadPath(path, handle, entries, why);
      if (loaded) {
        *keepFd = fd;
      } else {
        close(fd);
      }
      return loaded;
    }
    if (fd >= 0) close(fd);
  }
  const std::string work = cache.makeWorkFolder();
  const std::string path = work + "/transform.so";
  const int out = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  const bool written = out >= 0 && write(out, bytes.data(), bytes.size()) == ssize_t(bytes.size());
  if (out >= 0) close(out);
  const bool loaded = written && loadPath(path, handle, entries, why);
  if (!written) *why = "it cannot be written to a private file";
  cache.removeWorkFolder(work);
  return loaded;
}

class LoadedTransform final : public Transform {
 public:
  LoadedTransform(void* handle, int fd, Entries entries, std::vector<double> params, std::string origin)
      : handle_(handle), fd_(fd), entries_(entries), params_(std::move(params)), origin_(std::move(origin)) {}
  ~LoadedTransform() override {
    dlclose(handle_);
    if (fd_ >= 0) close(fd_);
  }
  int sampleRows(const detail::SampleRows& rows, double2* devSamples) const override {
    return checked(entries_.sampleRows(&rows, devSamples, params_.data(), int(params_.size())));
  }
  int evaluate(const double2* devPoints, long long count, double2* devValues) const override {
    return checked(entries_.evaluate(devPoints, count, devValues, params_.data(), int(params_.size())));
  }

 private:
  // An exception of the statements, caught inside the object, ends the call
  // here with the words the object kept.
  int checked(int status) const {
    if (status != kThrownStatus) return status;
    char what[1024] = {};
    entries_.thrown(what, int(sizeof what));
    throw Error(ErrorKind::kParameters, "the transform " + origin_ + " threw " + what);
  }
  void* handle_;
  int fd_;  // the memory file it was loaded from, or -1
  Entries entries_;
  std::vector<double> params_;
  std::string origin_;
};

// The compiler's diagnostics about the user's own lines (those that name
// `origin`), or all of it when none does; at most 40 lines.
std::string diagnostics(const std::string& output, const std::string& origin) {
  std::string mine, all, line;
  std::stringstream in(output);
  int kept = 0, total = 0;
  while (std::getline(in, line)) {
    if (total++ < 40) all += line + "\n";
    if (line.find(lineName(origin) + ":") != std::string::npos && kept++ < 40) mine += line + "\n";
  }
  return mine.empty() ? all : mine;
}

bool writeFile(const std::string& path, const void* data, std::size_t size) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const bool ok = write(fd, data, size) == ssize_t(size);
  return close(fd) == 0 && ok;
}

// A compile that failed for want of room or of a writable folder, not for
// its source: the caller compiles again in a private temporary folder.
class NoRoom : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Whether the compiler's words say that it could not write its files.
bool outOfRoom(const std::string& output) {
  for (int code : {ENOSPC, EDQUOT, EFBIG, EROFS}) {
    if (output.find(std::strerror(code)) != std::string::npos) return true;
  }
  return false;
}

// A work folder of the cache, removed with everything in it on every way out.
class WorkFolder {
 public:
  explicit WorkFolder(const CacheFolder& cache) : cache_(cache), path_(made(cache)) {}
  ~WorkFolder() { cache_.removeWorkFolder(path_); }
  const std::string& path() const { return path_; }

 private:
  static std::string made(const CacheFolder& cache) {
    try {
      return cache.makeWorkFolder();
    } catch (const Error& e) {
      throw NoRoom(e.what());
    }
  }
  const CacheFolder& cache_;
  std::string path_;
};

// Writes the embedded headers under `dir`; false when they cannot be written.
bool writeHeaders(const std::string& dir) {
  for (int k = 0; k < kEmbeddedHeaderCount; ++k) {
    const std::string name = kEmbeddedHeaders[k].name;
    for (std::size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1))
      mkdir((dir + "/" + name.substr(0, slash)).c_str(), 0700);
    if (!writeFile(dir + "/" + name, kEmbeddedHeaders[k].data, kEmbeddedHeaders[k].size)) return false;
  }
  return true;
}

// The environment of the compiler: this one, with its temporary files in
// `dir`, and, where this one has no PATH or an empty one, the compiler's own
// folder and the system's default path, where the driver finds as and ld.
std::vector<std::string> compilerEnvironment(const std::string& dir) {
  std::vector<std::string> env;
  bool path = false;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "TMPDIR=", 7) == 0 || std::strcmp(*e, "PATH=") == 0) continue;
    path = path || std::strncmp(*e, "PATH=", 5) == 0;
    env.push_back(*e);
  }
  env.push_back("TMPDIR=" + dir);
  if (!path) {
    char system[256] = "/bin:/usr/bin";
    confstr(_CS_PATH, system, sizeof system);
    const std::string own = compiler().substr(0, compiler().rfind('/'));
    env.push_back("PATH=" + (own.empty() ? std::string() : own + ":") + system);
  }
  return env;
}

// Compiles the source into an object in a work folder of the cache and
// returns the object's bytes. The compiler runs under a time limit and is
// killed, and the folder removed, on any failure or interruption.
std::string build(const std::string& source, const CacheFolder& cache, const std::string& origin) {
  const double timeout = compileTimeout();
  const WorkFolder work(cache);
  const std::string sourcePath = work.path() + "/transform.cpp";
  const std::string objectPath = work.path() + "/transform.so";
  const std::string includeDir = work.path() + "/include";
  if (mkdir(includeDir.c_str(), 0700) != 0 || !writeFile(sourcePath, source.data(), source.size()) ||
      !writeHeaders(includeDir))
    throw NoRoom("cannot write the transform's source and headers in " + work.path() + ": " + std::strerror(errno));
  std::vector<std::string> argv = compileCommand(source, objectPath, includeDir);
  argv.push_back(sourcePath);
  // On a signal the work folder goes with all it holds, the compiler's
  // temporaries (TMPDIR) included.
  const ChildResult result = runChild(argv, timeout, {work.path()}, compilerEnvironment(work.path()));
  if (result.timedOut) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", timeout);
    refuse(origin + " did not compile within " + seconds +
           " s (the limit is set by ORVANE_JIT_TIMEOUT); the compiler was stopped");
  }
  if (result.startFailed || (result.status != 0 && access(compiler().c_str(), X_OK) != 0))
    refuse("no C++ compiler at " + compiler() +
           " to compile the transform; install the compiler the program was built with "
           "(on Debian: apt-get install g++)");
  if (result.signal == SIGXFSZ || (result.status != 0 && outOfRoom(result.output)))
    throw NoRoom("the compiler of " + origin + " could not write its files in " + work.path() + ":\n" +
                 diagnostics(result.output, origin));
  if (result.signal != 0)
    refuse("the compiler of " + origin + " was ended by signal " + std::to_string(result.signal));
  if (result.status != 0) refuse(origin + " does not compile:\n" + diagnostics(result.output, origin));
  std::string object;
  const int fd = open(objectPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || std::size_t(st.st_size) > kMaxEntryBytes) {
    if (fd >= 0) close(fd);
    refuse("the compiler left no usable object for " + origin + " in " + work.path());
  }
  object.resize(std::size_t(st.st_size));
  const bool read = ::read(fd, &object[0], object.size()) == ssize_t(object.size());
  close(fd);
  if (!read) refuse("cannot read the compiled transform in " + work.path());
  // A linker that met a full disk may exit 0 all the same, with an object cut short.
  const std::string problem = objectProblem(object);
  if (!problem.empty()) throw NoRoom("the compiler left an object for " + origin + " that is not whole: " + problem);
  return object;
}

// One warning per process about a cache that is not used, and why.
void warnOnce(const Options& options, const std::string& dir, const std::string& why) {
  static std::atomic<bool> warned{false};
  if (options.warnings == nullptr || warned.exchange(true)) return;
  *options.warnings << "orvane: warning: the transform cache " << dir << " is not used: " << why
                    << "; compiling in a private temporary folder" << std::endl;
}

// Compiles in the cache's folder where it has room and may be written, else
// (and, for the rest of the process, after a compile there ran out of room)
// in a private temporary folder, with one warning.
std::string buildSomewhere(const std::string& source, const CacheFolder& cache, const std::string& origin,
                           const Options& options) {
  static std::atomic<bool> noRoom{false};
  std::string why = cache.temporary() || noRoom ? "" : cache.workProblem();
  if (why.empty() && !noRoom) {
    try {
      return build(source, cache, origin);
    } catch (const NoRoom& e) {
      if (cache.temporary()) refuse(e.what());
      why = e.what();
    }
  }
  if (!noRoom.exchange(true)) warnOnce(options, cache.path(), why);
  const CacheFolder scratch;
  try {
    return build(source, scratch, origin);
  } catch (const NoRoom& e) {
    refuse(e.what());
  }
}

// What the entry of an object depends on besides the source: the engine's
// version and ABI, the embedded headers, and the backend.
std::string keyTail() {
  return std::string("\nversion ") + ORVANE_VERSION_STRING + " abi " + std::to_string(kAbi) + " headers " +
         embeddedHeadersDigest() + " single " + std::to_string(ORVANE_SINGLE);
}

// The transform functor of the statements, shared by the host and the CUDA
// source: parameters arrive in a block of values copied into the functor.
// Every identifier of the generated code carries the prefix orvane_, which no
// parameter may take, and a parameter that is also a macro of the compiler or
// of the math headers (unix, linux, ...) is undefined first, so any name that
// passes checkParameterNames means the parameter.
std::string transformStruct(const std::string& statements, const std::string& origin,
                            const Params& params, int firstLine) {
  if (params.size() > std::size_t(kMaxParams))
    refuse("at most " + std::to_string(kMaxParams) + " parameters, not " + std::to_string(params.size()));
  std::vector<std::string> names;
  for (const auto& p : params) names.push_back(p.first);
  checkParameterNames(names);
  std::ostringstream s;
  for (const std::string& name : names) s << "#undef " << name << "\n";
  s << "struct orvane_ParamBlock {\n"
       "  double v[" << kMaxParams << "];\n"
       "};\n"
       "struct orvane_RuntimeTransform {\n"
       "  orvane_ParamBlock orvane_params;\n"
       "  ORVANE_HD wcomplex operator()(wcomplex s) const {\n";
  for (std::size_t k = 0; k < params.size(); ++k)
    s << "    const wreal " << params[k].first << " = wreal(orvane_params.v[" << k << "]);\n";
  s << "    (void)orvane_params;\n"
       "    wcomplex Fs;\n"
       "    Fs.x = 0;\n"
       "    Fs.y = 0;\n"
       "#if ORVANE_SINGLE\n"
       "#include \"jit/demote_begin.h\"\n"
       "#endif\n"
       "#line 1 \"" << lineName(origin) << "\"\n"
    << statements << "\n";
  // Back to the generated file's own numbering for what follows.
  int lines = firstLine;
  for (char c : s.str()) lines += c == '\n';
  s << "#line " << lines + 1 << " \"" << kGeneratedName << "\"\n"
    << "#if ORVANE_SINGLE\n"
       "#include \"jit/demote_end.h\"\n"
       "#endif\n"
       "    return Fs;\n"
       "  }\n"
       "};\n";
  return s.str();
}

}  // namespace

std::string defaultCacheDir() {
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/orvane";
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] != '/') {
    const struct passwd* pw = getpwuid(geteuid());
    home = pw != nullptr ? pw->pw_dir : "/tmp";
  }
  return std::string(home) + "/.cache/orvane";
}

std::string generatedSource(const std::string& statements, const std::string& origin,
                            const Params& params) {
  const std::string head =
      "// A transform given at run time, generated by Orvane (host backend).\n"
      "#include <cxxabi.h>\n"
      "#include <atomic>\n"
      "#include <cstdio>\n"
      "#include <cstdlib>\n"
      "#include <exception>\n"
      "#include <limits>\n"
      "#include <mutex>\n"
      "#include <typeinfo>\n"
      "#include \"orvane/config.h\"\n"
      "#include \"orvane/detail/sampling.h\"\n"
      "#include \"jit/complex_math.h\"\n"
      "namespace {\n";
  int lines = 0;
  for (char c : head) lines += c == '\n';
  std::ostringstream s;
  s << head << transformStruct(statements, origin, params, lines)
    << "orvane_RuntimeTransform orvane_withParams(const double* params, int count) {\n"
       "  orvane_RuntimeTransform f;\n"
       "  for (int k = 0; k < " << kMaxParams << "; ++k) f.orvane_params.v[k] = k < count ? params[k] : 0.0;\n"
       "  return f;\n"
       "}\n"
       "// An exception of the statements ends the call that met it, never the\n"
       "// process (one that left an OpenMP loop would): the element gets NaN, the\n"
       "// first exception's words are kept for orvane_jit_thrown, and the call\n"
       "// returns orvane_kThrown.\n"
       "struct orvane_Caught {\n"
       "  std::atomic<int> any{0};\n"
       "};\n"
       "std::mutex orvane_thrownLock;\n"
       "char orvane_thrownWhat[1024];\n"
       "void orvane_keep(orvane_Caught* caught, wcomplex s) noexcept {\n"
       "  if (caught->any.exchange(1) != 0) return;\n"
       "  char what[768] = \"an exception that is not a std::exception\";\n"
       "  try {\n"
       "    throw;\n"
       "  } catch (const std::exception& e) {\n"
       "    int status = 0;\n"
       "    char* name = abi::__cxa_demangle(typeid(e).name(), nullptr, nullptr, &status);\n"
       "    std::snprintf(what, sizeof what, \"%s (%s)\", name != nullptr ? name : typeid(e).name(), e.what());\n"
       "    std::free(name);\n"
       "  } catch (...) {\n"
       "  }\n"
       "  std::lock_guard<std::mutex> lock(orvane_thrownLock);\n"
       "  std::snprintf(orvane_thrownWhat, sizeof orvane_thrownWhat, \"%s at s = %.17g%+.17gi\", what, double(s.x),\n"
       "                double(s.y));\n"
       "}\n"
       "struct orvane_Guarded {\n"
       "  orvane_RuntimeTransform f;\n"
       "  orvane_Caught* caught;\n"
       "  wcomplex operator()(wcomplex s) const {\n"
       "    try {\n"
       "      return f(s);\n"
       "    } catch (...) {\n"
       "      orvane_keep(caught, s);\n"
       "      wcomplex nan;\n"
       "      nan.x = nan.y = std::numeric_limits<wreal>::quiet_NaN();\n"
       "      return nan;\n"
       "    }\n"
       "  }\n"
       "};\n"
       "const int orvane_kThrown = " << kThrownStatus << ";\n"
       "}  // namespace\n"
       "extern \"C\" int orvane_jit_abi() { return " << kAbi << "; }\n"
       "extern \"C\" int orvane_jit_sample_rows(const orvane::detail::SampleRows* rows, double2* devSamples,\n"
       "                                        const double* params, int count) {\n"
       "  orvane_Caught caught;\n"
       "  const orvane_Guarded f{orvane_withParams(params, count), &caught};\n"
       "  const int status = orvane::detail::launchSampling(f, *rows, devSamples);\n"
       "  return caught.any.load() != 0 ? orvane_kThrown : status;\n"
       "}\n"
       "extern \"C\" int orvane_jit_evaluate(const double2* devPoints, long long n, double2* devValues,\n"
       "                                     const double* params, int count) {\n"
       "  orvane_Caught caught;\n"
       "  const orvane_Guarded f{orvane_withParams(params, count), &caught};\n"
       "  const int status = orvane::detail::launchEvaluation(f, devPoints, n, devValues);\n"
       "  return caught.any.load() != 0 ? orvane_kThrown : status;\n"
       "}\n"
       "extern \"C\" void orvane_jit_thrown(char* text, int size) {\n"
       "  std::lock_guard<std::mutex> lock(orvane_thrownLock);\n"
       "  std::snprintf(text, size_t(size), \"%s\", orvane_thrownWhat);\n"
       "}\n";
  return s.str();
}

std::string generatedCudaSource(const std::string& statements, const std::string& origin,
                                const Params& params) {
  const std::string head =
      "// A transform given at run time, generated by Orvane (CUDA backend, NVRTC).\n"
      "#include \"orvane/config.h\"\n"
      "#include \"orvane/detail/sampling.h\"\n"
      "#include \"jit/complex_math.h\"\n";
  int lines = 0;
  for (char c : head) lines += c == '\n';
  std::ostringstream s;
  s << head << transformStruct(statements, origin, params, lines)
    << "// The sampling kernel: wfnsampleFS over the rows, a grid-stride loop.\n"
       "extern \"C\" __global__ void orvane_jit_sample(int Nsamples, int Nsigma, int Nb, double sigmin,\n"
       "                                             double sigmax, double bmax, int rowBegin, int rowCount,\n"
       "                                             double2* devSamples, orvane_RuntimeTransform f) {\n"
       "  orvane::detail::Grid grid;\n"
       "  grid.sigmin = sigmin;\n"
       "  grid.sigmax = sigmax;\n"
       "  grid.Nsigma = Nsigma;\n"
       "  grid.bmax = bmax;\n"
       "  grid.Nb = Nb;\n"
       "  const long long total = (long long)Nsamples * rowCount;\n"
       "  const long long stride = (long long)blockDim.x * gridDim.x;\n"
       "  for (long long e = (long long)blockIdx.x * blockDim.x + threadIdx.x; e < total; e += stride) {\n"
       "    const int y = (int)(e / Nsamples);\n"
       "    const int k = (int)(e - (long long)y * Nsamples);\n"
       "    orvane::detail::wfnsampleFS(f, k, y, rowBegin, Nsamples, grid, nullptr, devSamples);\n"
       "  }\n"
       "}\n"
       "// F at points: element e reads devPoints[e] and writes devValues[e].\n"
       "extern \"C\" __global__ void orvane_jit_evaluate(const double2* devPoints, long long n,\n"
       "                                               double2* devValues, orvane_RuntimeTransform f) {\n"
       "  const long long stride = (long long)blockDim.x * gridDim.x;\n"
       "  for (long long e = (long long)blockIdx.x * blockDim.x + threadIdx.x; e < n; e += stride) {\n"
       "    wcomplex s;\n"
       "    s.x = wreal(devPoints[e].x);\n"
       "    s.y = wreal(devPoints[e].y);\n"
       "    const wcomplex Fs = f(s);\n"
       "    devValues[e].x = double(Fs.x);\n"
       "    devValues[e].y = double(Fs.y);\n"
       "  }\n"
       "}\n";
  return s.str();
}

#if defined(ORVANE_BACKEND_CUDA)
namespace {

// The PTX of the statements for device 0, from the cache when a checked entry
// is there, else compiled by NVRTC and kept.
std::unique_ptr<Transform> compileForGpu(const std::string& statements, const std::string& origin,
                                         const Params& params, const std::vector<double>& values,
                                         const CacheFolder& cache, const Options& options) {
  int major = 0, minor = 0;
  if (!deviceCapability(&major, &minor)) refuse("the GPU cannot be described to compile the transform for it");
  const std::string source = generatedCudaSource(statements, origin, params);
  const std::string key = source + " nvrtc " + std::to_string(major) + "." + std::to_string(minor) + keyTail();
  const std::string entry = sha256Hex(key).substr(0, 32) + ".ptx";
  std::string ptx, problem;
  if (!cache.read(entry, &ptx, &problem) && !problem.empty() && options.warnings != nullptr)
    *options.warnings << "orvane: warning: the cached transform " << cache.path() << "/" << entry << " "
                      << problem << "; rebuilt" << std::endl;
  std::unique_ptr<Transform> loaded;
  if (!ptx.empty()) {
    try {
      loaded = loadPtx(ptx, values);
    } catch (const Error&) {
      ptx.clear();  // checked, yet not loadable here: rebuilt
    }
  }
  if (!loaded) {
    ptx = compileToPtx(source, origin, major, minor);
    cache.write(entry, ptx);
    loaded = loadPtx(ptx, values);
  }
  return loaded;
}

}  // namespace
#endif

std::unique_ptr<Transform> compileStatements(const std::string& statements,
                                             const std::string& origin, const Params& params,
                                             const Options& options) {
  const std::string source = generatedSource(statements, origin, params);
  std::vector<double> values;
  for (const auto& p : params) values.push_back(p.second);

  const std::string dir = options.cacheDir.empty() ? defaultCacheDir() : options.cacheDir;
  std::string why;
  const CacheFolder cache(dir, &why);
  if (!why.empty()) warnOnce(options, dir, why);
#if defined(ORVANE_BACKEND_CUDA)
  return compileForGpu(statements, origin, params, values, cache, options);
#endif
  std::string key = source + "\n" + compilerIdentity();
  for (const char* flag : {ORVANE_JIT_FLAGS}) key += std::string(" ") + flag;
  key += keyTail() + " host";
  const std::string entry = sha256Hex(key).substr(0, 32) + ".so";

  void* handle = nullptr;
  int fd = -1;
  Entries entries;
  std::string object, problem, failure;
  bool loaded = false;
  if (cache.read(entry, &object, &problem)) {
    // A checked entry that still does not load (another machine's object,
    // say) is rebuilt.
    loaded = loadBytes(object, cache, &handle, &entries, &fd, &failure);
  } else if (!problem.empty() && options.warnings != nullptr) {
    *options.warnings << "orvane: warning: the cached transform " << cache.path() << "/" << entry << " "
                      << problem << "; rebuilt" << std::endl;
  }
  if (!loaded) {
    object = buildSomewhere(source, cache, origin, options);
    if (!loadBytes(object, cache, &handle, &entries, &fd, &failure))
      refuse("the compiled transform of " + origin + " cannot be loaded: " + failure);
    cache.write(entry, object);
  }
  return std::unique_ptr<Transform>(new LoadedTransform(handle, fd, entries, std::move(values), origin));
}

}  // namespace jit
}  // namespace orvane
