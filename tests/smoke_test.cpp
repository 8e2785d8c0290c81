#include <gtest/gtest.h>

#include "device/gpu_complex.h"

TEST(Smoke, ModulusOfThreeFourIsFive) { EXPECT_EQ(cuCabs(make_cuDoubleComplex(3.0, 4.0)), 5.0); }
