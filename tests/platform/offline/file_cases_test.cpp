// The offline platform on the shared file and full-path cases, the same cases
// the real kernel32 functions are held to.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/file_cases.h"
#include "platform/full_path_cases.h"
#include "platform/offline/offline_platform.h"
#include "support/temp_dir.h"

namespace hv::offline {
namespace {

TEST(OfflineFileCases, EveryCase) {
  test::TempDir dir;
  std::filesystem::create_directories(dir / "c" / "scratch");
  OfflineOptions options;
  options.machine.drives = {{'C', drive::kFixed, "\\Device\\HarddiskVolume1", dir / "c"}};
  options.machine.hivelist.emplace();
  options.machine.wow64 = false;
  OfflinePlatform os(options);
  test::file_cases::RunFileCases(os, "C:\\scratch\\");
  test::full_path_cases::RunFullPathCases(os);
}

}  // namespace
}  // namespace hv::offline
