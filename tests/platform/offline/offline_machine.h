#pragma once
// A demo installation in a fresh folder and an offline platform on it.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "platform/offline/demo_machine.h"
#include "platform/offline/offline_platform.h"
#include "support/temp_dir.h"

namespace hv::test {

struct OfflineMachine {
  TempDir dir;
  std::filesystem::path root = dir / "machine";

  OfflineMachine() {
    std::string error;
    EXPECT_TRUE(offline::EnsureDemoMachine(root, &error)) << error;
  }

  // wow64 nullopt: as the installation says (Windows\SysWOW64 present).
  std::unique_ptr<offline::OfflinePlatform> Platform(std::optional<bool> wow64 = false) const {
    std::string error;
    auto machine = offline::DescribeRoot(root, &error);
    EXPECT_TRUE(machine) << error;
    machine->wow64 = wow64;
    offline::OfflineOptions options;
    options.machine = *machine;
    options.programFolder = dir / "config";
    options.dataFolder = dir / "data";
    return std::make_unique<offline::OfflinePlatform>(std::move(options));
  }

  std::filesystem::path Config(const char* name) const {
    return root / "Windows" / "System32" / "config" / name;
  }
};

// Enables one privilege on the platform's token.
inline void Enable(Platform& os, const char* privilege) {
  HANDLE token = nullptr;
  ASSERT_TRUE(os.OpenProcessToken(access::kTokenAdjustPrivileges | access::kTokenQuery, &token));
  TokenPrivileges tp;
  tp.privilegeCount = 1;
  ASSERT_TRUE(os.LookupPrivilegeValueA(nullptr, privilege, &tp.luid));
  tp.attributes = kSePrivilegeEnabled;
  ASSERT_TRUE(os.AdjustTokenPrivileges(token, 0, &tp, 0, nullptr, nullptr));
  os.CloseHandle(token);
}

}  // namespace hv::test
