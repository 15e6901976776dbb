#pragma once
// Access to the sample hives in ../shared/hives. Outside CI a missing folder
// skips the test with a message; with CI=true it fails, so CI always runs them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace hv::test {

inline std::filesystem::path SharedHivesDir() { return HIVORA_SHARED_HIVES; }

inline bool SharedHivesPresent() { return std::filesystem::is_directory(SharedHivesDir()); }

inline bool RunningInCi() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string(ci) == "true";
}

}  // namespace hv::test

// Use at the top of a test body that needs the sample hives.
#define HV_REQUIRE_SHARED_HIVES()                                                              \
  do {                                                                                         \
    if (!::hv::test::SharedHivesPresent()) {                                                   \
      if (::hv::test::RunningInCi()) {                                                         \
        FAIL() << "sample hives missing at " << ::hv::test::SharedHivesDir() << " (CI=true)";  \
      }                                                                                        \
      GTEST_SKIP() << "sample hives not found at " << ::hv::test::SharedHivesDir()             \
                   << "; clone next to ../shared to run this test";                            \
    }                                                                                          \
  } while (0)
