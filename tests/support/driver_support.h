// Test support for the driver: a parameter file laid out like the shipped
// example with any value line replaced, a scratch folder that removes itself,
// and a run of a program as a process in such a folder.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/engine_names.h"

namespace driver_test {

// The value lines of a parameter file (the text on each line), in file order;
// the defaults are the shipped example. Value lines land on lines 7, 10, 13,
// 16, 19, 22, 27, 30, 35, 38, 41, 44, 47 and 50 while each stays one line.
struct Layout {
  std::string Ntimes = "2";
  std::string Time = "0.5 1.0";
  std::string RelErr = "1e-06 1e-06";
  std::string SearchSwitch = "1";
  std::string Nsizes = "1";
  std::string NLag = "64";
  std::string sigmaUser = "0.0 0.0";
  std::string bUser = "1.0 1.0";
  std::string Ntol = "2";
  std::string sigmin = "0.0";
  std::string sigmax = "30.0";
  std::string tols = "1.0 0.5";
  std::string bmax = "30.0";
  std::string tolb = "1.0 0.5";
  std::string caption = "# caption";  // every discarded line
  std::string eol = "\n";
  bool finalCaption = true;  // a "# end" line after the last value
};

inline std::string render(const Layout& l) {
  std::string text;
  auto captions = [&](int n) {
    for (int i = 0; i < n; ++i) text += l.caption + l.eol;
  };
  auto value = [&](const std::string& v) { text += v + l.eol; };
  captions(6);
  value(l.Ntimes);
  captions(2);
  value(l.Time);
  captions(2);
  value(l.RelErr);
  captions(2);
  value(l.SearchSwitch);
  captions(2);
  value(l.Nsizes);
  captions(2);
  value(l.NLag);
  captions(4);
  value(l.sigmaUser);
  captions(2);
  value(l.bUser);
  captions(4);
  value(l.Ntol);
  captions(2);
  value(l.sigmin);
  captions(2);
  value(l.sigmax);
  captions(2);
  value(l.tols);
  captions(2);
  value(l.bmax);
  captions(2);
  if (l.finalCaption) {
    value(l.tolb);
    text += "# end" + l.eol;
  } else {
    text += l.tolb;
  }
  return text;
}

inline std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The parameter file shipped in examples/.
inline std::string shippedExample() {
  return readText(std::string(ORVANE_SOURCE_DIR) + "/examples/UserParameters.txt");
}

inline void writeText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

// A fresh folder under the system's temporary folder, removed with its contents.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvane-test-XXXXXX").string();
    if (mkdtemp(&pattern[0]) != nullptr) path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

struct ProcessResult {
  int exitCode = -1;  // -1: the process did not exit normally
  std::string out;
  std::string err;
};

// Runs `program` in `dir` with standard input at end of file; `env` is a
// prefix of NAME=value assignments (or empty).
// `out` is where standard output goes (a shell redirection); `args` follow
// the program on its command line, as the shell reads them.
inline ProcessResult runIn(const ScratchDir& dir, const std::string& program,
                           const std::string& env = "", const std::string& out = "> stdout.txt",
                           const std::string& args = "") {
  std::string command = "cd '" + dir.path() + "' && touch stdout.txt && " +
                        (env.empty() ? "" : "env " + env + " ") + "'" + program + "' " + args +
                        " < /dev/null " + out + " 2> stderr.txt";
  int status = std::system(command.c_str());
  ProcessResult r;
  if (status != -1 && WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
  r.out = readText(dir.file("stdout.txt"));
  r.err = readText(dir.file("stderr.txt"));
  return r;
}

}  // namespace driver_test
