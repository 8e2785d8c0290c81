// Transforms written as formulas in s (--expr): the parser, the code
// generator that turns a formula into statements for the sampling stage, a
// direct evaluator, and the checks of parameter names and --param text.
//
// Grammar (white space allowed between tokens):
//   sum     = product { ("+" | "-") product }
//   product = unary { ("*" | "/") unary }
//   unary   = ("-" | "+") unary | power
//   power   = primary [ ("^" | "**") unary ]        (right-associative; -s^2 = -(s^2))
//   primary = number | "s" | "i" | "pi" | parameter | function "(" sum { "," sum } ")" | "(" sum ")"
//   number  = digits [ "." [digits] ] [ exponent ] | "." digits [ exponent ]
//   exponent = ("e" | "E") [ "+" | "-" ] digits
// Every value is complex: 9/11 is 0.8181..., never an integer division. A
// product exp(X)*erfc(Y) is taken as exp(X - Y*Y)*erfcx(Y), its value where
// the two factors overflow and underflow (heat conduction's exp(s^2/4)*erfc(s/2)). The
// functions are exp log sqrt pow(z, w) sin cos tan sinh cosh tanh asin acos
// atan asinh acosh atanh abs arg conj real imag, on principal branches
// (jit/complex_math.h), and the special functions of jit/special_functions.h:
// besselk(nu, z) besseli besselj bessely (order nu, argument z), the scaled
// besselke(nu, z) = e^z K_nu(z) and besselie(nu, z) = e^-|Re z| I_nu(z), erf
// erfc erfcx gamma lgamma expint (E1), and K0(z) K1 I0 I1 J0 J1 for
// besselk(0, z), besselk(1, z), ... Unary minus is subtraction from zero, so
// -2 is the real -2 with imaginary part +0 (sqrt(-2) = i sqrt(2)). "**" is "^".
#pragma once

#include <complex>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace orvane {
namespace jit {

constexpr std::size_t kMaxExpressionLength = 65536;  // bytes of text

// The functions of the grammar, in the order the messages list them: X(NAME,
// ARGUMENTS) each. The generated statements and the formula's program
// (formula_program.h) both compute NAME by cx_NAME.
#define ORVANE_EXPRESSION_FUNCTIONS(X)                                                                   \
  X(exp, 1) X(log, 1) X(sqrt, 1) X(pow, 2) X(sin, 1) X(cos, 1) X(tan, 1) X(sinh, 1) X(cosh, 1) X(tanh, 1) \
  X(asin, 1) X(acos, 1) X(atan, 1) X(asinh, 1) X(acosh, 1) X(atanh, 1) X(abs, 1) X(arg, 1) X(conj, 1)    \
  X(real, 1) X(imag, 1) X(besselk, 2) X(besseli, 2) X(besselj, 2) X(bessely, 2) X(besselke, 2)            \
  X(besselie, 2) X(erf, 1) X(erfc, 1) X(erfcx, 1) X(gamma, 1) X(lgamma, 1) X(expint, 1)
// Parentheses, calls, signs and exponents inside each other.
constexpr int kMaxExpressionNesting = 200;

// A formula checked completely at construction. Every refusal throws
// orvane::Error(kParameters) whose message names the column (1-based, the
// offending character or one past the end) and what was expected, e.g.
// "expression, column 18: expected ')'".
class Expression {
 public:
  // parameterNames: the names the formula may use besides s, i and pi; each
  // must pass checkParameterNames.
  Expression(const std::string& text, const std::vector<std::string>& parameterNames);

  // C++ statements that assign F(s) to `Fs`, for a scope where `s` is the
  // wcomplex sample point, every parameter NAME a wreal variable NAME, and
  // jit/complex_math.h included. Deep formulas keep their intermediate values
  // in `const wcomplex orvane_e<N>` variables, so that no statement nests
  // deeper than a few calls. Nothing of the text is copied: names appear only
  // as validated parameter names, numbers are re-written from their values
  // (shortest form that reads back exactly, as wreal(...)).
  std::string source() const;

  // F(s) in double precision by the same complex functions, in the same
  // order, as the generated statements in the double-precision build (the
  // formula's program, formula_program.h, at one point).
  // values: one per parameter name, in the order of the names.
  std::complex<double> evaluate(const std::vector<double>& values, std::complex<double> s) const;

  enum class Kind { kNumber, kS, kI, kPi, kParameter, kNeg, kAdd, kSub, kMul, kDiv, kPow, kCall };
  struct Node {
    Kind kind;
    int function;   // kCall: index into the function table
    int a, b;       // operands (node indices), -1 where absent
    double value;   // kNumber
    int parameter;  // kParameter: index into the names
  };
  const std::vector<Node>& nodes() const { return nodes_; }
  const std::vector<std::string>& names() const { return names_; }
  // n for a kPow node whose exponent is an integer literal n, 1 <= n <= 64
  // (computed by cx_pown, cx_pow's own result without its tests), else 0.
  int integerExponent(int node) const;

 private:
  std::vector<std::string> names_;
  std::vector<Node> nodes_;  // operands before their operators; the last node is the whole formula
};

// The statements for `text`, as Expression(text, parameterNames).source().
std::string expressionSource(const std::string& text, const std::vector<std::string>& parameterNames);

// F(s) for `text`, as Expression(text, names).evaluate(values, s).
std::complex<double> evaluateExpression(const std::string& text, const std::vector<std::string>& names,
                                        const std::vector<double>& values, std::complex<double> s);

// The functions of the grammar, in the order the messages list them.
const std::vector<std::string>& expressionFunctions();

// True for a name a parameter may not take: s, i, pi and the functions; C++
// keywords; identifiers reserved to the implementation (a leading '_' or a
// "__"); names of the generated code and of its headers (Fs, wreal,
// wcomplex, cx, kPi, double2, float2, cuDoubleComplex, cuFloatComplex, and
// the prefixes cx_, orvane_, ORVANE_, make_, cuC); and macro names of the
// math headers (NAN, INFINITY, HUGE_VAL*, errno, assert, NULL, EOF,
// math_errhandling, MATH_ERR*, M_ followed by a capital or a digit, FP_).
bool isReservedName(const std::string& name);

// Throws Error(kParameters) unless every name is an identifier (a letter,
// then letters, digits or '_'), not reserved, and not repeated.
void checkParameterNames(const std::vector<std::string>& names);

// The NAME and VALUE of --param NAME=VALUE text (blanks around either are
// ignored; VALUE a decimal number with an optional sign, as in the grammar).
// Throws Error(kParameters), e.g. `--param "a=x": expected NAME=VALUE with a
// real VALUE` or `--param "s=1": 's' is a reserved name`.
std::pair<std::string, double> parseParam(const std::string& text);

}  // namespace jit
}  // namespace orvane
