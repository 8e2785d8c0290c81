// orvane::compile: a formula in s, as the command line's --expr takes it,
// compiled at run time.
#include <string>
#include <vector>

#include "jit/expression.h"
#include "jit/runtime_transform.h"
#include "orvane/transform.h"

namespace orvane {

std::unique_ptr<Transform> compile(const std::string& formula, const Constants& constants) {
  std::vector<std::string> names;
  for (const auto& c : constants) names.push_back(c.first);
  return jit::compileStatements(jit::expressionSource(formula, names), "expression", constants);
}

}  // namespace orvane
