#include "platform/offline/machine_description.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"

namespace hv::offline {
namespace {

using test::TempDir;
using test::WriteWholeFile;

struct DescriptionFile {
  TempDir dir;
  std::filesystem::path file = dir / "machine.ini";
  DescriptionFile() {
    std::filesystem::create_directories(dir / "c");
    std::filesystem::create_directories(dir / "e");
  }
  std::string Refusal(const std::string& text) {
    WriteWholeFile(file, text);
    std::string error;
    EXPECT_FALSE(LoadMachineDescription(file, &error)) << text;
    return error;
  }
};

constexpr const char* kDrives = "[Drives]\nC=fixed,\\Device\\HarddiskVolume2,c\n";

TEST(MachineDescriptionTest, RefusalsNameFileLineAndProblem) {
  DescriptionFile d;
  const std::string where = d.file.string() + ":";
  struct Case {
    std::string text;
    std::string expected;
  };
  const Case cases[] = {
      {"[Drives]\n; c\nC=floppy,\\Device\\X,c\n", "3: unknown drive type \"floppy\""},
      {"[Drives]\nC=fixed,\\Device\\X,missing\n", "2: folder "},
      {"[Drives]\nC=fixed,c\n", "2: drive line must be"},
      {"[Drives]\nCD=fixed,\\Device\\X,c\n", "2: drive \"CD\" is not a single letter"},
      {"[Drives]\nC=fixed,Device,c\n", "2: device \"Device\""},
      {"[Drives]\nC=fixed,\\D\\1,c\nc=fixed,\\D\\2,e\n", "3: drive c: is described twice"},
      {std::string(kDrives) + "[Hivelist]\n\\REGISTRY\\MACHINE\\SAM=REG_QWORD:1\n", "4: unknown value type \"REG_QWORD\""},
      {std::string(kDrives) + "[Hivelist]\n\\REGISTRY\\MACHINE\\SAM\n", "4: not a name=value line"},
      {std::string(kDrives) + "[Hivelist]\nA=\\Device\\x\n", "4: hivelist value must be name=type:data"},
      {std::string(kDrives) + "[Hivelist]\nA=REG_DWORD:0x100000000\n", "4: REG_DWORD data"},
      {std::string(kDrives) + "[Hivelist]\nA=REG_BINARY:0g\n", "4: REG_BINARY data"},
      {std::string(kDrives) + "[Hivelist]\nA=REG_SZ:x\na=REG_SZ:y\n", "5: hivelist value a is given twice"},
      {std::string(kDrives) + "[Machine]\nVersion=6\n", "4: Version must be major.minor"},
      {std::string(kDrives) + "[Machine]\nWow64=yes\n", "4: Wow64 must be 0 or 1"},
      {std::string(kDrives) + "[Machine]\nRestorePoint=maybe\n", "4: RestorePoint must be fail or ok"},
      {std::string(kDrives) + "[Machine]\nVersoin=6.1\n", "4: unknown key \"Versoin\""},
      {std::string(kDrives) + "[Drive]\n", "3: unknown section [Drive]"},
      {std::string(kDrives) + "[drives]\n", "3: section [drives] appears again (first at line 1)"},
      {"Version=6.1\n" + std::string(kDrives), "1: value outside any section"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(d.Refusal(c.text).find(where + c.expected), 0u) << d.Refusal(c.text);
  }
  EXPECT_NE(d.Refusal("[Machine]\nVersion=6.1\n").find("no drives"), std::string::npos);
  EXPECT_NE(d.Refusal("[Drives]\nE=fixed,\\D\\9,e\n").find("no drive C:"), std::string::npos);
  std::string error;
  EXPECT_FALSE(LoadMachineDescription(d.dir / "absent.ini", &error));
  EXPECT_EQ(error.find((d.dir / "absent.ini").string() + ": cannot read"), 0u);
}

TEST(MachineDescriptionTest, ReadsTheDocumentedFormat) {
  DescriptionFile d;
  WriteWholeFile(d.file,
                 "[Machine]\r\n"
                 "; major.minor reported to the program\r\n"
                 "Version=6.1\r\n"
                 "Wow64=1\r\n"
                 "RestorePoint=fail\r\n"
                 "[Drives]\r\n"
                 "E=removable,\\Device\\HarddiskVolume9,e\r\n"
                 "c = Fixed , \\Device\\HarddiskVolume2 , c\r\n"
                 "[Hivelist]\r\n"
                 "\\REGISTRY\\MACHINE\\SYSTEM=REG_SZ:\\Device\\HarddiskVolume2\\Windows\\System32\\config\\SYSTEM\r\n"
                 "\\REGISTRY\\MACHINE\\HARDWARE=REG_SZ:\r\n"
                 "\\REGISTRY\\MACHINE\\ODD=REG_DWORD:0x10\r\n"
                 "\\REGISTRY\\MACHINE\\BIN=REG_BINARY:01 ab,FF\r\n"
                 "\\REGISTRY\\USER\\X=REG_EXPAND_SZ:a=b\r\n");
  std::string error;
  auto m = LoadMachineDescription(d.file, &error);
  ASSERT_TRUE(m) << error;
  EXPECT_EQ(m->version, (ReleaseVersion{6, 1}));
  EXPECT_EQ(m->wow64, true);
  EXPECT_TRUE(m->restorePointFails);
  ASSERT_EQ(m->drives.size(), 2u);
  EXPECT_EQ(m->drives[0].letter, 'C');  // sorted by letter
  EXPECT_EQ(m->drives[0].type, drive::kFixed);
  EXPECT_EQ(m->drives[0].device, "\\Device\\HarddiskVolume2");
  EXPECT_TRUE(std::filesystem::equivalent(m->drives[0].folder, d.dir / "c"));
  EXPECT_EQ(m->drives[1].type, drive::kRemovable);
  ASSERT_TRUE(m->hivelist);
  const auto& h = *m->hivelist;
  ASSERT_EQ(h.size(), 5u);
  EXPECT_EQ(h[0].name, "\\REGISTRY\\MACHINE\\SYSTEM");
  EXPECT_EQ(h[0].data, StringData("\\Device\\HarddiskVolume2\\Windows\\System32\\config\\SYSTEM"));
  EXPECT_EQ(h[1].data, std::vector<BYTE>{0});
  EXPECT_EQ(h[2].type, reg::kDword);
  EXPECT_EQ(h[2].data, (std::vector<BYTE>{0x10, 0, 0, 0}));
  EXPECT_EQ(h[3].data, (std::vector<BYTE>{0x01, 0xab, 0xff}));
  EXPECT_EQ(h[4].type, reg::kExpandSz);
  EXPECT_EQ(h[4].data, StringData("a=b"));
}

TEST(MachineDescriptionTest, DefaultsWithoutMachineSection) {
  DescriptionFile d;
  WriteWholeFile(d.file, kDrives);
  std::string error;
  auto m = LoadMachineDescription(d.file, &error);
  ASSERT_TRUE(m) << error;
  EXPECT_FALSE(m->version);
  EXPECT_EQ(m->wow64, false);
  EXPECT_EQ(m->platformId, 2u);
  EXPECT_FALSE(m->hivelist);
  EXPECT_FALSE(DescribeRoot(d.dir / "nothing", &error));
}

}  // namespace
}  // namespace hv::offline
