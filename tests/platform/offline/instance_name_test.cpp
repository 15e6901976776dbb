// The single-instance name of a program on an offline installation.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/offline/instance_name.h"

namespace hv::offline {
namespace {

TEST(InstanceName, OneNamePerInstallationThatFitsAWindowClass) {
  const std::string base = "Talvix Hivora Made by Talvix Software";
  const std::string a = InstanceNameFor(base, "/mnt/windows");
  EXPECT_EQ(a, InstanceNameFor(base, "/mnt/windows"));
  EXPECT_EQ(a.rfind(base + " ", 0), 0u);
  // The system's class-name field holds 63 characters.
  EXPECT_LE(a.size(), 63u);
  std::set<std::string> names;
  for (const char* identity : {"/mnt/windows", "/mnt/windows2", "/mnt/Windows", "C:\\m", "c:\\m", ""}) {
    names.insert(InstanceNameFor(base, identity));
  }
  EXPECT_EQ(names.size(), 6u);
}

}  // namespace
}  // namespace hv::offline
