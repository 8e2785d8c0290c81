// Test support: every formula of the tests (the reference pairs' and
// tests/data/hydrology_formulas.txt), points that try them hard, and the
// comparison of a formula's program with the compiled formula.
#pragma once

#include <cmath>
#include <fstream>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "jit/expression.h"
#include "jit/formula_program.h"
#include "jit/runtime_transform.h"
#include "orvane/transform.h"
#include "support/reference.h"

namespace formula_test {

using orvane::jit::Expression;

struct NamedFormula {
  std::string id, text;
};

// The reference pairs' formulas and tests/data/hydrology_formulas.txt.
inline std::vector<NamedFormula> allFormulas() {
  std::vector<NamedFormula> out;
  for (const auto* table : {&reference::pairsFormulas(), &reference::classicPairsFormulas()}) {
    for (const reference::Formula& f : *table) out.push_back({f.id, f.text});
  }
  std::ifstream in(std::string(ORVANE_SOURCE_DIR) + "/tests/data/hydrology_formulas.txt");
  for (std::string line; std::getline(in, line);) {
    const std::size_t bar = line.find(" | ");
    if (line.empty() || line[0] == '#' || bar == std::string::npos) continue;
    out.push_back({line.substr(0, bar), line.substr(bar + 3)});
  }
  return out;
}

// Points on and off the branch cuts, near the poles of the reference pairs,
// huge and tiny, signed zeros, infinities and NaN.
inline std::vector<double2> testPoints() {
  const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
  const double parts[] = {0.0, -0.0, 1.0, -1.0, 0.5, -2.0, 3.0, 20.0, -40.0, 1e-300, 1e300, 1e-8, inf, -inf, nan};
  std::vector<double2> out;
  for (double x : parts) {
    for (double y : parts) out.push_back(make_double2(x, y));
  }
  for (int k = 0; k < 2000; ++k) out.push_back(make_double2(0.3 + 0.01 * k, -50 + 0.05 * k));
  return out;
}

inline bool sameBits(double2 a, double2 b) {
  auto eq = [](double p, double q) {
    return (std::isnan(p) && std::isnan(q)) || (p == q && std::signbit(p) == std::signbit(q));
  };
  return eq(a.x, b.x) && eq(a.y, b.y);
}

inline std::string shown(double2 v) {
  std::ostringstream s;
  s.precision(17);
  s << "(" << v.x << ", " << v.y << ")";
  return s.str();
}

// Statements of every formula at once: the parameter `which` picks one, so
// that the whole table costs one compile.
inline std::string statementsOfAll(const std::vector<NamedFormula>& formulas) {
  std::string statements;
  for (std::size_t k = 0; k < formulas.size(); ++k)
    statements += (k ? "} else if (which == " : "if (which == ") + std::to_string(k) + ") {\n" +
                  Expression(formulas[k].text, {}).source();
  return statements + "}\n";
}

// The compiled formula and the formula's program at every test point: the
// formulas whose values differ in any bit, with the first point where they do.
inline std::vector<std::string> differences(const std::vector<NamedFormula>& formulas, const std::string& cacheDir) {
  const std::vector<double2> points = testPoints();
  const long long n = (long long)points.size();
  const std::string statements = statementsOfAll(formulas);
  orvane::jit::Options options;
  options.cacheDir = cacheDir;
  std::vector<double2> compiled(n), program(n);
  std::vector<std::string> out;
  for (std::size_t k = 0; k < formulas.size(); ++k) {
    const std::unique_ptr<orvane::Transform> c =
        orvane::jit::compileStatements(statements, "formulas", {{"which", double(k)}}, options);
    const std::unique_ptr<orvane::Transform> p = orvane::jit::formulaTransform(formulas[k].text, {});
    if (c->evaluate(points.data(), n, compiled.data()) != 0 || p->evaluate(points.data(), n, program.data()) != 0) {
      out.push_back(formulas[k].id + ": an evaluation failed");
      continue;
    }
    for (long long e = 0; e < n; ++e) {
      if (sameBits(compiled[e], program[e])) continue;
      out.push_back(formulas[k].id + " (" + formulas[k].text + ") at " + shown(points[e]) + ": compiled " +
                    shown(compiled[e]) + ", program " + shown(program[e]));
      break;
    }
  }
  return out;
}

}  // namespace formula_test
