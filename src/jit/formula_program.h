// Formulas without a compiler: the parse tree of a formula (expression.h)
// lowered to a register program that runs over blocks of points. Each step of
// the program is one operation of the tree applied to a whole column of the
// block (kBlock points), so the cost of choosing the operation is paid once
// per block, not once per point. The steps call the very cx_ helpers that the
// generated statements call (jit/complex_math.h), in the same order, so the
// values are the compiled formula's bit for bit. Parts of the formula without
// s (constants, parameters and what is made of them alone) are computed once,
// when the program is made.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "jit/expression.h"
#include "jit/runtime_transform.h"
#include "orvane/config.h"
#include "orvane/transform.h"

namespace orvane {
namespace jit {

// C: the working complex type of the steps, double2 or float2 (the
// single-precision build's, as the generated statements compute there).
template <class C>
class FormulaProgram {
 public:
  static constexpr int kBlock = 256;

  // values: one per parameter name of the expression, in the order of the names.
  FormulaProgram(const Expression& expression, const std::vector<double>& values);

  // F at `count` points (host memory) into `values` (which may be `points`
  // itself). Outside a parallel region the blocks are shared among OpenMP
  // threads from detail::kShareElements points on. Every call has scratch
  // columns of its own: any number of threads may call at once.
  void evaluate(const double2* points, long long count, double2* values) const;

  // The scratch columns a block needs (for tests: a tree's values live only
  // until their operator has used them).
  int columns() const { return columns_; }

  // Where an operand is: a scratch column (>= 0), the block's points
  // (kPoints) or a value computed when the program was made (kUniform - k for
  // uniforms_[k]).
  static constexpr int kPoints = -1;
  static constexpr int kUniform = -2;
  typedef void (*Kernel)(const C* a, const C* b, int power, C* out, int n);
  struct Step {
    Kernel kernel;
    int a, b;   // operands (b: -1000 where absent)
    int power;  // cx_pown's exponent
    int out;    // its column
  };

 private:
  void evaluateBlock(const double2* points, int n, double2* values, C* scratch) const;

  std::vector<Step> steps_;
  std::vector<C> uniforms_;
  int columns_ = 0;
  int result_ = kPoints;  // where F is
};

extern template class FormulaProgram<double2>;
extern template class FormulaProgram<float2>;

// The transform of a formula on this backend. On the host: the formula's
// program (no compiler, nothing written to disk), unless ORVANE_JIT_FORMULA
// is "compile", which compiles the generated statements (compileStatements).
// On the CUDA backend: the generated statements compiled by NVRTC in this
// process. Refuses, as Error(kParameters), a formula that does not parse,
// names that checkParameterNames refuses, a constant that is not finite, and
// an ORVANE_JIT_FORMULA that is neither "evaluate" nor "compile".
std::unique_ptr<Transform> formulaTransform(const std::string& text, const Params& params,
                                            const Options& options = Options());

// Throws Error(kParameters) unless every constant has a name that
// checkParameterNames takes and a finite value, e.g. "constant 'a' is nan;
// expected a finite real number".
void checkConstants(const Params& params);

}  // namespace jit
}  // namespace orvane
