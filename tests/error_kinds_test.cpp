// The kinds of failure the engine reports.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "orvane/error.h"

TEST(ErrorKinds, EachKindHasItsOwnName) {
  using orvane::ErrorKind;
  const ErrorKind kinds[] = {ErrorKind::kParameterFile, ErrorKind::kParameters,
                             ErrorKind::kSearchSwitch,  ErrorKind::kNoDevice,
                             ErrorKind::kSizeRefused,   ErrorKind::kAllocation,
                             ErrorKind::kFft,           ErrorKind::kDeviceCall,
                             ErrorKind::kResources};
  std::set<std::string> names;
  for (ErrorKind kind : kinds) {
    const std::string name = orvane::kindName(kind);
    EXPECT_FALSE(name.empty());
    EXPECT_NE(name, "unknown");
    names.insert(name);
  }
  EXPECT_EQ(names.size(), sizeof kinds / sizeof kinds[0]);
  EXPECT_STREQ(orvane::kindName(ErrorKind::kParameterFile), "parameter file");
}
