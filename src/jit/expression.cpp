// The formula parser (recursive descent over a lazily read token stream),
// the code generator and the evaluator of run-time transforms.
#include "jit/expression.h"

#include <charconv>
#include <cstdio>
#include <set>
#include <system_error>

#include "jit/formula_program.h"
#include "orvane/error.h"

namespace orvane {
namespace jit {

namespace {

using Kind = Expression::Kind;
using Node = Expression::Node;

struct FunctionInfo {
  const char* name;
  int arguments;
};
// The index is the node's function.
const FunctionInfo kFunctions[] = {
#define ORVANE_FUNCTION_INFO(name, arguments) {#name, arguments},
    ORVANE_EXPRESSION_FUNCTIONS(ORVANE_FUNCTION_INFO)
#undef ORVANE_FUNCTION_INFO
};
constexpr int kFunctionCount = sizeof(kFunctions) / sizeof(kFunctions[0]);

// Short names of Bessel functions of order 0 and 1: NAME(z) is FUNCTION(ORDER, z).
struct ShortName {
  const char* name;
  const char* function;
  int order;
};
const ShortName kShortNames[] = {{"K0", "besselk", 0}, {"K1", "besselk", 1}, {"I0", "besseli", 0},
                                 {"I1", "besseli", 1}, {"J0", "besselj", 0}, {"J1", "besselj", 1}};

const ShortName* shortName(const std::string& name) {
  for (const ShortName& s : kShortNames) {
    if (name == s.name) return &s;
  }
  return nullptr;
}

int functionIndex(const std::string& name) {
  for (int k = 0; k < kFunctionCount; ++k) {
    if (name == kFunctions[k].name) return k;
  }
  return -1;
}

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isNameChar(char c) { return isLetter(c) || isDigit(c) || c == '_'; }
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// User text inside a message: at most 40 characters, control characters and
// bytes outside ASCII as '?'.
std::string quoted(const std::string& text) {
  std::string out;
  for (std::size_t k = 0; k < text.size() && k < 40; ++k) {
    const unsigned char c = static_cast<unsigned char>(text[k]);
    out += (c >= 0x20 && c < 0x7f) ? static_cast<char>(c) : '?';
  }
  if (text.size() > 40) out += "...";
  return out;
}

// ---- Numbers --------------------------------------------------------------------------------

// The length of the decimal number at text[pos] (digits, an optional point
// and fraction, an optional exponent with at least one digit), or 0 where the
// characters there do not form one; *consumed is how far they went.
std::size_t scanNumber(const std::string& text, std::size_t pos, std::size_t* consumed) {
  std::size_t k = pos, digits = 0;
  while (k < text.size() && isDigit(text[k])) ++k, ++digits;
  if (k < text.size() && text[k] == '.') {
    ++k;
    while (k < text.size() && isDigit(text[k])) ++k, ++digits;
  }
  *consumed = k - pos;
  if (digits == 0) return 0;
  if (k < text.size() && (text[k] == 'e' || text[k] == 'E')) {
    std::size_t e = k + 1;
    if (e < text.size() && (text[e] == '+' || text[e] == '-')) ++e;
    std::size_t expDigits = 0;
    while (e < text.size() && isDigit(text[e])) ++e, ++expDigits;
    *consumed = e - pos;
    if (expDigits == 0) return 0;
    k = e;
  }
  return k - pos;
}

enum class NumberStatus { kOk, kOverflow };

// The value of a scanned number. from_chars reads it exactly rounded and
// independently of the locale; out of range it says only that, so the
// decimal exponent tells overflow (refused) from underflow (zero).
NumberStatus numberValue(const char* begin, const char* end, double* value) {
  const std::from_chars_result r = std::from_chars(begin, end, *value, std::chars_format::general);
  if (r.ec == std::errc()) return NumberStatus::kOk;
  // Position of the leading significant digit relative to the point.
  long long lead = 0;
  bool seenPoint = false, seenDigit = false;
  long long exponent = 0;
  for (const char* p = begin; p < end; ++p) {
    if (*p == '.') {
      seenPoint = true;
    } else if (*p == 'e' || *p == 'E') {
      const bool negative = p[1] == '-';
      for (const char* q = p + 1; q < end; ++q) {
        if (isDigit(*q) && exponent < 1000000000) exponent = exponent * 10 + (*q - '0');
      }
      if (negative) exponent = -exponent;
      break;
    } else if (!seenDigit && *p == '0') {
      if (seenPoint) --lead;
    } else if (!seenDigit) {
      seenDigit = true;
      if (seenPoint) --lead;
    } else if (!seenPoint) {
      ++lead;
    }
  }
  if (lead + exponent >= 0) return NumberStatus::kOverflow;
  *value = 0.0;
  return NumberStatus::kOk;
}

// The shortest decimal form that reads back as exactly v, always with a
// point or an exponent so that it is a floating literal.
std::string literal(double v) {
  char buf[64];
  const std::to_chars_result r = std::to_chars(buf, buf + sizeof(buf), v);
  std::string s(buf, r.ptr);
  if (s.find_first_of(".e") == std::string::npos) s += ".0";
  return s;
}

// ---- Tokens -------------------------------------------------------------------------------------

enum class Tok { kNumber, kName, kPlus, kMinus, kStar, kSlash, kCaret, kLParen, kRParen, kComma, kEnd };

struct Token {
  Tok kind = Tok::kEnd;
  std::size_t pos = 0;  // byte offset of the first character
  std::size_t len = 0;
  double value = 0;     // kNumber
};

[[noreturn]] void failAt(std::size_t pos, const std::string& what) {
  throw Error(ErrorKind::kParameters, "expression, column " + std::to_string(pos + 1) + ": " + what);
}

// ---- Parser -----------------------------------------------------------------------------------

class Parser {
 public:
  Parser(const std::string& text, const std::vector<std::string>& names, std::vector<Node>& nodes)
      : text_(text), names_(names), nodes_(nodes) {}

  void parse() {
    advance();
    parseSum();
    if (tok_.kind == Tok::kRParen) failAt(tok_.pos, "unmatched ')'");
    if (tok_.kind != Tok::kEnd) failAt(tok_.pos, "expected an operator or the end of the expression");
  }

 private:
  // Reads the token at pos_ into tok_.
  void advance() {
    while (pos_ < text_.size() && isBlank(text_[pos_])) ++pos_;
    tok_ = Token();
    tok_.pos = pos_;
    if (pos_ >= text_.size()) return;
    const char c = text_[pos_];
    if (isDigit(c) || c == '.') {
      std::size_t consumed = 0;
      const std::size_t len = scanNumber(text_, pos_, &consumed);
      if (len == 0) {
        failAt(pos_, "malformed number '" + quoted(text_.substr(pos_, consumed ? consumed : 1)) + "'");
      }
      if (numberValue(text_.data() + pos_, text_.data() + pos_ + len, &tok_.value) == NumberStatus::kOverflow) {
        failAt(pos_, "number '" + quoted(text_.substr(pos_, len)) + "' is out of range");
      }
      tok_.kind = Tok::kNumber;
      tok_.len = len;
    } else if (isLetter(c) || c == '_') {
      std::size_t k = pos_;
      while (k < text_.size() && isNameChar(text_[k])) ++k;
      tok_.kind = Tok::kName;
      tok_.len = k - pos_;
    } else {
      static const char kOps[] = "+-*/^(),";
      static const Tok kKinds[] = {Tok::kPlus,  Tok::kMinus,  Tok::kStar,   Tok::kSlash,
                                   Tok::kCaret, Tok::kLParen, Tok::kRParen, Tok::kComma};
      int op = -1;
      for (int k = 0; kOps[k] != '\0'; ++k) {
        if (kOps[k] == c) op = k;
      }
      if (op < 0) failAt(pos_, "unexpected character " + describeCharacter(pos_));
      tok_.kind = kKinds[op];
      tok_.len = 1;
      // "**" is the power, as in Python and Fortran.
      if (c == '*' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '*') {
        tok_.kind = Tok::kCaret;
        tok_.len = 2;
      }
    }
    pos_ += tok_.len;
  }

  // A printable ASCII character in quotes, a UTF-8 sequence by its code
  // point, anything else by its byte.
  std::string describeCharacter(std::size_t at) const {
    const unsigned char c = static_cast<unsigned char>(text_[at]);
    char buf[32];
    if (c > 0x20 && c < 0x7f) return std::string("'") + static_cast<char>(c) + "'";
    int extra = c >= 0xf0 && c < 0xf5 ? 3 : c >= 0xe0 && c < 0xf0 ? 2 : c >= 0xc2 && c < 0xe0 ? 1 : 0;
    if (extra > 0 && at + extra < text_.size()) {
      unsigned long cp = c & (0x3f >> extra);
      bool ok = true;
      for (int k = 1; k <= extra; ++k) {
        const unsigned char t = static_cast<unsigned char>(text_[at + k]);
        ok = ok && (t & 0xc0) == 0x80;
        cp = (cp << 6) | (t & 0x3f);
      }
      if (ok) {
        std::snprintf(buf, sizeof(buf), "U+%04lX", cp);
        return buf;
      }
    }
    std::snprintf(buf, sizeof(buf), "(byte 0x%02X)", static_cast<unsigned>(c));
    return buf;
  }

  std::string tokenText() const { return text_.substr(tok_.pos, tok_.len); }

  int add(Kind kind, int a = -1, int b = -1) {
    Node n{};
    n.kind = kind;
    n.a = a;
    n.b = b;
    n.function = -1;
    n.parameter = -1;
    nodes_.push_back(n);
    return static_cast<int>(nodes_.size()) - 1;
  }

  // One more level of nesting at pos; refused past the limit, so that a
  // hostile formula cannot exhaust the stack of this recursive parser.
  struct Level {
    Level(Parser& p, std::size_t pos) : parser(p) {
      if (++parser.depth_ > kMaxExpressionNesting) {
        failAt(pos, "nested deeper than " + std::to_string(kMaxExpressionNesting) + " levels");
      }
    }
    ~Level() { --parser.depth_; }
    Parser& parser;
  };

  int parseSum() {
    int left = parseProduct();
    while (tok_.kind == Tok::kPlus || tok_.kind == Tok::kMinus) {
      const Kind kind = tok_.kind == Tok::kPlus ? Kind::kAdd : Kind::kSub;
      advance();
      const int right = parseProduct();
      left = add(kind, left, right);
    }
    return left;
  }

  int parseProduct() {
    int left = parseUnary();
    while (tok_.kind == Tok::kStar || tok_.kind == Tok::kSlash) {
      const Kind kind = tok_.kind == Tok::kStar ? Kind::kMul : Kind::kDiv;
      advance();
      const int right = parseUnary();
      left = kind == Kind::kMul ? product(left, right) : add(kind, left, right);
    }
    return left;
  }

  // exp(X) * erfc(Y) (either order) as exp(X - Y*Y) * erfcx(Y): the same value,
  // which stays finite where exp(X) overflows and erfc(Y) underflows
  // (exp(s^2/4)*erfc(s/2) past |s| of some 50, where the product was
  // inf * 0). X and Y are copied: each node of the tree has one user, and
  // the two calls are left unused.
  int product(int a, int b) {
    const auto is = [this](int n, const char* f) {
      return nodes_[n].kind == Kind::kCall && nodes_[n].function == functionIndex(f);
    };
    if (is(a, "erfc") && is(b, "exp")) std::swap(a, b);
    if (!(is(a, "exp") && is(b, "erfc"))) return add(Kind::kMul, a, b);
    const int X = nodes_[a].a, Y = nodes_[b].a;
    const int exponent = add(Kind::kSub, copy(X), add(Kind::kMul, copy(Y), copy(Y)));
    const int scale = add(Kind::kCall, exponent);
    nodes_[scale].function = functionIndex("exp");
    const int scaled = add(Kind::kCall, copy(Y));
    nodes_[scaled].function = functionIndex("erfcx");
    return add(Kind::kMul, scale, scaled);
  }
  // A copy of the subtree at n, operands before operators.
  int copy(int n) {
    Node node = nodes_[std::size_t(n)];
    if (node.a >= 0) node.a = copy(node.a);
    if (node.b >= 0) node.b = copy(node.b);
    nodes_.push_back(node);
    return static_cast<int>(nodes_.size()) - 1;
  }

  int parseUnary() {
    if (tok_.kind == Tok::kMinus || tok_.kind == Tok::kPlus) {
      const bool minus = tok_.kind == Tok::kMinus;
      Level level(*this, tok_.pos);
      advance();
      const int operand = parseUnary();
      return minus ? add(Kind::kNeg, operand) : operand;
    }
    return parsePower();
  }

  int parsePower() {
    const int base = parsePrimary();
    if (tok_.kind != Tok::kCaret) return base;
    Level level(*this, tok_.pos);
    advance();
    const int exponent = parseUnary();
    return add(Kind::kPow, base, exponent);
  }

  int parsePrimary() {
    switch (tok_.kind) {
      case Tok::kNumber: {
        const int n = add(Kind::kNumber);
        nodes_[n].value = tok_.value;
        advance();
        return n;
      }
      case Tok::kLParen: {
        Level level(*this, tok_.pos);
        advance();
        const int inner = parseSum();
        if (tok_.kind != Tok::kRParen) failAt(tok_.pos, "expected ')'");
        advance();
        return inner;
      }
      case Tok::kName:
        return parseName();
      default:
        failAt(tok_.pos, "expected a number, a name or '('");
    }
  }

  int parseName() {
    const std::string name = tokenText();
    const std::size_t at = tok_.pos;
    int n;
    if (name == "s") {
      n = add(Kind::kS);
    } else if (name == "i") {
      n = add(Kind::kI);
    } else if (name == "pi") {
      n = add(Kind::kPi);
    } else {
      for (std::size_t k = 0; k < names_.size(); ++k) {
        if (names_[k] == name) {
          n = add(Kind::kParameter);
          nodes_[n].parameter = static_cast<int>(k);
          advance();
          return n;
        }
      }
      if (const ShortName* alias = shortName(name)) {
        advance();
        return parseCall(alias->name, 1, functionIndex(alias->function), alias->order, at);
      }
      const int f = functionIndex(name);
      if (f < 0) failAt(at, "unknown name '" + quoted(name) + "'; known names: " + knownNames());
      advance();
      return parseCall(kFunctions[f].name, kFunctions[f].arguments, f, -1, at);
    }
    advance();
    return n;
  }

  // The call of `name`, function f with `arguments` arguments; a short name
  // (order >= 0) takes one, z, and calls f(order, z).
  int parseCall(const char* name, int arguments, int f, int order, std::size_t at) {
    if (tok_.kind != Tok::kLParen) {
      failAt(at, std::string("'") + name + "' is a function; expected '(' after it");
    }
    Level level(*this, tok_.pos);
    advance();
    std::vector<int> args;
    if (tok_.kind != Tok::kRParen) {
      for (;;) {
        args.push_back(parseSum());
        if (tok_.kind == Tok::kComma) {
          advance();
        } else if (tok_.kind == Tok::kRParen) {
          break;
        } else {
          failAt(tok_.pos, "expected ',' or ')'");
        }
      }
    }
    if (static_cast<int>(args.size()) != arguments) {
      failAt(at, std::string("'") + name + "' takes " + std::to_string(arguments) +
                     (arguments == 1 ? " argument" : " arguments") + ", found " + std::to_string(args.size()));
    }
    advance();
    if (order >= 0) {
      const int nu = add(Kind::kNumber);
      nodes_[nu].value = order;
      args.insert(args.begin(), nu);
    }
    const int n = add(Kind::kCall, args[0], args.size() > 1 ? args[1] : -1);
    nodes_[n].function = f;
    return n;
  }

  std::string knownNames() const {
    std::string out = "s, i, pi, ";
    for (const std::string& p : names_) out += p + ", ";
    out += "and the functions ";
    const std::vector<std::string>& functions = expressionFunctions();
    for (std::size_t k = 0; k < functions.size(); ++k) out += (k ? ", " : "") + functions[k];
    return out;
  }

  const std::string& text_;
  const std::vector<std::string>& names_;
  std::vector<Node>& nodes_;
  std::size_t pos_ = 0;
  Token tok_;
  int depth_ = 0;
};

// ---- Names ------------------------------------------------------------------------------------

const char* const kKeywords[] = {
    "alignas", "alignof", "and", "and_eq", "asm", "auto", "bitand", "bitor", "bool", "break", "case", "catch",
    "char", "char8_t", "char16_t", "char32_t", "class", "compl", "concept", "const", "consteval", "constexpr",
    "constinit", "const_cast", "continue", "co_await", "co_return", "co_yield", "decltype", "default", "delete",
    "do", "double", "dynamic_cast", "else", "enum", "explicit", "export", "extern", "false", "float", "for",
    "friend", "goto", "if", "inline", "int", "long", "mutable", "namespace", "new", "noexcept", "not", "not_eq",
    "nullptr", "operator", "or", "or_eq", "private", "protected", "public", "register", "reinterpret_cast",
    "requires", "return", "short", "signed", "sizeof", "static", "static_assert", "static_cast", "struct",
    "switch", "template", "this", "thread_local", "throw", "true", "try", "typedef", "typeid", "typename",
    "union", "unsigned", "using", "virtual", "void", "volatile", "wchar_t", "while", "xor", "xor_eq",
};
const char* const kTaken[] = {
    "s", "i", "pi", "Fs", "wreal", "wcomplex", "cx", "kPi", "double2", "float2", "cuDoubleComplex",
    "cuFloatComplex", "NAN", "INFINITY", "HUGE_VAL", "HUGE_VALF", "HUGE_VALL", "errno", "assert", "NULL", "EOF",
    "math_errhandling", "MATH_ERRNO", "MATH_ERREXCEPT",
};
const char* const kTakenPrefixes[] = {"cx_", "orvane_", "ORVANE_", "make_", "cuC", "FP_"};

bool isIdentifier(const std::string& name) {
  if (name.empty() || !isLetter(name[0])) return false;
  for (char c : name) {
    if (!isNameChar(c)) return false;
  }
  return true;
}

bool startsWith(const std::string& s, const char* prefix) {
  return s.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

}  // namespace

const std::vector<std::string>& expressionFunctions() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> v;
    for (const FunctionInfo& f : kFunctions) v.push_back(f.name);
    for (const ShortName& f : kShortNames) v.push_back(f.name);
    return v;
  }();
  return names;
}

bool isReservedName(const std::string& name) {
  if (name.empty() || name[0] == '_' || name.find("__") != std::string::npos) return true;
  if (functionIndex(name) >= 0 || shortName(name) != nullptr) return true;
  for (const char* k : kKeywords) {
    if (name == k) return true;
  }
  for (const char* k : kTaken) {
    if (name == k) return true;
  }
  for (const char* p : kTakenPrefixes) {
    if (startsWith(name, p)) return true;
  }
  // M_PI, M_E, M_2_SQRTPI, ... of <math.h>.
  return name.size() > 2 && startsWith(name, "M_") && ((name[2] >= 'A' && name[2] <= 'Z') || isDigit(name[2]));
}

void checkParameterNames(const std::vector<std::string>& names) {
  std::set<std::string> seen;
  for (const std::string& name : names) {
    if (!isIdentifier(name)) {
      throw Error(ErrorKind::kParameters, "parameter name '" + quoted(name) +
                                              "': expected a letter followed by letters, digits or '_'");
    }
    if (isReservedName(name)) throw Error(ErrorKind::kParameters, "parameter name '" + name + "' is reserved");
    if (!seen.insert(name).second) {
      throw Error(ErrorKind::kParameters, "parameter '" + name + "' is given more than once");
    }
  }
}

std::pair<std::string, double> parseParam(const std::string& text) {
  const std::string head = "--param \"" + quoted(text) + "\": ";
  const std::string expected = "expected NAME=VALUE with a real VALUE";
  const std::size_t eq = text.find('=');
  if (eq == std::string::npos) throw Error(ErrorKind::kParameters, head + expected);
  auto trimmed = [](const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && isBlank(s[b])) ++b;
    while (e > b && isBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
  };
  const std::string name = trimmed(text.substr(0, eq));
  const std::string value = trimmed(text.substr(eq + 1));
  if (!isIdentifier(name)) {
    throw Error(ErrorKind::kParameters,
                head + "expected NAME=VALUE with NAME a letter followed by letters, digits or '_'");
  }
  if (isReservedName(name)) throw Error(ErrorKind::kParameters, head + "'" + name + "' is a reserved name");
  const std::size_t sign = !value.empty() && (value[0] == '+' || value[0] == '-') ? 1 : 0;
  std::size_t consumed = 0;
  const std::size_t len = scanNumber(value, sign, &consumed);
  if (len == 0 || sign + len != value.size()) throw Error(ErrorKind::kParameters, head + expected);
  double v = 0;
  if (numberValue(value.data() + sign, value.data() + value.size(), &v) == NumberStatus::kOverflow) {
    throw Error(ErrorKind::kParameters, head + "VALUE is out of range");
  }
  return {name, value[0] == '-' ? -v : v};
}

// ---- Expression ---------------------------------------------------------------------------------

Expression::Expression(const std::string& text, const std::vector<std::string>& parameterNames)
    : names_(parameterNames) {
  checkParameterNames(names_);
  if (text.size() > kMaxExpressionLength) {
    throw Error(ErrorKind::kParameters,
                "expression is longer than " + std::to_string(kMaxExpressionLength) + " characters");
  }
  std::size_t k = 0;
  while (k < text.size() && isBlank(text[k])) ++k;
  if (k == text.size()) throw Error(ErrorKind::kParameters, "expression is empty");
  Parser(text, names_, nodes_).parse();
}

std::string Expression::source() const {
  static const char* const kOperator[] = {"cx_neg", "cx_add", "cx_sub", "cx_mul", "cx_div", "cx_pow"};
  // A statement nests at most this many calls; deeper operands become variables.
  const int kMaxHeight = 8;
  std::vector<std::string> text(nodes_.size());
  std::vector<int> height(nodes_.size(), 0);
  std::string out;
  int temporaries = 0;
  for (std::size_t n = 0; n < nodes_.size(); ++n) {
    const Node& node = nodes_[n];
    switch (node.kind) {
      case Kind::kNumber:
        text[n] = "cx(wreal(" + literal(node.value) + "), wreal(0))";
        height[n] = 1;
        continue;
      case Kind::kS:
        text[n] = "s";
        continue;
      case Kind::kI:
        text[n] = "cx(wreal(0), wreal(1))";
        height[n] = 1;
        continue;
      case Kind::kPi:
        text[n] = "cx(wreal(" + literal(3.141592653589793) + "), wreal(0))";
        height[n] = 1;
        continue;
      case Kind::kParameter:
        text[n] = "cx(" + names_[node.parameter] + ", wreal(0))";
        height[n] = 1;
        continue;
      default:
        break;
    }
    const int operands[2] = {node.a, node.b};
    int h = 0;
    for (int c : operands) {
      if (c >= 0 && height[c] > h) h = height[c];
    }
    if (h + 1 > kMaxHeight) {
      for (int c : operands) {
        if (c < 0 || height[c] < 2) continue;
        const std::string var = "orvane_e" + std::to_string(temporaries++);
        out += "const wcomplex " + var + " = " + text[c] + ";\n";
        text[c] = var;
        height[c] = 0;
      }
      h = 1;
    }
    const std::string fn = node.kind == Kind::kCall
                               ? std::string("cx_") + kFunctions[node.function].name
                               : kOperator[static_cast<int>(node.kind) - static_cast<int>(Kind::kNeg)];
    if (const int power = integerExponent(int(n))) {
      text[n] = "cx_pown(" + text[node.a] + ", " + std::to_string(power) + ")";
    } else {
      text[n] = fn + "(" + text[node.a] + (node.b >= 0 ? ", " + text[node.b] : std::string()) + ")";
    }
    height[n] = h + 1;
    text[node.a].clear();
    if (node.b >= 0) text[node.b].clear();
  }
  out += "Fs = " + text.back() + ";\n";
  return out;
}

int Expression::integerExponent(int node) const {
  const Node& n = nodes_[node];
  if (n.kind != Kind::kPow || nodes_[n.b].kind != Kind::kNumber) return 0;
  // The range first: the conversion to int is defined only inside it.
  const double v = nodes_[n.b].value;
  return v >= 1 && v <= 64 && v == double(int(v)) ? int(v) : 0;
}

std::complex<double> Expression::evaluate(const std::vector<double>& values, std::complex<double> s) const {
  if (values.size() != names_.size()) {
    throw Error(ErrorKind::kParameters, "expression: " + std::to_string(values.size()) + " parameter values for " +
                                            std::to_string(names_.size()) + " names");
  }
  const FormulaProgram<double2> program(*this, values);
  double2 v;
  v.x = s.real();
  v.y = s.imag();
  program.evaluate(&v, 1, &v);
  return {v.x, v.y};
}

std::string expressionSource(const std::string& text, const std::vector<std::string>& parameterNames) {
  return Expression(text, parameterNames).source();
}

std::complex<double> evaluateExpression(const std::string& text, const std::vector<std::string>& names,
                                        const std::vector<double>& values, std::complex<double> s) {
  return Expression(text, names).evaluate(values, s);
}

}  // namespace jit
}  // namespace orvane
