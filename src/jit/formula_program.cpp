// The formula's program: lowering of the tree to steps over columns, the
// block loop, and the transform of a formula on each backend.
#include "jit/formula_program.h"

#include <omp.h>

#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "jit/complex_math.h"
#include "jit/cuda_module.h"
#include "orvane/detail/launch.h"
#include "orvane/error.h"

namespace orvane {
namespace jit {
namespace {

using Kind = Expression::Kind;
constexpr int kAbsent = -1000;

// The kernels of one operation: on a column, and for two operands on two
// columns, a column and a uniform, a uniform and a column.
template <class C>
struct Kernels {
  typedef typename FormulaProgram<C>::Kernel Kernel;
  Kernel one, cc, cu, uc;

  // `out` is never an operand's column (so the loops may keep values in
  // registers and vectorise); operands may be the same column.
  template <C (*F)(C)>
  static void unary(const C* __restrict a, const C*, int, C* __restrict out, int n) {
    for (int i = 0; i < n; ++i) out[i] = F(a[i]);
  }
  template <C (*F)(C, C)>
  static void both(const C* __restrict a, const C* __restrict b, int, C* __restrict out, int n) {
    for (int i = 0; i < n; ++i) out[i] = F(a[i], b[i]);
  }
  template <C (*F)(C, C)>
  static void right(const C* __restrict a, const C* b, int, C* __restrict out, int n) {
    const C w = *b;
    for (int i = 0; i < n; ++i) out[i] = F(a[i], w);
  }
  template <C (*F)(C, C)>
  static void left(const C* a, const C* __restrict b, int, C* __restrict out, int n) {
    const C z = *a;
    for (int i = 0; i < n; ++i) out[i] = F(z, b[i]);
  }
  static void pown(const C* __restrict a, const C*, int power, C* __restrict out, int n) {
    for (int i = 0; i < n; ++i) out[i] = cx_pown(a[i], power);
  }

  template <C (*F)(C)>
  static Kernels of() {
    return Kernels{&unary<F>, nullptr, nullptr, nullptr};
  }
  template <C (*F)(C, C)>
  static Kernels of() {
    return Kernels{nullptr, &both<F>, &right<F>, &left<F>};
  }
};

// The kernels of the grammar's functions, by the node's function index.
template <class C>
const Kernels<C>& functionKernels(int function) {
  static const Kernels<C> table[] = {
#define ORVANE_FUNCTION_KERNELS(name, arguments) Kernels<C>::template of<&cx_##name<C>>(),
      ORVANE_EXPRESSION_FUNCTIONS(ORVANE_FUNCTION_KERNELS)
#undef ORVANE_FUNCTION_KERNELS
  };
  return table[function];
}

template <class C>
Kernels<C> operatorKernels(Kind kind) {
  switch (kind) {
    case Kind::kNeg: return Kernels<C>::template of<&cx_neg<C>>();
    case Kind::kAdd: return Kernels<C>::template of<&cx_add<C>>();
    case Kind::kSub: return Kernels<C>::template of<&cx_sub<C>>();
    case Kind::kMul: return Kernels<C>::template of<&cx_mul<C>>();
    case Kind::kDiv: return Kernels<C>::template of<&cx_div<C>>();
    default: return Kernels<C>::template of<&cx_pow<C>>();
  }
}

// The block's points in the working type: the array itself in double
// precision, a converted column in single precision (as the compiled
// evaluation reads them).
inline const double2* pointColumn(const double2* points, int, double2*) { return points; }
inline const float2* pointColumn(const double2* points, int n, float2* column) {
  for (int i = 0; i < n; ++i) {
    column[i].x = float(points[i].x);
    column[i].y = float(points[i].y);
  }
  return column;
}

[[noreturn]] void refuse(const std::string& message) { throw Error(ErrorKind::kParameters, message); }

}  // namespace

// The program's nodes: each node of the tree stands for the first node that
// computes the same thing (the same operation of the same operands), which is
// computed once and kept in its column until its last use.
template <class C>
FormulaProgram<C>::FormulaProgram(const Expression& expression, const std::vector<double>& values) {
  typedef typename cx_detail::Part<C>::type R;
  const std::vector<Expression::Node>& nodes = expression.nodes();
  const int count = int(nodes.size());
  std::vector<int> same(count), uses(count, 0), power(count, 0);
  std::map<std::array<long long, 5>, int> first;
  for (int n = 0; n < count; ++n) {
    const Expression::Node& node = nodes[n];
    long long leaf = 0;
    if (node.kind == Kind::kNumber) std::memcpy(&leaf, &node.value, sizeof leaf);
    if (node.kind == Kind::kParameter) leaf = node.parameter;
    power[n] = expression.integerExponent(n);
    const bool leafNode = node.a < 0;
    const int a = leafNode ? -1 : same[node.a], b = node.b < 0 || power[n] != 0 ? -1 : same[node.b];
    const std::array<long long, 5> key{(long long)node.kind, leafNode ? leaf : node.function, a, b, power[n]};
    same[n] = first.emplace(key, n).first->second;
    if (same[n] != n || leafNode) continue;
    ++uses[a];
    if (b >= 0) ++uses[b];
  }
  ++uses[same[count - 1]];

  std::vector<int> where(count, kPoints);
  std::vector<int> unused;  // columns whose value has had its last use
  auto uniform = [this](C v) {
    uniforms_.push_back(v);
    return kUniform - int(uniforms_.size() - 1);
  };
  for (int n = 0; n < count; ++n) {
    const Expression::Node& node = nodes[n];
    if (same[n] != n) continue;
    switch (node.kind) {
      case Kind::kNumber: where[n] = uniform(cx_make<C>(R(node.value), R(0))); continue;
      case Kind::kS: where[n] = kPoints; continue;
      case Kind::kI: where[n] = uniform(cx_make<C>(R(0), R(1))); continue;
      case Kind::kPi: where[n] = uniform(cx_make<C>(R(3.141592653589793), R(0))); continue;
      case Kind::kParameter: where[n] = uniform(cx_make<C>(R(values.at(node.parameter)), R(0))); continue;
      default: break;
    }
    const Kernels<C> k = node.kind == Kind::kCall ? functionKernels<C>(node.function) : operatorKernels<C>(node.kind);
    const int opA = same[node.a], opB = node.b >= 0 && power[n] == 0 ? same[node.b] : -1;
    const int a = where[opA];
    // cx_pown's exponent is in the step, not an operand.
    const int b = opB >= 0 ? where[opB] : kAbsent;
    const bool uniformA = a <= kUniform, uniformB = b == kAbsent || b <= kUniform;
    Kernel kernel = power[n] != 0 ? &Kernels<C>::pown : b == kAbsent ? k.one : uniformA ? k.uc : uniformB ? k.cu : k.cc;
    if (uniformA && uniformB) {
      // Without s: computed now, by the same helper.
      C value;
      const C left = uniforms_[kUniform - a];
      const C right = b == kAbsent ? left : uniforms_[kUniform - b];
      (b == kAbsent ? kernel : k.cc)(&left, &right, power[n], &value, 1);
      where[n] = uniform(value);
      continue;
    }
    // The result's column first: it is not an operand's.
    int out;
    if (unused.empty()) {
      out = columns_++;
    } else {
      out = unused.back();
      unused.pop_back();
    }
    for (int operand : {opA, opB}) {
      if (operand >= 0 && --uses[operand] == 0 && where[operand] >= 0) unused.push_back(where[operand]);
    }
    steps_.push_back(Step{kernel, a, b, power[n], out});
    where[n] = out;
  }
  result_ = where[same[count - 1]];
}

// Where the last step may write F itself: the block's values in double
// precision (F's column is the last step's), nowhere in single precision.
inline double2* valueColumn(double2* values, const double2*) { return values; }
inline float2* valueColumn(double2*, const float2*) { return nullptr; }

template <class C>
void FormulaProgram<C>::evaluateBlock(const double2* points, int n, double2* values, C* scratch) const {
  const C* s = pointColumn(points, n, scratch + (long long)columns_ * kBlock);
  auto at = [&](int w) -> const C* {
    return w >= 0 ? scratch + (long long)w * kBlock : w == kPoints ? s : &uniforms_[kUniform - w];
  };
  // The last step writes F into the values, unless they are the points it reads.
  C* direct = valueColumn(values, s);
  if (!steps_.empty() && (void*)values == (void*)points && (steps_.back().a == kPoints || steps_.back().b == kPoints))
    direct = nullptr;
  for (std::size_t k = 0; k < steps_.size(); ++k) {
    const Step& step = steps_[k];
    C* out = direct != nullptr && k + 1 == steps_.size() ? direct : scratch + (long long)step.out * kBlock;
    step.kernel(at(step.a), step.b == kAbsent ? nullptr : at(step.b), step.power, out, n);
  }
  if (direct != nullptr && result_ >= 0) return;
  const C* F = at(result_);
  const int stride = result_ <= kUniform ? 0 : 1;
  for (int i = 0; i < n; ++i) {
    values[i].x = double(F[i * stride].x);
    values[i].y = double(F[i * stride].y);
  }
}

template <class C>
void FormulaProgram<C>::evaluate(const double2* points, long long count, double2* values) const {
  const long long blocks = (count + kBlock - 1) / kBlock;
  const bool share = count >= detail::kShareElements && !omp_in_parallel();
  const std::size_t scratchSize = std::size_t(columns_ + 1) * kBlock;
#pragma omp parallel if (share)
  {
    // Each thread's own columns; the steps only read the program.
    const std::unique_ptr<C[]> scratch(new C[scratchSize]);
#pragma omp for schedule(static)
    for (long long k = 0; k < blocks; ++k) {
      const long long first = k * kBlock;
      const int n = int(count - first < kBlock ? count - first : kBlock);
      evaluateBlock(points + first, n, values + first, scratch.get());
    }
  }
}

template class FormulaProgram<double2>;
template class FormulaProgram<float2>;

namespace {

// The transform of a formula's program: evaluate() on host memory, the rows
// of the Weeks contour by PointTransform (points, F in place, weights), which
// gives the compiled transform's samples.
class FormulaTransform final : public PointTransform {
 public:
  FormulaTransform(const Expression& e, const std::vector<double>& values) : program_(e, values) {}
  int evaluate(const double2* devPoints, long long count, double2* devValues) const override {
    program_.evaluate(devPoints, count, devValues);
    return detail::kLaunchSuccess;
  }

 private:
  FormulaProgram<wcomplex> program_;
};

// True where ORVANE_JIT_FORMULA asks for the compiler.
bool compileFormulas() {
  const char* chosen = std::getenv("ORVANE_JIT_FORMULA");
  if (chosen == nullptr || chosen[0] == '\0' || std::string(chosen) == "evaluate") return false;
  if (std::string(chosen) == "compile") return true;
  std::string shown;
  for (const char* p = chosen; *p != '\0' && shown.size() < 40; ++p) shown += (*p >= 0x20 && *p < 0x7f) ? *p : '?';
  refuse("ORVANE_JIT_FORMULA is '" + shown + "'; expected evaluate (the default) or compile");
}

}  // namespace

void checkConstants(const Params& params) {
  if (params.size() > std::size_t(kMaxParams))
    refuse("at most " + std::to_string(kMaxParams) + " parameters, not " + std::to_string(params.size()));
  std::vector<std::string> names;
  for (const auto& p : params) names.push_back(p.first);
  checkParameterNames(names);
  for (const auto& p : params) {
    if (std::isfinite(p.second)) continue;
    const char* shown = std::isnan(p.second) ? "nan" : p.second > 0 ? "inf" : "-inf";
    refuse("constant '" + p.first + "' is " + shown + "; expected a finite real number");
  }
}

std::unique_ptr<Transform> formulaTransform(const std::string& text, const Params& params,
                                            const Options& options) {
  checkConstants(params);
  std::vector<std::string> names;
  std::vector<double> values;
  for (const auto& p : params) {
    names.push_back(p.first);
    values.push_back(p.second);
  }
  const Expression expression(text, names);
  const bool compiled = compileFormulas();
#if defined(ORVANE_BACKEND_CUDA)
  (void)compiled;
  return compileStatements(expression.source(), "expression", params, options);
#else
  if (compiled) return compileStatements(expression.source(), "expression", params, options);
  return std::unique_ptr<Transform>(new FormulaTransform(expression, values));
#endif
}

}  // namespace jit
}  // namespace orvane
