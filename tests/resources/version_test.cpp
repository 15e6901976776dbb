// One version, written once in CMakeLists.txt: every place a user reads it
// (programs, About box, language files, web page, resources of hivora.exe)
// must show that one.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "hivora_version.h"
#include "resources/builtin_texts.h"

namespace hv {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << path;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// "2.3" -> "2.3.0.0" (missing fields are 0).
std::string FourFields(std::string version) {
  int dots = 0;
  for (char c : version) dots += c == '.';
  for (; dots < 3; ++dots) version += ".0";
  return version;
}

TEST(VersionTest, BuiltInTextsCarryTheProjectVersion) {
  EXPECT_STREQ(BuiltinText(kTextVersion), HIVORA_VERSION);
  // The update page is named after the major and minor number: 2.3 -> updatev23.htm.
  const std::string version = HIVORA_VERSION;
  const std::string::size_type dot = version.find('.');
  const std::string::size_type end = version.find('.', dot + 1);
  const std::string digits = version.substr(0, dot) + version.substr(dot + 1, end - dot - 1);
  const std::string page = BuiltinText(kTextUpdatePageUrl);
  EXPECT_EQ(page, "https://www.talvixsoftware.com/hivora/updatev" + digits + ".htm");
}

TEST(VersionTest, HiveToolPrintsTheProjectVersion) {
  FILE* pipe = popen(HIVORA_HIVE_TOOL " --version", "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
  EXPECT_EQ(pclose(pipe), 0);
  EXPECT_EQ(out, std::string("hivora-hive ") + HIVORA_VERSION + "\n");
}

// The shipped language files differ from their sources in the About box's
// version line only, and there only in the number: the build number and the
// translated words stay.
TEST(VersionTest, ShippedLanguageFilesHaveTheVersionFilledIn) {
  for (const char* language : {"German", "French", "Spanish", "Italian", "BrazilianPortuguese"}) {
    const std::string name = std::string("DLan_") + language + ".ini";
    const std::string source = ReadFile(std::string(HIVORA_LANGUAGE_SOURCES) + "/" + name);
    const std::string shipped = ReadFile(std::string(HIVORA_LANGUAGES_DIR) + "/" + name);
    const std::string::size_type about = shipped.find("[frmAbout]");
    ASSERT_NE(about, std::string::npos) << name;
    const std::string::size_type line = shipped.find("\nLabel2=", about);
    ASSERT_NE(line, std::string::npos) << name;
    const std::string label = shipped.substr(line + 1, shipped.find('\r', line) - line - 1);
    EXPECT_NE(label.find(std::string(" ") + HIVORA_VERSION + " "), std::string::npos) << name << ": " << label;
    EXPECT_NE(label.find("20140925"), std::string::npos) << name << ": " << label;
    EXPECT_EQ(shipped.substr(0, line), source.substr(0, line)) << name;
    const std::string::size_type afterShipped = shipped.find('\n', line + 1);
    const std::string::size_type afterSource = source.find('\n', line + 1);
    EXPECT_EQ(shipped.substr(afterShipped), source.substr(afterSource)) << name;
  }
}

// hivora.exe's manifest and version resource are checked as text: Wine
// ignores the manifest's DPI setting, so running the program cannot.
TEST(VersionTest, ManifestNamesTheVersionAndAsksForGdiScaling) {
  const std::string manifest = ReadFile(HIVORA_MANIFEST);
  EXPECT_NE(manifest.find("name=\"Talvix.Hivora\" version=\"" + FourFields(HIVORA_VERSION) + "\""),
            std::string::npos)
      << manifest;
  EXPECT_NE(manifest.find("<gdiScaling xmlns=\"http://schemas.microsoft.com/SMI/2017/WindowsSettings\">"
                          "true</gdiScaling>"),
            std::string::npos)
      << manifest;
  // The setting is read inside <application><windowsSettings> of the asm.v3 namespace.
  const std::string::size_type application =
      manifest.find("<application xmlns=\"urn:schemas-microsoft-com:asm.v3\">");
  const std::string::size_type settings = manifest.find("<windowsSettings>", application);
  const std::string::size_type gdi = manifest.find("<gdiScaling", settings);
  const std::string::size_type closed = manifest.find("</windowsSettings>", gdi);
  EXPECT_TRUE(application != std::string::npos && settings != std::string::npos && gdi != std::string::npos &&
              closed != std::string::npos && manifest.find("</application>", closed) != std::string::npos);
  EXPECT_EQ(manifest.find("@"), std::string::npos) << "an unfilled placeholder";
}

TEST(VersionTest, VersionResourceTakesTheProjectVersionAndStatesTheCopyright) {
  const std::string rc = ReadFile(HIVORA_RC);
  for (const char* line : {"FILEVERSION HIVORA_VERSION_QUAD", "PRODUCTVERSION HIVORA_VERSION_QUAD",
                           "VALUE \"FileVersion\", HIVORA_VERSION", "VALUE \"ProductVersion\", HIVORA_VERSION",
                           "VALUE \"LegalCopyright\", \"\\251 2014-2026 Talvix Software. All rights reserved.\""}) {
    EXPECT_NE(rc.find(line), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace hv
