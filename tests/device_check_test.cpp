// The device check: its description byte for byte, the capabilities refused,
// the runtime's reason on the error stream, the refusal as an error of its
// kind, and the limits copied into the solver object from the host backend's
// emulated device.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "device/check_gpu.h"
#include "driver/reports.h"
#include "driver/weeks_method.h"
#include "support/driver_support.h"

namespace {

gpu::DeviceProp sampleDevice(int major, int minor) {
  gpu::DeviceProp p;
  std::memset(&p, 0, sizeof p);
  std::strcpy(p.name, "Test Device 42");
  p.maxThreadsPerBlock = 512;
  p.maxThreadsDim[0] = 512;
  p.maxThreadsDim[1] = 256;
  p.maxThreadsDim[2] = 64;
  p.maxGridSize[0] = 65535;
  p.maxGridSize[1] = 65534;
  p.maxGridSize[2] = 1;
  p.warpSize = 32;
  p.major = major;
  p.minor = minor;
  return p;
}

std::string description(int count, int major, int minor) {
  return "Information for the CUDA device = " + std::to_string(count) +
         "\n"
         "Name: Test Device 42\n"
         "Maximum number of threads per block: 512\n"
         "Maximum threads dimensions: [ 512, 256, 64]\n"
         "Maximum grid size: [ 65535, 65534, 1]\n"
         "Warp size: 32\n"
         "Computer Capability: " +
         std::to_string(major) + "." + std::to_string(minor) + "\n\n\n";
}

// The device as the check describes it.
orvane::DeviceInfo info(const gpu::DeviceProp& p) {
  return orvane::deviceCheckFrom(gpu::kSuccess, 1, gpu::kSuccess, p).device;
}

}  // namespace

TEST(DeviceCheck, DescriptionLines) {
  std::ostringstream out;
  writeDeviceDescription(1, info(sampleDevice(1, 3)), out);
  EXPECT_EQ(out.str(), description(1, 1, 3));
}

TEST(DeviceCheck, CapabilitiesBelowOneThreeAreRefused) {
  struct Case {
    int major, minor;
    bool accepted;
  } cases[] = {{1, 0, false}, {1, 1, false}, {1, 2, false}, {1, 3, true}, {1, 4, true},
               {2, 0, true},  {2, 1, true},  {9, 0, true},  {0, 0, true}};
  for (const Case& c : cases) {
    EXPECT_EQ(orvane::capabilityAccepted(c.major, c.minor), c.accepted) << c.major << "." << c.minor;
  }
}

TEST(DeviceCheck, WhatEachOutcomeWrites) {
  struct Case {
    const char* name;
    gpu::Status countStatus;
    int count;
    gpu::Status propStatus;
    int major, minor;
    bool accepted;
    std::string out, err;
  };
  const std::string countLine = "Number of CUDA enabled devices = ";
  const Case cases[] = {
      {"one device of capability 1.3", gpu::kSuccess, 1, gpu::kSuccess, 1, 3, true,
       countLine + "1\n" + description(1, 1, 3), ""},
      // The first description line repeats the count, not the index 0.
      {"two devices", gpu::kSuccess, 2, gpu::kSuccess, 2, 0, true,
       countLine + "2\n" + description(2, 2, 0), ""},
      {"capability 1.2", gpu::kSuccess, 1, gpu::kSuccess, 1, 2, false,
       countLine + "1\n" + description(1, 1, 2), ""},
      {"no device", gpu::kSuccess, 0, gpu::kSuccess, 2, 0, false, countLine + "0\n", ""},
      // A failed count shows 0 whatever the runtime left in the count.
      {"count query failed", gpu::kErrorNoDevice, 7, gpu::kSuccess, 2, 0, false, countLine + "0\n",
       std::string("The CUDA runtime could not count the devices: ") +
           gpu::errorString(gpu::kErrorNoDevice) + "\n"},
      {"property query failed", gpu::kSuccess, 1, gpu::kErrorInvalidValue, 2, 0, false,
       countLine + "1\n",
       std::string("The CUDA runtime could not describe device 0: ") +
           gpu::errorString(gpu::kErrorInvalidValue) + "\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::ostringstream out, err;
    const orvane::DeviceCheck check =
        orvane::deviceCheckFrom(c.countStatus, c.count, c.propStatus, sampleDevice(c.major, c.minor));
    EXPECT_EQ(check.accepted, c.accepted);
    writeDeviceCheck(check, out, err);
    EXPECT_EQ(out.str(), c.out);
    EXPECT_EQ(err.str(), c.err);
  }
}

#if ORVANE_BACKEND_HOST

// The host backend reads its environment on every query.
TEST(DeviceCheck, EmulatedDeviceLimitsAreCopiedIntoTheSolver) {
  driver_test::ScratchDir dir;
  driver_test::writeText(dir.file("UserParameters.txt"), driver_test::render(driver_test::Layout()));
  std::string here = std::filesystem::current_path().string();
  std::filesystem::current_path(dir.path());
  std::ostringstream console;
  std::streambuf* old = std::cout.rdbuf(console.rdbuf());
  {
    WeeksMethod weeks;
    setenv("ORVANE_HOST_DEVICE_COUNT", "2", 1);
    setenv("ORVANE_HOST_CAPABILITY", "1.3", 1);
    setenv("ORVANE_HOST_MAX_THREADS_PER_BLOCK", "256", 1);
    weeks.wfnCheckGPU();
    unsetenv("ORVANE_HOST_DEVICE_COUNT");
    unsetenv("ORVANE_HOST_CAPABILITY");
    unsetenv("ORVANE_HOST_MAX_THREADS_PER_BLOCK");
    EXPECT_EQ(weeks.maxThreadsPerBlock, 256);
    EXPECT_EQ(weeks.major, 1);
    EXPECT_EQ(weeks.minor, 3);
    gpu::DeviceProp prop;
    ASSERT_EQ(gpu::getDeviceProperties(&prop, 0), gpu::kSuccess);
    EXPECT_EQ(weeks.warpSize, prop.warpSize);
    for (int d = 0; d < 3; ++d) {
      EXPECT_EQ(weeks.maxThreadsDim[d], prop.maxThreadsDim[d]);
      EXPECT_EQ(weeks.maxGridSize[d], prop.maxGridSize[d]);
    }
  }
  std::cout.rdbuf(old);
  std::filesystem::current_path(here);
  std::string text = console.str();
  EXPECT_NE(text.find("Number of CUDA enabled devices = 2\nInformation for the CUDA device = 2\n"
                      "Name: "),
            std::string::npos);
  EXPECT_NE(text.find("no GPU used"), std::string::npos);
  EXPECT_NE(text.find("Maximum number of threads per block: 256\n"), std::string::npos);
}
#endif
