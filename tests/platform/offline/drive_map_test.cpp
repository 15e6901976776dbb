#include "platform/offline/drive_map.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "support/temp_dir.h"

namespace hv::offline {
namespace {

using test::TempDir;
using test::WriteWholeFile;
namespace fs = std::filesystem;

// The host's own spelling rules: a Windows host matches names in any case.
bool SamePath(const fs::path& a, const fs::path& b) {
#ifdef _WIN32
  auto fold = [](const fs::path& p) {
    std::string s = p.lexically_normal().generic_string();
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  return fold(a) == fold(b);
#else
  return a == b;
#endif
}

struct Installation {
  TempDir dir;
  Installation() {
    WriteWholeFile(dir / "c/Windows/System32/config/SOFTWARE", "64");
    WriteWholeFile(dir / "c/Windows/SysWOW64/config/readme.txt", "32");
    WriteWholeFile(dir / "c/Windows/System32/drivers/etc/hosts", "hosts");
    WriteWholeFile(dir / "e/Data/file.txt", "e");
  }
  DriveMap Map(bool wow64) const {
    return DriveMap({{'C', drive::kFixed, "\\Device\\HarddiskVolume1", dir / "c"},
                     {'E', drive::kRemovable, "\\Device\\HarddiskVolume10", dir / "e"}},
                    wow64);
  }
};

TEST(DriveMapTest, UnknownDriveAndMissingTail) {
  Installation i;
  DriveMap map = i.Map(false);
  EXPECT_FALSE(map.Resolve("Q:\\Windows"));
  // A missing tail keeps its spelling, below the matched folders.
  EXPECT_PRED2(SamePath, *map.Resolve("c:\\WINDOWS\\system32\\CONFIG\\New.hvx"), i.dir / "c/Windows/System32/config/New.hvx");
  EXPECT_PRED2(SamePath, *map.Resolve("C:\\Windows\\..\\..\\Windows\\.\\System32"), i.dir / "c/Windows/System32");
}

#ifdef _WIN32
// On a Windows host the program's own folder is handed out as "\\?\C:\...": a host path, not
// a path of the installation, and never relative to the current drive.
TEST(DriveMapTest, HostPathsInTheVerbatimFormStayAsTheyAre) {
  Installation i;
  DriveMap map = i.Map(false);
  EXPECT_PRED2(SamePath, *map.Resolve("\\\\?\\" + (i.dir / "e/Data/file.txt").string()), i.dir / "e/Data/file.txt");
  EXPECT_PRED2(SamePath, *map.Resolve("\\\\?\\UNC\\server\\share\\x.ini"), fs::path("\\\\server\\share\\x.ini"));
}
#endif

TEST(DriveMapTest, ResolvesAnyCaseOntoHostFolders) {
  Installation i;
  DriveMap map = i.Map(false);
  EXPECT_PRED2(SamePath, *map.Resolve("c:\\windows\\SYSTEM32\\Config\\software"), i.dir / "c/Windows/System32/config/SOFTWARE");
  EXPECT_PRED2(SamePath, *map.Resolve("E:/data/FILE.TXT"), i.dir / "e/Data/file.txt");
  // Without WOW64 there is no sysnative alias.
  EXPECT_PRED2(SamePath, *map.Resolve("C:\\Windows\\sysnative\\config\\SOFTWARE"), i.dir / "c/Windows/sysnative/config/SOFTWARE");
}

TEST(DriveMapTest, Wow64FileSystemRedirection) {
  Installation i;
  DriveMap map = i.Map(true);
  EXPECT_PRED2(SamePath, *map.Resolve("C:\\Windows\\System32\\config\\readme.txt"), i.dir / "c/Windows/SysWOW64/config/readme.txt");
  EXPECT_PRED2(SamePath, *map.Resolve("C:\\Windows\\sysnative\\config\\SOFTWARE"), i.dir / "c/Windows/System32/config/SOFTWARE");
  EXPECT_PRED2(SamePath, *map.Resolve("c:\\windows\\SYSNATIVE\\Config\\software"), i.dir / "c/Windows/System32/config/SOFTWARE");
  // Folders Windows exempts from redirection.
  EXPECT_PRED2(SamePath, *map.Resolve("C:\\Windows\\System32\\drivers\\etc\\hosts"), i.dir / "c/Windows/System32/drivers/etc/hosts");
  // Kernel paths are never redirected.
  EXPECT_PRED2(SamePath, *map.ResolveNative("C:\\Windows\\System32\\config\\SOFTWARE"), i.dir / "c/Windows/System32/config/SOFTWARE");
  EXPECT_PRED2(SamePath, *map.ResolveKernel("\\Device\\HarddiskVolume1\\Windows\\System32\\config\\SOFTWARE"), i.dir / "c/Windows/System32/config/SOFTWARE");
}

TEST(DriveMapTest, KernelPathsMatchWholeDeviceNames) {
  Installation i;
  DriveMap map = i.Map(false);
  EXPECT_PRED2(SamePath, *map.ResolveKernel("\\Device\\HarddiskVolume10\\Data\\file.txt"), i.dir / "e/Data/file.txt");
  EXPECT_FALSE(map.ResolveKernel("\\Device\\HarddiskVolume1x\\Data"));
  EXPECT_PRED2(SamePath, *map.ResolveKernel("\\??\\E:\\Data\\file.txt"), i.dir / "e/Data/file.txt");
  EXPECT_PRED2(SamePath, *map.ResolveKernel("\\SystemRoot\\System32\\config\\SOFTWARE"), i.dir / "c/Windows/System32/config/SOFTWARE");
  EXPECT_EQ(map.ToWindows(i.dir / "c/Windows/System32"), "C:\\Windows\\System32");
  EXPECT_EQ(map.ToWindows(i.dir / "c"), "C:\\");
  EXPECT_EQ(map.ToWindows(i.dir / "elsewhere"), (i.dir / "elsewhere").string());
}

}  // namespace
}  // namespace hv::offline
