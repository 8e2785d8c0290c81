// Formulas of run-time transforms: the statements generated for small
// formulas, every refusal with its exact message, the evaluator against
// hand-written std::complex formulas, and random formulas whose text, printed
// with the fewest parentheses, must evaluate exactly as their trees do,
// through the evaluator and through an interpreter of the generated source.
#include <gtest/gtest.h>

#include <cctype>
#include <charconv>
#include <cmath>
#include <complex>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "jit/complex_math.h"
#include "jit/expression.h"
#include "orvane/error.h"

using orvane::jit::evaluateExpression;
using orvane::jit::Expression;
using orvane::jit::expressionSource;
using orvane::jit::parseParam;
typedef std::complex<double> Z;

namespace {

// The refusal message of f(), "accepted" when it throws nothing.
std::string refusal(const std::function<void()>& f) {
  try {
    f();
  } catch (const orvane::Error& e) {
    EXPECT_EQ(e.kind(), orvane::ErrorKind::kParameters);
    return e.what();
  }
  return "accepted";
}

std::string num(const char* lit) { return std::string("cx(wreal(") + lit + "), wreal(0))"; }

// ---- Generated statements ---------------------------------------------------------------

TEST(JitExpressionSource, SmallFormulas) {
  const std::string one = num("1.0"), two = num("2.0");
  struct Case {
    const char* text;
    std::string want;
  };
  const Case cases[] = {
      {"1/(s+1)", "Fs = cx_div(" + one + ", cx_add(s, " + one + "));\n"},
      {"9/11", "Fs = cx_div(" + num("9.0") + ", " + num("11.0") + ");\n"},
      {"-s^2", "Fs = cx_neg(cx_pown(s, 2));\n"},
      {"2^3^2", "Fs = cx_pow(" + two + ", cx_pown(" + num("3.0") + ", 2));\n"},
      {"s^2.5", "Fs = cx_pow(s, " + num("2.5") + ");\n"},
      {"s^65", "Fs = cx_pow(s, " + num("65.0") + ");\n"},
      {"s^64", "Fs = cx_pown(s, 64);\n"},
      // Exponents beyond int: no conversion to int is tried.
      {"s^3e9", "Fs = cx_pow(s, " + num("3e+09") + ");\n"},
      {"s^1e300", "Fs = cx_pow(s, " + num("1e+300") + ");\n"},
      {"s^-2", "Fs = cx_pow(s, cx_neg(" + two + "));\n"},
      {"-2*s", "Fs = cx_mul(cx_neg(" + two + "), s);\n"},
      {"1-s-2", "Fs = cx_sub(cx_sub(" + one + ", s), " + two + ");\n"},
      {"s/2/s", "Fs = cx_div(cx_div(s, " + two + "), s);\n"},
      {"1+s*2", "Fs = cx_add(" + one + ", cx_mul(s, " + two + "));\n"},
      {"(1+s)*2", "Fs = cx_mul(cx_add(" + one + ", s), " + two + ");\n"},
      {"a*s + b", "Fs = cx_add(cx_mul(cx(a, wreal(0)), s), cx(b, wreal(0)));\n"},
      {"pi*i", "Fs = cx_mul(" + num("3.141592653589793") + ", cx(wreal(0), wreal(1)));\n"},
      {"pow(s, a)", "Fs = cx_pow(s, cx(a, wreal(0)));\n"},
      {"+s", "Fs = s;\n"},
      {" \t((s))\n ", "Fs = s;\n"},
      {"exp(-s)", "Fs = cx_exp(cx_neg(s));\n"},
      // Numbers are written anew, in the shortest form that reads back exactly.
      {".5", "Fs = " + num("0.5") + ";\n"},
      {"5.", "Fs = " + num("5.0") + ";\n"},
      {"1e-3", "Fs = " + num("0.001") + ";\n"},
      {"0.1000000000000000000001", "Fs = " + num("0.1") + ";\n"},
      {"1E+300", "Fs = " + num("1e+300") + ";\n"},
      {"123456789012345678", "Fs = " + num("123456789012345680.0") + ";\n"},
      {"000.25e1", "Fs = " + num("2.5") + ";\n"},
      {"1e-400", "Fs = " + num("0.0") + ";\n"},  // underflow is zero
  };
  for (const Case& c : cases) {
    EXPECT_EQ(expressionSource(c.text, {"a", "b"}), c.want) << c.text;
  }
  // Every function is called by its cx_ name; a short name K0(z) is besselk(0, z).
  const std::map<std::string, std::string> shortNames = {{"K0", "besselk(0, s)"}, {"K1", "besselk(1, s)"},
                                                         {"I0", "besseli(0, s)"}, {"I1", "besseli(1, s)"},
                                                         {"J0", "besselj(0, s)"}, {"J1", "besselj(1, s)"}};
  for (const std::string& f : orvane::jit::expressionFunctions()) {
    SCOPED_TRACE(f);
    if (shortNames.count(f)) {
      EXPECT_EQ(expressionSource(f + "(s)", {}), expressionSource(shortNames.at(f), {}));
      continue;
    }
    const bool two = f == "pow" || f.compare(0, 6, "bessel") == 0;
    EXPECT_EQ(expressionSource(f + (two ? "(s, s)" : "(s)"), {}), "Fs = cx_" + f + (two ? "(s, s);\n" : "(s);\n"));
  }
  EXPECT_EQ(expressionSource("K1(s)", {}), "Fs = cx_besselk(" + num("1.0") + ", s);\n");
  // "**" is "^".
  EXPECT_EQ(expressionSource("s**2 ** a + 2**-s", {"a"}), expressionSource("s^2^a + 2^-s", {"a"}));
}

TEST(JitExpressionSource, LiteralsReadBackExactly) {
  const double values[] = {0.1, 1.0 / 3, 2.0 / 3e-200, 5e-324, 1.7976931348623157e308, 2.2250738585072014e-308,
                           123456789.123, 9007199254740993.0, 0.30000000000000004, 1e23};
  for (double v : values) {
    char text[64];
    std::snprintf(text, sizeof(text), "%.17g", v);
    const std::string src = expressionSource(text, {});
    const std::string head = "Fs = cx(wreal(";
    ASSERT_EQ(src.compare(0, head.size(), head), 0) << src;
    const std::size_t end = src.find(')', head.size());
    double back = 0;
    std::from_chars(src.data() + head.size(), src.data() + end, back);
    EXPECT_EQ(back, v) << text << " became " << src;
  }
}

// ---- Refusals -------------------------------------------------------------------------------

TEST(JitExpressionErrors, MessagesNameTheColumnAndTheExpectation) {
  const std::string functions =
      "and the functions exp, log, sqrt, pow, sin, cos, tan, sinh, cosh, tanh, asin, acos, atan, asinh, acosh, "
      "atanh, abs, arg, conj, real, imag, besselk, besseli, besselj, bessely, besselke, besselie, erf, erfc, "
      "erfcx, gamma, lgamma, expint, K0, K1, I0, I1, J0, J1";
  struct Case {
    std::string text;
    std::string message;
  };
  const Case cases[] = {
      {"", "expression is empty"},
      {" \t\n", "expression is empty"},
      {"(s+1", "expression, column 5: expected ')'"},
      {"exp(-s)/(s^2 + 1 (", "expression, column 18: expected ')'"},
      {"((s+1)*2", "expression, column 9: expected ')'"},
      {"sn + 1", "expression, column 1: unknown name 'sn'; known names: s, i, pi, a, b, " + functions},
      {"s*S", "expression, column 3: unknown name 'S'; known names: s, i, pi, a, b, " + functions},
      {"2 * PI", "expression, column 5: unknown name 'PI'; known names: s, i, pi, a, b, " + functions},
      {"foo(s)", "expression, column 1: unknown name 'foo'; known names: s, i, pi, a, b, " + functions},
      {"pow(s)", "expression, column 1: 'pow' takes 2 arguments, found 1"},
      {"s + exp(s, 2)", "expression, column 5: 'exp' takes 1 argument, found 2"},
      {"exp()", "expression, column 1: 'exp' takes 1 argument, found 0"},
      {"1 + pow(s, 2, 3)", "expression, column 5: 'pow' takes 2 arguments, found 3"},
      {"pow(s 2)", "expression, column 7: expected ',' or ')'"},
      {"pow(s,)", "expression, column 7: expected a number, a name or '('"},
      {"exp + 1", "expression, column 1: 'exp' is a function; expected '(' after it"},
      {"2*sin", "expression, column 3: 'sin' is a function; expected '(' after it"},
      {"2s", "expression, column 2: expected an operator or the end of the expression"},
      {"s 1", "expression, column 3: expected an operator or the end of the expression"},
      {"s(1)", "expression, column 2: expected an operator or the end of the expression"},
      {"s, 1", "expression, column 2: expected an operator or the end of the expression"},
      {"1.5.2", "expression, column 4: expected an operator or the end of the expression"},
      {"s)", "expression, column 2: unmatched ')'"},
      {"1 +", "expression, column 4: expected a number, a name or '('"},
      {"1 + ", "expression, column 5: expected a number, a name or '('"},
      {"2***3", "expression, column 4: expected a number, a name or '('"},
      {"2* *3", "expression, column 4: expected a number, a name or '('"},
      {"J0()", "expression, column 1: 'J0' takes 1 argument, found 0"},
      {"K1", "expression, column 1: 'K1' is a function; expected '(' after it"},
      {"()", "expression, column 2: expected a number, a name or '('"},
      {"*s", "expression, column 1: expected a number, a name or '('"},
      {"1e999", "expression, column 1: number '1e999' is out of range"},
      {"s + 2e308", "expression, column 5: number '2e308' is out of range"},
      {"1" + std::string(400, '0'),
       "expression, column 1: number '1000000000000000000000000000000000000000...' is out of range"},
      {"1e", "expression, column 1: malformed number '1e'"},
      {"s*1.5e+", "expression, column 3: malformed number '1.5e+'"},
      {".", "expression, column 1: malformed number '.'"},
      {"s + .e3", "expression, column 5: malformed number '.'"},
      {"s $ 2", "expression, column 3: unexpected character '$'"},
      {"s = 2", "expression, column 3: unexpected character '='"},
      {"s\xc2\xb7" "2", "expression, column 2: unexpected character U+00B7"},
      {"s \xe2\x88\x92 1", "expression, column 3: unexpected character U+2212"},
      {"s\x01", "expression, column 2: unexpected character (byte 0x01)"},
      {std::string("s+\0", 3), "expression, column 3: unexpected character (byte 0x00)"},
      {"s\xff", "expression, column 2: unexpected character (byte 0xFF)"},
      {"s;", "expression, column 2: unexpected character ';'"},
      {"s\"", "expression, column 2: unexpected character '\"'"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(refusal([&] { Expression(c.text, {"a", "b"}); }), c.message) << c.text;
  }
  EXPECT_EQ(refusal([] { Expression("t", {}); }),
            "expression, column 1: unknown name 't'; known names: s, i, pi, " + functions);
}

TEST(JitExpressionErrors, LimitsOfLengthAndNesting) {
  auto nested = [](const std::string& open, const std::string& inner, const std::string& close, int n) {
    std::string t;
    for (int k = 0; k < n; ++k) t += open;
    t += inner;
    for (int k = 0; k < n; ++k) t += close;
    return t;
  };
  struct Case {
    std::string text;
    std::string message;
  };
  const Case cases[] = {
      {nested("(", "s", ")", 200), "accepted"},
      {nested("(", "s", ")", 201), "expression, column 201: nested deeper than 200 levels"},
      {nested("exp(", "s", ")", 200), "accepted"},
      {nested("exp(", "s", ")", 201), "expression, column 804: nested deeper than 200 levels"},
      {nested("-", "s", "", 200), "accepted"},
      {nested("-", "s", "", 201), "expression, column 201: nested deeper than 200 levels"},
      {nested("s^", "s", "", 200), "accepted"},
      {nested("s^", "s", "", 201), "expression, column 402: nested deeper than 200 levels"},
      {nested("-(", "s", ")", 100), "accepted"},
      {nested("-(", "s", ")", 101), "expression, column 201: nested deeper than 200 levels"},
      // A hostile nest far past the limit is refused at the limit, not by the stack.
      {nested("(", "s", ")", 1000000), "expression is longer than 65536 characters"},
      {nested("(", "", "", 30000), "expression, column 201: nested deeper than 200 levels"},
      {nested("s+", "s", "", 32767), "accepted"},  // 65535 characters, a chain of 32767 additions
      {nested("s+", "s", "", 32768), "expression is longer than 65536 characters"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(refusal([&] { Expression(c.text, {}); }), c.message) << c.text.substr(0, 40);
  }
  // The longest chain is generated and evaluated without recursion.
  const std::string chain = nested("s+", "s", "", 32767);
  EXPECT_EQ(evaluateExpression(chain, {}, {}, Z(0.5, 1)), Z(16384, 32768));
  EXPECT_NE(expressionSource(chain, {}).find("orvane_e4000 = "), std::string::npos);
}

TEST(JitExpressionErrors, ParameterNamesAndValues) {
  struct Case {
    std::vector<std::string> names;
    std::string message;
  };
  const Case cases[] = {
      {{"a", "b2", "T_0", "Kd"}, "accepted"},
      {{"a", "a"}, "parameter 'a' is given more than once"},
      {{"2a"}, "parameter name '2a': expected a letter followed by letters, digits or '_'"},
      {{""}, "parameter name '': expected a letter followed by letters, digits or '_'"},
      {{"a b"}, "parameter name 'a b': expected a letter followed by letters, digits or '_'"},
      {{"s"}, "parameter name 's' is reserved"},
      {{"sqrt"}, "parameter name 'sqrt' is reserved"},
      {{"double"}, "parameter name 'double' is reserved"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(refusal([&] { Expression("s", c.names); }), c.message);
  }
  EXPECT_EQ(refusal([] { Expression("a*s", {"a"}).evaluate({1, 2}, Z(1, 0)); }),
            "expression: 2 parameter values for 1 names");
}

// One name of each kind the rule keeps, and near misses it lets through.
TEST(JitExpressionErrors, ReservedNames) {
  const char* reserved[] = {"pi",     "imag",      "Fs",     "double2", "return", "_x",     "x__y",
                            "cx_foo", "orvane_e0", "ORVANE_HD", "cuCdiv", "NAN",  "M_PI", "M_1_PI"};
  for (const char* name : reserved) EXPECT_TRUE(orvane::jit::isReservedName(name)) << name;
  const char* free[] = {"t0", "M", "M_x", "e", "exp1", "pi2", "S", "Fs2", "cx1"};
  for (const char* name : free) EXPECT_FALSE(orvane::jit::isReservedName(name)) << name;
}

TEST(JitExpressionParam, ParsedAndRefused) {
  struct Good {
    const char* text;
    const char* name;
    double value;
  };
  const Good good[] = {
      {"a=2", "a", 2},           {" a = -1.5e3 ", "a", -1500}, {"T0=+.5", "T0", 0.5},
      {"k_1=1e-400", "k_1", 0},  {"x=5.", "x", 5},             {"omega=0.1", "omega", 0.1},
  };
  for (const Good& g : good) {
    const auto p = parseParam(g.text);
    EXPECT_EQ(p.first, g.name) << g.text;
    EXPECT_EQ(p.second, g.value) << g.text;
  }
  const std::string real = "expected NAME=VALUE with a real VALUE";
  const std::string name = "expected NAME=VALUE with NAME a letter followed by letters, digits or '_'";
  struct Bad {
    std::string text;
    std::string message;
  };
  const Bad bad[] = {
      {"a", real},     {"a=x", real},   {"a= ", real},   {"a=nan", real},  {"a=1,5", real},
      {"a=1 2", real}, {"a=--1", real}, {"a=1e", real},  {"=1", name},     {"2a=1", name},
      {"a b=1", name}, {"_x=1", name},  {"a\x01=1", name}, {"a=1e999", "VALUE is out of range"},
      {"s=1", "'s' is a reserved name"},       {"pi=3", "'pi' is a reserved name"},
      {"double=1", "'double' is a reserved name"},
  };
  for (const Bad& b : bad) {
    std::string shown;
    for (char c : b.text) shown += (c >= 0x20 && c < 0x7f) ? c : '?';
    EXPECT_EQ(refusal([&] { parseParam(b.text); }), "--param \"" + shown + "\": " + b.message) << b.text;
  }
}

// ---- The evaluator -------------------------------------------------------------------------

TEST(JitExpressionEvaluate, AgainstHandWrittenFormulas) {
  const double a = 0.75, b = 2.5;
  struct Case {
    const char* text;
    std::function<Z(Z)> want;
  };
  const Case cases[] = {
      {"1/(s+1)", [](Z s) { return 1.0 / (s + 1.0); }},
      {"(s+0.6)^(-9/11)", [](Z s) { return std::pow(s + 0.6, -9.0 / 11); }},
      {"exp(-a*s)/(s^2+b^2)", [=](Z s) { return std::exp(-a * s) / (s * s + b * b); }},
      {"sqrt(s)*log(s)/sin(s)", [](Z s) { return std::sqrt(s) * std::log(s) / std::sin(s); }},
      {"-s^2", [](Z s) { return -(s * s); }},
      {"s^3 - 2*s + 1", [](Z s) { return s * s * s - 2.0 * s + 1.0; }},
      {"s^(1/s)", [](Z s) { return std::exp(std::log(s) / s); }},
      {"pow(s, i)", [](Z s) { return std::exp(Z(0, 1) * std::log(s)); }},
      {"i*s + pi", [](Z s) { return Z(0, 1) * s + M_PI; }},
      {"cos(s)/cosh(i*s)", [](Z) { return Z(1, 0); }},
      {"sin(s)/sinh(i*s)", [](Z) { return Z(0, -1); }},
      {"sinh(s/100)/cosh(s/100)/tanh(s/100)", [](Z) { return Z(1, 0); }},
      {"asin(s) + acos(s)", [](Z) { return Z(M_PI / 2, 0); }},
      {"atan(s) + asinh(s) + acosh(s) + atanh(s)",
       [](Z s) { return std::atan(s) + std::asinh(s) + std::acosh(s) + std::atanh(s); }},
      {"abs(s) + arg(s)*i", [](Z s) { return Z(std::abs(s), std::arg(s)); }},
      {"real(s) + imag(s)*i - s", [](Z) { return Z(0, 0); }},
      {"1/sqrt(s^2 + a^2)", [=](Z s) { return 1.0 / std::sqrt(s * s + a * a); }},
  };
  const Z points[] = {Z(0.7, 0.3), Z(-2, 5), Z(1e3, -2), Z(0.05, -0.01), Z(3, 0)};
  for (const Case& c : cases) {
    for (Z s : points) {
      const Z got = evaluateExpression(c.text, {"a", "b"}, {a, b}, s);
      const Z want = c.want(s);
      EXPECT_LE(std::abs(got - want), 1e-13 * std::max(1.0, std::abs(want)))
          << c.text << " at " << s << ": got " << got << ", want " << want;
    }
  }
}

// Cases decided by the grammar, exactly; on a branch cut also the side, by
// the sign of the imaginary part.
TEST(JitExpressionEvaluate, ExactValues) {
  struct Case {
    const char* text;
    Z want;
    bool side;  // compare the sign of a zero imaginary part too
  };
  const Case cases[] = {
      {"9/11", Z(9.0 / 11, 0), false},
      {"sqrt(-2)", Z(0, std::sqrt(2.0)), true},  // -2 is real: imaginary part +0, above the cut
      {"sqrt(-a)", Z(0, std::sqrt(2.0)), true},
      {"-a", Z(-2, 0), true},
      {"0 - a", Z(-2, 0), true},
      {"log(-1)", Z(0, M_PI), true},
      {"log(-a + 0*i)", Z(std::log(2.0), M_PI), true},
      {"sqrt(conj(-4))", Z(0, -2), true},  // conj flips the zero: below the cut
      {"(-4)^0.5", Z(0, 2), true},
      {"-s^2", Z(-9, 0), true},
      {"(-s)^2", Z(9, 0), false},
      {"1 - - 1", Z(2, 0), false},
      {"2 ^ -1", Z(0.5, 0), false},
      {"-2^2", Z(-4, 0), false},
      {"8/2/2", Z(2, 0), false},
      {"8/(2/2)", Z(8, 0), false},
      {"2*3^2", Z(18, 0), false},
      {"2^3^2", Z(512, 0), false},
      {"i*i", Z(-1, 0), false},
      {"a", Z(2, 0), false},
  };
  for (const Case& c : cases) {
    const Z got = evaluateExpression(c.text, {"a"}, {2}, Z(3, 0));
    EXPECT_EQ(got, c.want) << c.text;
    if (c.side) {
      EXPECT_EQ(std::signbit(got.imag()), std::signbit(c.want.imag())) << c.text;
    }
  }
  // Parameters are matched by name, not by place.
  EXPECT_EQ(evaluateExpression("a - b", {"b", "a"}, {1, 10}, Z(0, 0)), Z(9, 0));
  // exp(X)*erfc(Y) is taken as exp(X - Y^2)*erfcx(Y): finite where exp(X)
  // overflows and erfc(Y) underflows (inf * 0 before), either order.
  for (const char* text : {"exp(s^2/4)*erfc(s/2)", "erfc(s/2)*exp(s^2/4)"}) {
    const Z big = evaluateExpression(text, {}, {}, Z(100, 30));
    const Z scaled = evaluateExpression("erfcx(s/2)", {}, {}, Z(100, 30));
    EXPECT_TRUE(std::isfinite(big.real()) && std::isfinite(big.imag())) << text;
    EXPECT_NEAR(std::abs(big - scaled) / std::abs(scaled), 0.0, 1e-13) << text;
  }
}

// ---- Random formulas ------------------------------------------------------------------------

// A formula tree independent of the parser, with its own evaluation by the
// complex functions and its own printing.
struct Tree {
  enum Kind { kNumber, kS, kI, kPi, kParameter, kNeg, kAdd, kSub, kMul, kDiv, kPow, kCall } kind;
  double value = 0;
  int index = 0;  // parameter, or function (into expressionFunctions())
  std::unique_ptr<Tree> a, b;
};

const char* const kParamNames[] = {"a", "b2"};
const double kParamValues[] = {0.75, -1.5};
const double kNumbers[] = {2, 0.5, 3, 0.1, 1e-3, 7, 1.25, 11, 0};

typedef double2 D;
typedef D (*Unary)(D);
const std::map<std::string, Unary>& unaryFunctions();

std::unique_ptr<Tree> randomTree(std::mt19937_64& g, int depth) {
  auto t = std::make_unique<Tree>();
  const int pick = static_cast<int>(g() % (depth <= 0 ? 5 : 12));
  t->kind = static_cast<Tree::Kind>(pick);
  const std::vector<std::string>& functions = orvane::jit::expressionFunctions();
  switch (t->kind) {
    case Tree::kNumber: t->value = kNumbers[g() % 9]; break;
    case Tree::kParameter: t->index = static_cast<int>(g() % 2); break;
    case Tree::kNeg: t->a = randomTree(g, depth - 1); break;
    case Tree::kCall:
      // The elementary functions (the special ones are compared in jit_formula_program_test).
      do {
        t->index = static_cast<int>(g() % functions.size());
      } while (functions[t->index] != "pow" && unaryFunctions().count(functions[t->index]) == 0);
      t->a = randomTree(g, depth - 1);
      if (functions[t->index] == "pow") t->b = randomTree(g, depth - 1);
      break;
    case Tree::kAdd: case Tree::kSub: case Tree::kMul: case Tree::kDiv: case Tree::kPow:
      t->a = randomTree(g, depth - 1);
      t->b = randomTree(g, depth - 1);
      break;
    default: break;
  }
  return t;
}

typedef D (*Binary)(D, D);

const std::map<std::string, Unary>& unaryFunctions() {
  static const std::map<std::string, Unary> m = {
      {"exp", cx_exp<D>},     {"log", cx_log<D>},     {"sqrt", cx_sqrt<D>},   {"sin", cx_sin<D>},
      {"cos", cx_cos<D>},     {"tan", cx_tan<D>},     {"sinh", cx_sinh<D>},   {"cosh", cx_cosh<D>},
      {"tanh", cx_tanh<D>},   {"asin", cx_asin<D>},   {"acos", cx_acos<D>},   {"atan", cx_atan<D>},
      {"asinh", cx_asinh<D>}, {"acosh", cx_acosh<D>}, {"atanh", cx_atanh<D>}, {"abs", cx_abs<D>},
      {"arg", cx_arg<D>},     {"conj", cx_conj<D>},   {"real", cx_real<D>},   {"imag", cx_imag<D>},
      {"neg", cx_neg<D>},
  };
  return m;
}
const std::map<std::string, Binary>& binaryFunctions() {
  static const std::map<std::string, Binary> m = {
      {"add", cx_add<D>}, {"sub", cx_sub<D>}, {"mul", cx_mul<D>}, {"div", cx_div<D>}, {"pow", cx_pow<D>},
  };
  return m;
}

D evalTree(const Tree& t, D s) {
  switch (t.kind) {
    case Tree::kNumber: return cx_make<D>(t.value, 0);
    case Tree::kS: return s;
    case Tree::kI: return cx_make<D>(0, 1);
    case Tree::kPi: return cx_make<D>(M_PI, 0);
    case Tree::kParameter: return cx_make<D>(kParamValues[t.index], 0);
    case Tree::kNeg: return cx_neg(evalTree(*t.a, s));
    case Tree::kAdd: return cx_add(evalTree(*t.a, s), evalTree(*t.b, s));
    case Tree::kSub: return cx_sub(evalTree(*t.a, s), evalTree(*t.b, s));
    case Tree::kMul: return cx_mul(evalTree(*t.a, s), evalTree(*t.b, s));
    case Tree::kDiv: return cx_div(evalTree(*t.a, s), evalTree(*t.b, s));
    case Tree::kPow: return cx_pow(evalTree(*t.a, s), evalTree(*t.b, s));
    case Tree::kCall: {
      const std::string& f = orvane::jit::expressionFunctions()[t.index];
      if (f == "pow") return cx_pow(evalTree(*t.a, s), evalTree(*t.b, s));
      return unaryFunctions().at(f)(evalTree(*t.a, s));
    }
  }
  return s;
}

// Binding strength: sum 1, product 2, unary 3, power 4, primary 5.
int strength(const Tree& t) {
  switch (t.kind) {
    case Tree::kAdd: case Tree::kSub: return 1;
    case Tree::kMul: case Tree::kDiv: return 2;
    case Tree::kNeg: return 3;
    case Tree::kPow: return 4;
    default: return 5;
  }
}

// The text of t with the fewest parentheses the grammar needs (or, with
// `full`, parentheses around every operation), random blanks between tokens.
std::string print(const Tree& t, std::mt19937_64& g, bool full) {
  auto blank = [&] { return std::string(g() % 3 == 0 ? " " : ""); };
  auto operand = [&](const Tree& c, int need) {
    const std::string inner = print(c, g, full);
    return (full && strength(c) < 5) || strength(c) < need ? "(" + blank() + inner + blank() + ")" : inner;
  };
  switch (t.kind) {
    case Tree::kNumber: {
      char buf[32];
      std::snprintf(buf, sizeof(buf), "%.17g", t.value);
      return buf;
    }
    case Tree::kS: return "s";
    case Tree::kI: return "i";
    case Tree::kPi: return "pi";
    case Tree::kParameter: return kParamNames[t.index];
    case Tree::kNeg: return "-" + blank() + operand(*t.a, 3);
    case Tree::kAdd: return operand(*t.a, 1) + blank() + "+" + blank() + operand(*t.b, 2);
    case Tree::kSub: return operand(*t.a, 1) + blank() + "-" + blank() + operand(*t.b, 2);
    case Tree::kMul: return operand(*t.a, 2) + blank() + "*" + blank() + operand(*t.b, 3);
    case Tree::kDiv: return operand(*t.a, 2) + blank() + "/" + blank() + operand(*t.b, 3);
    case Tree::kPow: return operand(*t.a, 5) + blank() + "^" + blank() + operand(*t.b, 3);
    case Tree::kCall: {
      const std::string& f = orvane::jit::expressionFunctions()[t.index];
      std::string out = f + blank() + "(" + blank() + print(*t.a, g, full);
      if (t.b) out += blank() + "," + blank() + print(*t.b, g, full);
      return out + blank() + ")";
    }
  }
  return "";
}

// An interpreter of exactly the statements the generator writes: cx_<f>(...)
// calls, cx(wreal(L), wreal(0)) and cx(wreal(0), wreal(1)) constants,
// cx(NAME, wreal(0)) parameters, s, and orvane_e<N> variables.
class SourceInterpreter {
 public:
  SourceInterpreter(const std::string& src, D s) : src_(src), s_(s) {}

  D run() {
    for (;;) {
      if (take("Fs = ")) {
        const D v = expr();
        expect(";\n");
        EXPECT_EQ(pos_, src_.size()) << "statements after Fs";
        return v;
      }
      expect("const wcomplex ");
      const std::string name = identifier();
      expect(" = ");
      vars_[name] = expr();
      expect(";\n");
    }
  }

 private:
  bool take(const std::string& t) {
    if (src_.compare(pos_, t.size(), t) != 0) return false;
    pos_ += t.size();
    return true;
  }
  void expect(const std::string& t) {
    if (!take(t)) throw std::runtime_error("expected '" + t + "' at " + src_.substr(pos_, 30));
  }
  std::string identifier() {
    const std::size_t b = pos_;
    while (pos_ < src_.size() && (std::isalnum(static_cast<unsigned char>(src_[pos_])) || src_[pos_] == '_')) {
      ++pos_;
    }
    return src_.substr(b, pos_ - b);
  }
  D expr() {
    if (take("cx(wreal(")) {
      const std::size_t end = src_.find(')', pos_);
      double v = 0;
      const auto r = std::from_chars(src_.data() + pos_, src_.data() + end, v);
      EXPECT_EQ(r.ptr, src_.data() + end) << "literal";
      pos_ = end;
      expect("), wreal(");
      const double im = take("1") ? 1 : (expect("0"), 0);
      expect("))");
      return cx_make<D>(v, im);
    }
    if (take("cx_")) {
      const std::string f = identifier();
      expect("(");
      const D a = expr();
      D out;
      if (f == "pown") {
        expect(", ");
        const std::size_t end = src_.find(')', pos_);
        out = cx_pown(a, std::stoi(src_.substr(pos_, end - pos_)));
        pos_ = end;
      } else if (take(", ")) {
        const D b = expr();
        out = binaryFunctions().at(f)(a, b);
      } else {
        out = unaryFunctions().at(f)(a);
      }
      expect(")");
      return out;
    }
    if (take("cx(")) {
      const std::string name = identifier();
      expect(", wreal(0))");
      if (name == "a") return cx_make<D>(kParamValues[0], 0);
      EXPECT_EQ(name, "b2");
      return cx_make<D>(kParamValues[1], 0);
    }
    const std::string name = identifier();
    if (name == "s") return s_;
    return vars_.at(name);
  }

  const std::string& src_;
  D s_;
  std::size_t pos_ = 0;
  std::map<std::string, D> vars_;
};

bool same(D x, Z z) {
  auto eq = [](double p, double q) {
    return (std::isnan(p) && std::isnan(q)) || (p == q && std::signbit(p) == std::signbit(q));
  };
  return eq(x.x, z.real()) && eq(x.y, z.imag());
}

TEST(JitExpressionRandom, TextEvaluatorAndSourceAgreeWithTheTree) {
  std::mt19937_64 g(20240611);
  const std::vector<std::string> names = {"a", "b2"};
  const std::vector<double> values = {kParamValues[0], kParamValues[1]};
  const D points[] = {cx_make<D>(0.7, 0.3), cx_make<D>(-2, -5), cx_make<D>(3, 0)};
  for (int k = 0; k < 3000; ++k) {
    const std::unique_ptr<Tree> tree = randomTree(g, 2 + k % 7);
    const std::string minimal = print(*tree, g, false), full = print(*tree, g, true);
    const Expression e(minimal, names), f(full, names);
    const std::string src = e.source();
    ASSERT_EQ(src, f.source()) << minimal << "\n" << full;
    for (D s : points) {
      const D want = evalTree(*tree, s);
      const Z z(s.x, s.y);
      EXPECT_TRUE(same(want, e.evaluate(values, z))) << minimal << " at " << z;
      const D fromSource = SourceInterpreter(src, s).run();
      EXPECT_TRUE(same(fromSource, Z(want.x, want.y))) << minimal << " at " << z << "\n" << src;
    }
  }
}

// Long chains and deep nests become variables (no statement nests more than
// eight calls) and keep their value.
TEST(JitExpressionSource, DeepFormulasAreSplitIntoVariables) {
  std::string chain = "s", nest = "s";
  for (int k = 0; k < 40; ++k) chain += " + a*s", nest = "exp(" + nest + ")/b2";
  const D s = cx_make<D>(0.25, -0.5);
  for (const std::string& text : {chain, nest}) {
    const Expression e(text, {"a", "b2"});
    const std::string src = e.source();
    EXPECT_NE(src.find("const wcomplex orvane_e2 = "), std::string::npos) << src;
    const Z want = e.evaluate({kParamValues[0], kParamValues[1]}, Z(s.x, s.y));
    EXPECT_TRUE(same(SourceInterpreter(src, s).run(), want)) << text;
  }
  // Eight calls stay in one statement; the ninth takes the eighth as a variable.
  std::string eight = "s", eightSource = "s";
  for (int k = 0; k < 8; ++k) eight = "exp(" + eight + ")", eightSource = "cx_exp(" + eightSource + ")";
  EXPECT_EQ(expressionSource(eight, {}), "Fs = " + eightSource + ";\n");
  EXPECT_EQ(expressionSource("exp(" + eight + ")", {}),
            "const wcomplex orvane_e0 = " + eightSource + ";\nFs = cx_exp(orvane_e0);\n");
}

}  // namespace
