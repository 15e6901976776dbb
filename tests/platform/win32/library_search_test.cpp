// The hardened library search: a library planted beside the program is not
// loaded by name, while the system's libraries still are.
#include <gtest/gtest.h>

#include <string>

#include "platform/win32/library_search.h"
#include "platform/win32/system_restore.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/win_types.h"

namespace hv {
namespace {

TEST(Win32LibrarySearch, PlantedLibraryIsNotLoadedByName) {
  const std::string planted = Win32Platform().ProgramFolder() + "SrClient.dll";
  ASSERT_NE(::GetFileAttributesA(planted.c_str()), INVALID_FILE_ATTRIBUTES) << planted;
  if (!win32::HardenLibrarySearch()) {
    GTEST_SKIP() << "this release cannot restrict the search to the system folder";
  }
  const HMODULE byName = ::LoadLibraryA("SrClient.dll");
  EXPECT_EQ(::GetModuleHandleA(planted.c_str()), nullptr);
  if (byName != nullptr) ::FreeLibrary(byName);

  // The platform's own loading still finds the system's library, if any.
  const std::string system = win32::SystemFolder() + "\\SrClient.dll";
  const bool present = ::GetFileAttributesA(system.c_str()) != INVALID_FILE_ATTRIBUTES;
  EXPECT_EQ(Win32Platform().LoadSrClient() != nullptr, present);
}

}  // namespace
}  // namespace hv
