#pragma once
#include <gtest/gtest.h>

#include "support/fake_platform.h"

namespace hv::test {

// A fresh fake machine, installed as the platform for the test's length.
class FakePlatformTest : public ::testing::Test {
 protected:
  FakePlatform fake;
  ScopedPlatform scope{&fake};
};

}  // namespace hv::test
