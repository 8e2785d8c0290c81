// The reader of a parameter file. The file has fixed line positions: each
// value (or list of values) follows a fixed number of caption lines, which are
// discarded unread. Values are checked strictly, so that a typo is reported at
// its line instead of silently shifting every later value.
#include "vocabulary/parameter_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <iomanip>
#include <new>
#include <sstream>

namespace orvane {
namespace detail {

namespace {

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Advances over one or more digits; false when there is none.
bool skipDigits(const std::string& t, std::size_t& i) {
  std::size_t start = i;
  while (i < t.size() && isDigit(t[i])) ++i;
  return i > start;
}

// [+-]digits
bool integerSyntax(const std::string& t) {
  std::size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  return skipDigits(t, i) && i == t.size();
}

// The usual decimal forms: [+-]digits[.[digits]][e[+-]digits] or
// [+-].digits[e[+-]digits] ("0.5", ".5", "5.", "5.e3"); no "nan" or "inf", no
// hexadecimal, and at least one digit in the mantissa.
bool realSyntax(const std::string& t) {
  std::size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  const bool whole = skipDigits(t, i);
  bool fraction = false;
  if (i < t.size() && t[i] == '.') {
    ++i;
    fraction = skipDigits(t, i);
  }
  if (!whole && !fraction) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    if (!skipDigits(t, i)) return false;
  }
  return i == t.size();
}

// The search counts its grid values in an int.
const double kMaxGridCount = double(INT_MAX);

std::string formatNumber(double v) {
  std::ostringstream s;
  s << v;
  return s.str();
}

// A grid over a range of this width, at this step, as the search lays it.
std::string gridStepRule(double step, double width, const std::string& range) {
  if (!(step > 0.0)) return "a positive real number";
  const double count = std::floor(width / step);
  if (!(count >= 1.0)) return "a step that fits at least once into " + range;
  if (count > kMaxGridCount) {
    return "a step that fits at most " + std::to_string(INT_MAX) + " times into " + range;
  }
  return "";
}

}  // namespace

std::string finiteRule(double value) { return std::isfinite(value) ? "" : "a finite real number"; }

std::string inversionTimeRule(double time) {
  return time >= 0.0 ? "" : "a real number of at least 0";
}

std::string positiveRule(double value) { return value > 0.0 ? "" : "a positive real number"; }

std::string requestRule(double relErr) {
  return relErr > 0.0 && std::isfinite(relErr) ? "" : "a positive finite number (a relative error to meet, e.g. 1e-8)";
}

std::string expansionSizeRule(int size) {
  return size >= 1 ? "" : "an integer of at least 1";
}

// A range too wide for a double (say from -1e308 to 1e308) would make every
// grid count infinite.
std::string sigmaRangeRule(double sigmin, double sigmax) {
  if (std::isfinite(sigmax - sigmin)) return "";
  return "a value whose distance from the minimum sigma " + formatNumber(sigmin) +
         " is a finite number";
}

std::string sigmaStepRule(double step, double sigmin, double sigmax) {
  return gridStepRule(step, sigmax - sigmin,
                      "the sigma range from " + formatNumber(sigmin) + " to " + formatNumber(sigmax));
}

std::string bStepRule(double step, double bmax) {
  return gridStepRule(step, bmax, "the b range from 0 to " + formatNumber(bmax));
}

std::string gridWorkProblem(double sigmaStep, double bStep, double sigmin, double sigmax, double bmax,
                            int largestSize, long long maxPoints) {
  const double nSigma = std::floor((sigmax - sigmin) / sigmaStep);
  const double nB = std::floor(bmax / bStep);
  const double points = nSigma * nB;
  if (maxPoints <= 0 || points <= double(maxPoints)) return "";
  const auto g = [](double v) {
    std::ostringstream s;
    s << std::setprecision(3) << v;
    return s.str();
  };
  const double bytes = points * 8.0;
  const std::string memory = bytes >= 1e9 ? g(bytes / 1e9) + " GB" : bytes >= 1e6 ? g(bytes / 1e6) + " MB"
                                                                    : g(bytes / 1e3) + " kB";
  return formatNumber(sigmaStep) + ":" + formatNumber(bStep) + ", a grid of " + formatNumber(nSigma) + " x " +
         formatNumber(nB) + " = " + g(points) + " points: " + memory + " of estimates and " +
         g(points * 4.0 * largestSize) + " evaluations of F at N = " + std::to_string(largestSize);
}

namespace {

// Walks the text with the two steps of the format, keeping the line number.
class Reader {
 public:
  Reader(const std::string& text, const std::string& name) : text_(text), name_(name) {}

  // Throws away characters up to and including the next line end (of any
  // length). At the end of the file there is nothing to discard.
  void discardLines(int count) {
    for (int n = 0; n < count; ++n) {
      while (pos_ < text_.size()) {
        char c = text_[pos_++];
        if (c == '\n') {
          ++line_;
          break;
        }
      }
    }
  }

  // Extracts one integer; on failure sets the error and returns false.
  bool readInt(const std::string& what, int& value) {
    if (!nextToken()) return fail(what + ", an integer", foundEnd());
    if (!integerSyntax(token_)) return fail(what + ", an integer", foundToken());
    errno = 0;
    long long v = std::strtoll(token_.c_str(), nullptr, 10);
    if (errno == ERANGE || v < INT_MIN || v > INT_MAX)
      return fail(what + ", an integer", foundToken() + " (out of range)");
    value = int(v);
    return true;
  }

  // Extracts one real in fixed or exponent notation.
  bool readReal(const std::string& what, double& value) {
    if (!nextToken()) return fail(what + ", a real number", foundEnd());
    if (!realSyntax(token_)) return fail(what + ", a real number", foundToken());
    double v = std::strtod(token_.c_str(), nullptr);
    // Overflow is an error; an underflow to zero or a subnormal is kept.
    if (std::isinf(v)) return fail(what + ", a real number", foundToken() + " (out of range)");
    value = v;
    return true;
  }

  // Extracts a count of at least `minimum`. A count is refused before anything
  // is allocated when the rest of the file could not hold that many values
  // (each value needs a separator and at least one character).
  bool readCount(const std::string& what, int minimum, int& count) {
    if (!readInt(what, count)) return false;
    if (count < minimum) {
      return fail(what + ", an integer of at least " + std::to_string(minimum), foundToken());
    }
    std::size_t room = (text_.size() - pos_) / 2;
    if (std::size_t(count) > room) {
      return fail(what + ", an integer no larger than the " + std::to_string(room) +
                      " values the rest of the file could hold",
                  foundToken());
    }
    return true;
  }

  // Reads `count` reals into `values`; `what` names one element ("inversion time").
  bool readReals(const std::string& what, int count, std::vector<double>& values) {
    values.assign(std::size_t(count), 0.0);
    for (int i = 0; i < count; ++i) {
      if (!readReal(element(what, i, count), values[std::size_t(i)])) return false;
    }
    return true;
  }

  // Fails at the current token (the value last read) with this expectation.
  bool failHere(const std::string& expected) { return fail(expected, foundToken()); }

  // Applies a rule to the value last read, `what` naming it.
  bool require(const std::string& what, const std::string& broken) {
    return broken.empty() || failHere(what + ", " + broken);
  }

  static std::string element(const std::string& what, int i, int count) {
    return what + " " + std::to_string(i + 1) + " of " + std::to_string(count);
  }

  const std::string& error() const { return error_; }

 private:
  // Skips white space (line ends and carriage returns included) and takes the
  // run of characters up to the next white space. False at the end of the file.
  bool nextToken() {
    while (pos_ < text_.size() && isSpace(text_[pos_])) {
      if (text_[pos_] == '\n') ++line_;
      ++pos_;
    }
    if (pos_ >= text_.size()) return false;
    tokenLine_ = line_;
    std::size_t start = pos_;
    while (pos_ < text_.size() && !isSpace(text_[pos_])) ++pos_;
    token_ = text_.substr(start, pos_ - start);
    return true;
  }

  // The token as the message shows it: at most 40 bytes, and every byte
  // outside printable ASCII (binary garbage, a stray control character) as
  // \xNN, so that the console never receives raw bytes from the file.
  std::string foundToken() const {
    const std::size_t kShown = 40;  // a whole stray line need not be echoed
    std::string shown = "\"";
    for (std::size_t i = 0; i < token_.size() && i < kShown; ++i) {
      const unsigned char c = static_cast<unsigned char>(token_[i]);
      if (c >= 0x20 && c < 0x7f) {
        shown += char(c);
      } else {
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02X", unsigned(c));
        shown += hex;
      }
    }
    if (token_.size() > kShown) shown += "...";
    return shown + "\"";
  }

  std::string foundEnd() {
    // The end of the file lies on its last line (a final line end opens no new line).
    tokenLine_ = line_;
    if (!text_.empty() && text_.back() == '\n' && tokenLine_ > 1) --tokenLine_;
    return "the end of the file";
  }

  bool fail(const std::string& expected, const std::string& found) {
    error_ = name_ + ", line " + std::to_string(tokenLine_) +
             ": expected " + expected + ", found " + found;
    return false;
  }

  const std::string& text_;
  const std::string& name_;
  std::size_t pos_ = 0;
  int line_ = 1;
  int tokenLine_ = 1;
  std::string token_;
  std::string error_;
};

bool parseSteps(Reader& in, FileFields& p) {
  // Each step: the caption lines before the value(s) (after the first, the
  // rest of the line of the previous value counts as one), then the value(s).
  int Ntimes = 0, Nsizes = 0, Ntol = 0;
  in.discardLines(6);
  if (!in.readCount("the number of inversion times", 0, Ntimes)) return false;
  in.discardLines(3);
  p.Time.assign(std::size_t(Ntimes), 0.0);
  for (int i = 0; i < Ntimes; ++i) {
    const std::string what = Reader::element("inversion time", i, Ntimes);
    double& t = p.Time[std::size_t(i)];
    if (!in.readReal(what, t) || !in.require(what, inversionTimeRule(t))) return false;
  }
  in.discardLines(3);
  if (!in.readReals("requested relative error", Ntimes, p.RelErr)) return false;
  in.discardLines(3);
  // Any integer is read here; the run refuses values other than 0 and 1.
  if (!in.readInt("the search switch", p.SearchSwitch)) return false;
  const bool user = p.SearchSwitch == 0;
  const bool search = p.SearchSwitch == 1;
  in.discardLines(3);
  // Fewer than one size (or tolerance) would leave every result unset.
  if (!in.readCount("the number of expansion sizes", 1, Nsizes)) return false;
  in.discardLines(3);
  p.NLag.assign(std::size_t(Nsizes), 0);
  for (int j = 0; j < Nsizes; ++j) {
    const std::string what = Reader::element("expansion size", j, Nsizes);
    int& n = p.NLag[std::size_t(j)];
    if (!in.readInt(what, n) || !in.require(what, expansionSizeRule(n))) return false;
  }
  in.discardLines(5);
  if (!in.readReals("user sigma", Ntimes, p.sigmaUser)) return false;
  in.discardLines(3);
  // The user's b scales the Laguerre functions, so it must be positive when
  // it is used; with the search on it is never read again.
  p.bUser.assign(std::size_t(Ntimes), 0.0);
  for (int i = 0; i < Ntimes; ++i) {
    const std::string what = Reader::element("user b", i, Ntimes);
    double& b = p.bUser[std::size_t(i)];
    if (!in.readReal(what, b) || (user && !in.require(what, positiveRule(b)))) return false;
  }
  in.discardLines(5);
  if (!in.readCount("the number of tolerances", 1, Ntol)) return false;
  in.discardLines(3);
  if (!in.readReal("the minimum sigma", p.sigmin)) return false;
  in.discardLines(3);
  if (!in.readReal("the maximum sigma", p.sigmax)) return false;

  // With the search on, every tolerance must give a grid of at least one
  // sigma and one b value, and no more than an int can count.
  if (search && !in.require("the maximum sigma", sigmaRangeRule(p.sigmin, p.sigmax))) return false;
  in.discardLines(3);
  p.tols.assign(std::size_t(Ntol), 0.0);
  for (int k = 0; k < Ntol; ++k) {
    const std::string what = "the sigma resolution of tolerance " + std::to_string(k + 1) +
                             " of " + std::to_string(Ntol);
    double& step = p.tols[std::size_t(k)];
    if (!in.readReal(what, step)) return false;
    if (search && !in.require(what, sigmaStepRule(step, p.sigmin, p.sigmax))) return false;
  }
  in.discardLines(3);
  if (!in.readReal("the maximum b", p.bmax)) return false;
  in.discardLines(3);
  p.tolb.assign(std::size_t(Ntol), 0.0);
  for (int k = 0; k < Ntol; ++k) {
    const std::string what = "the b resolution of tolerance " + std::to_string(k + 1) + " of " +
                             std::to_string(Ntol);
    double& step = p.tolb[std::size_t(k)];
    if (!in.readReal(what, step)) return false;
    if (search && !in.require(what, bStepRule(step, p.bmax))) return false;
  }
  // The rest of the last line and anything after it is never read.
  return true;
}

}  // namespace

bool parseParameters(const std::string& text, const std::string& name, FileFields& out,
                     std::string& error) {
  Reader in(text, name);
  FileFields p;
  try {
    if (!parseSteps(in, p)) {
      error = in.error();
      return false;
    }
  } catch (const std::bad_alloc&) {
    error = name + ": not enough memory to hold the parameters";
    return false;
  }
  out = std::move(p);
  return true;
}

namespace {

// Closes a descriptor on every way out.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

FileRead readWholeFile(const char* path, std::string& text, std::size_t maxBytes) {
  text.clear();
  // O_NONBLOCK: a FIFO without a writer would otherwise hold the open until
  // one comes. Only regular files are read, and on those the flag does nothing.
  int fd;
  do {
    fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    // A socket, or a device with no driver behind it, cannot be opened at all.
    return errno == ENXIO || errno == ENODEV ? FileRead::kNotRegular : FileRead::kUnreadable;
  }
  FileDescriptor file(fd);
  struct stat info;
  if (::fstat(file.get(), &info) != 0 || S_ISDIR(info.st_mode)) return FileRead::kUnreadable;
  if (!S_ISREG(info.st_mode)) return FileRead::kNotRegular;
  if (std::uintmax_t(info.st_size) > maxBytes) return FileRead::kTooLarge;

  // The file may still grow while it is read: stop one buffer past the limit.
  text.reserve(std::size_t(info.st_size));
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      text.clear();
      return FileRead::kUnreadable;
    }
    if (got == 0) return FileRead::kRead;
    text.append(buffer, std::size_t(got));
    if (text.size() > maxBytes) {
      text.clear();
      return FileRead::kTooLarge;
    }
  }
}

}  // namespace detail
}  // namespace orvane
