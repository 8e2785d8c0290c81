// The single-precision build: a formula's program computes in float2 as the
// compiled formula does there (the statements demoted to float), bit for bit
// on every formula of the tests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/formulas.h"

TEST(FormulaProgramSingle, GivesTheCompiledFormulasBitsOnEveryReferenceFormula) {
  static_assert(ORVANE_SINGLE == 1, "the single-precision engine");
  const std::vector<formula_test::NamedFormula> formulas = formula_test::allFormulas();
  ASSERT_GT(formulas.size(), 70u);
  for (const std::string& d : formula_test::differences(formulas, ::testing::TempDir() + "formula-program-single-cache"))
    ADD_FAILURE() << d;
}
