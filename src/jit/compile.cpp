// orvane::compile: a formula in s, as the command line's --expr takes it, as
// a transform of this backend (jit/formula_program.h).
#include <string>
#include <vector>

#include "jit/formula_program.h"
#include "orvane/transform.h"

namespace orvane {

std::unique_ptr<Transform> compile(const std::string& formula, const Constants& constants) {
  return jit::formulaTransform(formula, constants);
}

}  // namespace orvane
