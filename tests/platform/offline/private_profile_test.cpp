#include "platform/offline/private_profile.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"

namespace hv::offline {
namespace {

using test::ReadWholeFile;
using test::TempDir;
using test::WriteWholeFile;

std::string Get(const char* app, const char* key, const char* def, const std::filesystem::path& file,
                DWORD size = 2048, DWORD* count = nullptr) {
  std::string buf(size + 8, '#');
  DWORD n = GetProfileString(app, key, def, buf.data(), size, file);
  if (count != nullptr) *count = n;
  return std::string(buf.data(), n);
}

// A fresh folder and a file name in it for each test.
class ProfileFileTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::filesystem::path file = dir / "a.ini";
};
using PrivateProfileReadTest = ProfileFileTest;
using PrivateProfileWriteTest = ProfileFileTest;

// --- failure paths first

TEST_F(PrivateProfileWriteTest, FailureIsReportedAndLeavesNoFile) {
  WriteWholeFile(dir / "blocker", "a plain file");
  // A folder that is really a file: the write cannot succeed, as root or not.
  EXPECT_NE(WriteProfileString("Options", "Lan", "English", dir / "blocker" / "options.ini"), err::kSuccess);
  // The target is a folder.
  std::filesystem::create_directories(dir / "folder.ini");
  EXPECT_EQ(WriteProfileString("Options", "Lan", "English", dir / "folder.ini"), err::kAccessDenied);
  // Missing parent folder.
  EXPECT_EQ(WriteProfileString("Options", "Lan", "x", dir / "missing" / "a.ini"), err::kPathNotFound);
  for (auto& entry : std::filesystem::directory_iterator(dir.path())) {
    EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << entry.path();
  }
}

TEST_F(PrivateProfileWriteTest, RefusesLineBreaksAndEqualsInNames) {
  WriteWholeFile(file, "[S]\r\nk=v\r\n");
  EXPECT_EQ(WriteProfileString("S", "k", "x\r\n[Injected]", file), err::kInvalidParameter);
  EXPECT_EQ(WriteProfileString("S\n", "k", "x", file), err::kInvalidParameter);
  EXPECT_EQ(WriteProfileString("S", "a=b", "x", file), err::kInvalidParameter);
  EXPECT_EQ(WriteProfileString(nullptr, "k", "x", file), err::kInvalidParameter);
  EXPECT_EQ(ReadWholeFile(file), "[S]\r\nk=v\r\n");
}

TEST_F(PrivateProfileReadTest, OddInputNeverCrashes) {
  std::string garbage("\xEF\xBB\xBF[S]\nk=v\n", 12);
  garbage += std::string("\0\0[\n=\n]\n[unclosed\nkey\n", 22);
  garbage += "[Long]\n" + std::string(100000, 'x') + "=" + std::string(100000, 'y') + "\n";
  for (int i = 0; i < 256; ++i) garbage += static_cast<char>(i);
  WriteWholeFile(file, garbage);
  EXPECT_EQ(Get("S", "k", "", file), "v");  // the BOM does not hide the first section
  EXPECT_EQ(Get("Long", std::string(100000, 'x').c_str(), "", file).size(), 2047u);
  EXPECT_EQ(Get("unclosed", "key", "d", file), "d");
  EXPECT_EQ(WriteProfileString("S", "k", "w", file), err::kSuccess);
  std::string after = ReadWholeFile(file);
  EXPECT_EQ(after.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_EQ(Get("S", "k", "", file), "w");
  EXPECT_EQ(after.size(), garbage.size());  // only the one byte changed
}

TEST_F(PrivateProfileReadTest, MissingFileGivesDefaultWithTrailingBlanksTrimmed) {
  EXPECT_EQ(Get("Options", "Lan", "English  ", dir / "none.ini"), "English");
  EXPECT_EQ(Get("Options", "Lan", nullptr, dir / "none.ini"), "");
  EXPECT_EQ(Get("Options", "Lan", "  lead", dir / "none.ini"), "  lead");
}

// --- reading rules

TEST_F(PrivateProfileReadTest, NamesCaseInsensitiveValuesTrimmedAndUnquoted) {
  WriteWholeFile(file,
                 "; comment=not a key\r\n"
                 "[Options]\r\n"
                 "  Lan  =   German  \r\n"
                 "dq=\"  quoted  \"\r\n"
                 "sq='single'\r\n"
                 "mixed=\"mixed'\r\n"
                 "one=\"\r\n"
                 "empty=\r\n"
                 "Lan=second\r\n"
                 "[options]\r\n"
                 "other=1\r\n");
  EXPECT_EQ(Get("OPTIONS", "lan", "d", file), "German");
  EXPECT_EQ(Get("Options", "dq", "d", file), "  quoted  ");
  EXPECT_EQ(Get("Options", "sq", "d", file), "single");
  EXPECT_EQ(Get("Options", "mixed", "d", file), "\"mixed'");
  EXPECT_EQ(Get("Options", "one", "d", file), "\"");
  EXPECT_EQ(Get("Options", "empty", "d", file), "");
  // Only the first section of a name is read.
  EXPECT_EQ(Get("Options", "other", "d", file), "d");
  EXPECT_EQ(Get("", "comment", "d", file), "d");
}

TEST_F(PrivateProfileReadTest, BufferRulesForValues) {
  WriteWholeFile(file, "[S]\nlong=" + std::string(3000, 'a') + "\nshort=abcdef\n");
  DWORD n = 0;
  EXPECT_EQ(Get("S", "long", "", file, 2048, &n).size(), 2047u);
  EXPECT_EQ(n, 2047u);
  EXPECT_EQ(Get("S", "short", "", file, 4, &n), "abc");
  EXPECT_EQ(n, 3u);
  char one[1] = {'#'};
  EXPECT_EQ(GetProfileString("S", "short", "", one, 1, file), 0u);
  EXPECT_EQ(one[0], '\0');
  char untouched[1] = {'#'};
  EXPECT_EQ(GetProfileString("S", "short", "", untouched, 0, file), 0u);
  EXPECT_EQ(untouched[0], '#');
}

TEST_F(PrivateProfileReadTest, ListsOfSectionsAndKeys) {
  WriteWholeFile(file, "[One]\na=1\n;c=2\nbb=2\n[Two]\n[Three]\n");
  char buf[64];
  DWORD n = GetProfileString(nullptr, nullptr, "", buf, sizeof buf, file);
  EXPECT_EQ(std::string(buf, n + 1), std::string("One\0Two\0Three\0\0", 15));
  EXPECT_EQ(buf[n], '\0');
  n = GetProfileString("one", nullptr, "", buf, sizeof buf, file);
  EXPECT_EQ(std::string(buf, n + 1), std::string("a\0bb\0\0", 6));
  // Too small: the last name is cut, two NULs follow, and size - 2 comes back.
  n = GetProfileString(nullptr, nullptr, "", buf, 7, file);
  EXPECT_EQ(n, 5u);
  EXPECT_EQ(std::string(buf, 7), std::string("One\0T\0\0", 7));
  // A missing section lists nothing, with a double NUL.
  n = GetProfileString("none", nullptr, "", buf, sizeof buf, file);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(buf[0], '\0');
  EXPECT_EQ(buf[1], '\0');
}

// --- writing rules

TEST_F(PrivateProfileWriteTest, ReplacesInPlaceAndKeepsEverythingElse) {
  WriteWholeFile(file,
                 "; settings\r\n[Options]\r\nRestorePoint=0\r\n  Lan = German\r\nIsShowLine=1\r\n"
                 "junk line\r\n[Other]\r\nx=1\r\n");
  ASSERT_EQ(WriteProfileString("options", "LAN", "French", file), err::kSuccess);
  EXPECT_EQ(ReadWholeFile(file),
            "; settings\r\n[Options]\r\nRestorePoint=0\r\n  Lan =French\r\nIsShowLine=1\r\n"
            "junk line\r\n[Other]\r\nx=1\r\n");
}

TEST_F(PrivateProfileWriteTest, NewKeyGoesAfterTheSectionsLastLineThatIsNotBlank) {
  WriteWholeFile(file, "[A]\na=1\n\n; trailing comment\n\n[B]\nb=1\n");
  ASSERT_EQ(WriteProfileString("A", "new", "2", file), err::kSuccess);
  EXPECT_EQ(ReadWholeFile(file), "[A]\na=1\n\n; trailing comment\nnew=2\n\n[B]\nb=1\n");
  WriteWholeFile(file, "[A]\n[B]\n");
  ASSERT_EQ(WriteProfileString("A", "k", "v", file), err::kSuccess);
  EXPECT_EQ(ReadWholeFile(file), "[A]\nk=v\n[B]\n");
}

TEST_F(PrivateProfileWriteTest, NewSectionAppendedAndNewFileCreatedInOrder) {
  for (const char* key : {"RestorePoint", "IsAskBeforeDefrag", "IsShowLine", "Lan"}) {
    ASSERT_EQ(WriteProfileString("Options", key, key[0] == 'L' ? "English" : "1", file), err::kSuccess);
  }
  EXPECT_EQ(ReadWholeFile(file),
            "[Options]\r\nRestorePoint=1\r\nIsAskBeforeDefrag=1\r\nIsShowLine=1\r\nLan=English\r\n");
  WriteWholeFile(file, "[A]\na=1");  // no final line ending, LF file
  ASSERT_EQ(WriteProfileString("Scan Result", "Total", "12", file), err::kSuccess);
  EXPECT_EQ(ReadWholeFile(file), "[A]\na=1\n[Scan Result]\nTotal=12\n");
}

TEST_F(PrivateProfileWriteTest, EraseSectionAndDeleteKey) {
  WriteWholeFile(file, "[A]\r\na=1\r\nb=2\r\n[B]\r\nc=3\r\n[a]\r\nd=4\r\n");
  ASSERT_EQ(WriteProfileString("A", "b", nullptr, file), err::kSuccess);
  EXPECT_EQ(ReadWholeFile(file), "[A]\r\na=1\r\n[B]\r\nc=3\r\n[a]\r\nd=4\r\n");
  // The first section of the name goes; the second is then the one read.
  ASSERT_EQ(WriteProfileString("a", nullptr, nullptr, file), err::kSuccess);
  EXPECT_EQ(ReadWholeFile(file), "[B]\r\nc=3\r\n[a]\r\nd=4\r\n");
  ASSERT_EQ(WriteProfileString("A", nullptr, nullptr, file), err::kSuccess);
  EXPECT_EQ(ReadWholeFile(file), "[B]\r\nc=3\r\n");
  // Erasing what is not there neither fails nor creates a file.
  EXPECT_EQ(WriteProfileString("none", nullptr, nullptr, dir / "new.ini"), err::kSuccess);
  EXPECT_EQ(WriteProfileString("none", "k", nullptr, dir / "new.ini"), err::kSuccess);
  EXPECT_FALSE(std::filesystem::exists(dir / "new.ini"));
}

}  // namespace
}  // namespace hv::offline
