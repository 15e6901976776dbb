#pragma once
// A machine for the application and workflow tests: drive C: with hive files
// of chosen sizes, each listed in the hivelist and openable for saving.
#include <cstdint>
#include <string>
#include <vector>

#include "support/fake_platform.h"

namespace hv::test {

struct TestHive {
  std::string name;  // "\REGISTRY\MACHINE\SYSTEM"
  std::string file;  // "C:\Windows\System32\config\SYSTEM"
  std::uint64_t size;
};

inline std::vector<TestHive> ThreeHives() {
  return {
      {"\\REGISTRY\\MACHINE\\SYSTEM", "C:\\Windows\\System32\\config\\SYSTEM", 40000},
      {"\\REGISTRY\\MACHINE\\SOFTWARE", "C:\\Windows\\System32\\config\\SOFTWARE", 80000},
      {"\\REGISTRY\\USER\\S-1-5-18", "C:\\Windows\\System32\\config\\DEFAULT", 20000},
  };
}

inline void AddMachine(FakePlatform& fake, const std::vector<TestHive>& hives) {
  fake.AddDrive('C', drive::kFixed, {"\\Device\\HarddiskVolume1"});
  for (const auto& hive : hives) {
    fake.AddHivelistString(hive.name, "\\Device\\HarddiskVolume1" + hive.file.substr(2));
    fake.CreateFileOfSize(hive.file, hive.size);
    fake.AddHive(hive.name);
  }
}

}  // namespace hv::test
