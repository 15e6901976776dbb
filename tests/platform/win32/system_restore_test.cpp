// Loading the System Restore client: from the system folder only.
#include <gtest/gtest.h>

#include <string>

#include "platform/win32/system_restore.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/win_types.h"

namespace hv {
namespace {

constexpr DWORD kPlantedMarker = 0x544E4C50u;  // set by the planted library

std::string ExecutableFolder() { return Win32Platform().ProgramFolder(); }

TEST(Win32SystemRestore, AbsentLibraryGivesNull) {
  EXPECT_EQ(win32::LoadSrClientFrom(""), nullptr) << "no folder: no search by bare name";
  char temp[MAX_PATH] = {};
  ASSERT_NE(::GetTempPathA(MAX_PATH, temp), 0u);
  const std::string empty = std::string(temp) + "hivora-no-srclient-" +
                            std::to_string(::GetCurrentProcessId());
  ASSERT_TRUE(::CreateDirectoryA(empty.c_str(), nullptr));
  EXPECT_EQ(win32::LoadSrClientFrom(empty), nullptr);
  EXPECT_EQ(win32::LoadSrClientFrom(empty + "\\"), nullptr);
  ::RemoveDirectoryA(empty.c_str());
}

TEST(Win32SystemRestore, LibraryInTheGivenFolderIsLoadedAndCalled) {
  const auto library = win32::LoadSrClientFrom(ExecutableFolder());
  ASSERT_NE(library, nullptr) << "the planted SrClient.dll beside the test";
  ASSERT_TRUE(library->HasSetRestorePoint());
  RestorePointInfoA info;
  info.dwEventType = kBeginSystemChange;
  StateMgrStatus status;
  EXPECT_TRUE(library->SRSetRestorePointA(&info, &status));
  EXPECT_EQ(status.nStatus, kPlantedMarker);
}

TEST(Win32SystemRestore, PlatformNeverLoadsALibraryPlantedBesideTheProgram) {
  const std::string planted = ExecutableFolder() + "SrClient.dll";
  ASSERT_NE(::GetFileAttributesA(planted.c_str()), INVALID_FILE_ATTRIBUTES) << planted;
  Win32Platform os;
  const auto library = os.LoadSrClient();
  // Calling the real entry point would create a restore point; the loaded
  // module is identified by its path instead.
  EXPECT_EQ(::GetModuleHandleA(planted.c_str()), nullptr);
  if (library != nullptr) {
    const std::string system = win32::SystemFolder() + "\\SrClient.dll";
    EXPECT_NE(::GetModuleHandleA(system.c_str()), nullptr) << system;
  }
}

}  // namespace
}  // namespace hv
