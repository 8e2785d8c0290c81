// Run-time transforms on the host backend: the generated source is compiled
// into a shared object by the configured C++ compiler, kept in a private cache
// and loaded with dlopen. Only objects in a folder and files that belong to the
// user and that nobody else may write are ever loaded.
#include "jit/runtime_transform.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <ostream>
#include <sstream>

#include "jit/cuda_module.h"
#include "jit/jit_config.h"
#include "orvane/error.h"

namespace orvane {
namespace jit {
namespace {

// Raised whenever the generated code or the loading contract changes, so that
// objects of an older layout are never loaded.
const int kAbi = 4;
const char* const kGeneratedName = "orvane-runtime-transform.cpp";

[[noreturn]] void refuse(const std::string& message) { throw Error(ErrorKind::kParameters, message); }

bool isIdentifier(const std::string& name) {
  if (name.empty() || !(std::isalpha((unsigned char)name[0]) || name[0] == '_')) return false;
  for (char c : name)
    if (!(std::isalnum((unsigned char)c) || c == '_')) return false;
  return true;
}

// A name inside a #line directive: printable ASCII, quotes and backslashes escaped.
std::string lineName(const std::string& name) {
  std::string out;
  for (unsigned char c : name) {
    if (c == '"' || c == '\\') out += '\\';
    out += (c >= 0x20 && c < 0x7f) ? char(c) : '?';
  }
  return out;
}

std::uint64_t fnv1a(const std::string& text, std::uint64_t h = 1469598103934665603ULL) {
  for (unsigned char c : text) {
    h ^= c;
    h *= 1099511628211ULL;
  }
  return h;
}

std::string hex(std::uint64_t v) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", (unsigned long long)v);
  return text;
}

// The compiler: the build's own, or ORVANE_JIT_CXX where that names another.
std::string compiler() {
  const char* chosen = std::getenv("ORVANE_JIT_CXX");
  return chosen != nullptr && chosen[0] != '\0' ? chosen : ORVANE_JIT_COMPILER;
}

std::vector<std::string> compileCommand(const std::string& source, const std::string& object) {
  std::vector<std::string> argv{compiler()};
  for (const char* flag : {ORVANE_JIT_FLAGS}) argv.push_back(flag);
  argv.push_back("-DORVANE_SINGLE=" + std::to_string(ORVANE_SINGLE));
  for (const char* dir : {ORVANE_JIT_INCLUDES}) argv.push_back(std::string("-I") + dir);
  for (const std::string& a : {std::string("-fPIC"), std::string("-shared"), std::string("-o"), object,
                               std::string("-x"), std::string("c++"), source})
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

// Runs argv (no shell); returns its exit status (-1 when it could not run) and its output.
int run(const std::vector<std::string>& argv, std::string& output) {
  int pipeFd[2];
  if (pipe(pipeFd) != 0) return -1;
  const pid_t child = fork();
  if (child < 0) {
    close(pipeFd[0]);
    close(pipeFd[1]);
    return -1;
  }
  if (child == 0) {
    dup2(pipeFd[1], 1);
    dup2(pipeFd[1], 2);
    close(pipeFd[0]);
    close(pipeFd[1]);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(pipeFd[1]);
  char buffer[4096];
  ssize_t got;
  while ((got = read(pipeFd[0], buffer, sizeof buffer)) != 0) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) break;
    if (output.size() < (1u << 20)) output.append(buffer, std::size_t(got));
  }
  close(pipeFd[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A folder or file that this user owns and that nobody else may write.
bool ownedPrivately(const struct stat& st) {
  return st.st_uid == geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Makes `dir` (and missing parents) and says whether it can be trusted.
bool privateFolder(const std::string& dir) {
  std::string partial;
  std::stringstream parts(dir);
  std::string part;
  if (!dir.empty() && dir[0] == '/') partial = "";
  while (std::getline(parts, part, '/')) {
    if (part.empty()) continue;
    partial += "/" + part;
    if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st;
  return lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ownedPrivately(st);
}

typedef int (*SampleRowsFn)(const detail::SampleRows*, double2*, const double*, int);
typedef int (*EvaluateFn)(const double2*, long long, double2*, const double*, int);
typedef int (*AbiFn)();

// A loaded object's entry points.
struct Entries {
  SampleRowsFn sampleRows = nullptr;
  EvaluateFn evaluate = nullptr;
};

// The entry points of a loaded object; false (and the handle closed) when
// the file is not a usable object of this layout.
bool load(const std::string& path, void** handle, Entries* entries) {
  *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (*handle == nullptr) return false;
  AbiFn abi = reinterpret_cast<AbiFn>(dlsym(*handle, "orvane_jit_abi"));
  entries->sampleRows = reinterpret_cast<SampleRowsFn>(dlsym(*handle, "orvane_jit_sample_rows"));
  entries->evaluate = reinterpret_cast<EvaluateFn>(dlsym(*handle, "orvane_jit_evaluate"));
  if (abi == nullptr || entries->sampleRows == nullptr || entries->evaluate == nullptr ||
      abi() != kAbi) {
    dlclose(*handle);
    *handle = nullptr;
    return false;
  }
  return true;
}

class LoadedTransform final : public Transform {
 public:
  LoadedTransform(void* handle, Entries entries, std::vector<double> params)
      : handle_(handle), entries_(entries), params_(std::move(params)) {}
  ~LoadedTransform() override { dlclose(handle_); }
  int sampleRows(const detail::SampleRows& rows, double2* devSamples) const override {
    return entries_.sampleRows(&rows, devSamples, params_.data(), int(params_.size()));
  }
  int evaluate(const double2* devPoints, long long count, double2* devValues) const override {
    return entries_.evaluate(devPoints, count, devValues, params_.data(), int(params_.size()));
  }

 private:
  void* handle_;
  Entries entries_;
  std::vector<double> params_;
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

// Compiles the source into `object` (written to a temporary name beside it and
// renamed, so that no one ever loads half an object).
void build(const std::string& source, const std::string& dir, const std::string& object,
           const std::string& origin) {
  std::string sourcePath = dir + "/build-XXXXXX";
  std::vector<char> name(sourcePath.begin(), sourcePath.end());
  name.push_back('\0');
  const int fd = mkstemp(name.data());
  if (fd < 0) refuse("cannot write the transform's source in " + dir + ": " + std::strerror(errno));
  sourcePath = name.data();
  const bool written = write(fd, source.data(), source.size()) == ssize_t(source.size());
  close(fd);
  const std::string temporary = sourcePath + ".so";
  std::string output;
  int status = -1;
  if (written) status = run(compileCommand(sourcePath, temporary), output);
  unlink(sourcePath.c_str());
  if (!written) refuse("cannot write the transform's source in " + dir);
  if (status != 0) {
    unlink(temporary.c_str());
    if (access(compiler().c_str(), X_OK) != 0)
      refuse("no C++ compiler at " + compiler() +
             " to compile the transform; install the compiler the program was built with "
             "(on Debian: apt-get install g++)");
    refuse(origin + " does not compile:\n" + diagnostics(output, origin));
  }
  if (std::rename(temporary.c_str(), object.c_str()) != 0) {
    unlink(temporary.c_str());
    refuse("cannot keep the compiled transform in " + dir + ": " + std::strerror(errno));
  }
}

// The transform functor of the statements, shared by the host and the CUDA
// source: parameters arrive in a block of values copied into the functor.
std::string transformStruct(const std::string& statements, const std::string& origin,
                            const Params& params, int firstLine) {
  if (params.size() > std::size_t(kMaxParams))
    refuse("at most " + std::to_string(kMaxParams) + " parameters, not " + std::to_string(params.size()));
  std::ostringstream s;
  s << "struct ParamBlock {\n"
       "  double v[" << kMaxParams << "];\n"
       "};\n"
       "struct RuntimeTransform {\n"
       "  ParamBlock orvane_params;\n"
       "  ORVANE_HD wcomplex operator()(wcomplex s) const {\n";
  for (std::size_t k = 0; k < params.size(); ++k) {
    if (!isIdentifier(params[k].first)) refuse("'" + params[k].first + "' is not a parameter name");
    s << "    const wreal " << params[k].first << " = wreal(orvane_params.v[" << k << "]);\n";
  }
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
      "#include \"orvane/config.h\"\n"
      "#include \"orvane/detail/sampling.h\"\n"
      "#include \"jit/complex_math.h\"\n"
      "namespace {\n";
  int lines = 0;
  for (char c : head) lines += c == '\n';
  std::ostringstream s;
  s << head << transformStruct(statements, origin, params, lines)
    << "RuntimeTransform withParams(const double* params, int count) {\n"
       "  RuntimeTransform f;\n"
       "  for (int k = 0; k < " << kMaxParams << "; ++k) f.orvane_params.v[k] = k < count ? params[k] : 0.0;\n"
       "  return f;\n"
       "}\n"
       "}  // namespace\n"
       "extern \"C\" int orvane_jit_abi() { return " << kAbi << "; }\n"
       "extern \"C\" int orvane_jit_sample_rows(const orvane::detail::SampleRows* rows, double2* devSamples,\n"
       "                                        const double* params, int count) {\n"
       "  return orvane::detail::launchSampling(withParams(params, count), *rows, devSamples);\n"
       "}\n"
       "extern \"C\" int orvane_jit_evaluate(const double2* devPoints, long long n, double2* devValues,\n"
       "                                     const double* params, int count) {\n"
       "  return orvane::detail::launchEvaluation(withParams(params, count), devPoints, n, devValues);\n"
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
       "                                             double2* devSamples, RuntimeTransform f) {\n"
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
       "                                               double2* devValues, RuntimeTransform f) {\n"
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

// The PTX of the statements for device 0, from the cache when a trusted entry
// is there, else compiled by NVRTC and kept (written to a temporary name and
// renamed).
std::unique_ptr<Transform> compileForGpu(const std::string& statements, const std::string& origin,
                                         const Params& params, const std::vector<double>& values,
                                         const std::string& dir, bool privateTemporary,
                                         const Options& options) {
  int major = 0, minor = 0;
  if (!deviceCapability(&major, &minor)) refuse("the GPU cannot be described to compile the transform for it");
  const std::string source = generatedCudaSource(statements, origin, params);
  const std::string key = source + " nvrtc " + std::to_string(major) + "." + std::to_string(minor) +
                          " " + std::to_string(ORVANE_SINGLE);
  const std::string entry = dir + "/" + hex(fnv1a(key)) + ".ptx";
  std::string ptx;
  struct stat st;
  if (lstat(entry.c_str(), &st) == 0) {
    if (S_ISREG(st.st_mode) && ownedPrivately(st)) {
      std::ifstream in(entry, std::ios::binary);
      std::ostringstream text;
      text << in.rdbuf();
      ptx = text.str();
    } else if (options.warnings != nullptr) {
      *options.warnings << "orvane: warning: " << entry
                        << " does not belong to this user alone; not loaded, rebuilt" << std::endl;
    }
  }
  std::unique_ptr<Transform> loaded;
  if (!ptx.empty()) {
    try {
      loaded = loadPtx(ptx, values);
    } catch (const Error&) {
      ptx.clear();  // a corrupt entry is rebuilt
    }
  }
  if (!loaded) {
    ptx = compileToPtx(source, origin, major, minor);
    if (!privateTemporary) {
      const std::string temporary = entry + ".tmp" + std::to_string(getpid());
      std::ofstream out(temporary, std::ios::binary);
      out << ptx;
      out.close();
      if (!out || std::rename(temporary.c_str(), entry.c_str()) != 0) unlink(temporary.c_str());
    }
    loaded = loadPtx(ptx, values);
  }
  if (privateTemporary) rmdir(dir.c_str());
  return loaded;
}

}  // namespace
#endif

std::unique_ptr<Transform> compileStatements(const std::string& statements,
                                             const std::string& origin, const Params& params,
                                             const Options& options) {
  const std::string source = generatedSource(statements, origin, params);
  std::string key = source + "\n" + compilerIdentity() + "\n" + std::to_string(ORVANE_SINGLE);
  for (const char* flag : {ORVANE_JIT_FLAGS}) key += std::string(" ") + flag;
  for (const char* dir : {ORVANE_JIT_INCLUDES}) key += std::string(" ") + dir;
  key += " host";
  std::vector<double> values;
  for (const auto& p : params) values.push_back(p.second);

  std::string dir = options.cacheDir.empty() ? defaultCacheDir() : options.cacheDir;
  bool privateTemporary = false;
  if (!privateFolder(dir)) {
    if (options.warnings != nullptr)
      *options.warnings << "orvane: warning: the transform cache " << dir
                        << " is not private to this user; compiling in a temporary folder"
                        << std::endl;
    char scratch[] = "/tmp/orvane-jit-XXXXXX";
    if (mkdtemp(scratch) == nullptr) refuse("cannot make a private folder to compile the transform in");
    dir = scratch;
    privateTemporary = true;
  }
#if defined(ORVANE_BACKEND_CUDA)
  return compileForGpu(statements, origin, params, values, dir, privateTemporary, options);
#endif
  const std::string object = dir + "/" + hex(fnv1a(key)) + ".so";

  void* handle = nullptr;
  Entries entries;
  bool loaded = false;
  struct stat st;
  if (lstat(object.c_str(), &st) == 0) {
    if (S_ISREG(st.st_mode) && ownedPrivately(st)) {
      loaded = load(object, &handle, &entries);
      // A corrupt or outdated entry is rebuilt.
      if (!loaded) unlink(object.c_str());
    } else {
      if (options.warnings != nullptr)
        *options.warnings << "orvane: warning: " << object
                          << " does not belong to this user alone; not loaded, rebuilt" << std::endl;
      unlink(object.c_str());
    }
  }
  if (!loaded) {
    build(source, dir, object, origin);
    if (!load(object, &handle, &entries)) {
      const char* why = dlerror();
      refuse("the compiled transform " + object + " cannot be loaded: " +
             (why != nullptr ? why : "it is not an object of this version"));
    }
  }
  if (privateTemporary) {
    unlink(object.c_str());
    rmdir(dir.c_str());
  }
  return std::unique_ptr<Transform>(new LoadedTransform(handle, entries, std::move(values)));
}

}  // namespace jit
}  // namespace orvane
