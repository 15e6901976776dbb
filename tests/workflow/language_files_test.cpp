// The shipped language files: each must offer exactly the keys that the
// forms read (minus the figures and names that stay as they are), in
// Windows-1252, keeping the accelerators and the significant blanks.
//
// The expected keys are not written down here: the forms are translated
// from a probe file on a platform that records every key TranslateForm reads,
// together with the English text it passes as the default.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "settings/web_page_notice.h"
#include "shell/commit.h"
#include "ui/console/screen_texts.h"
#include "app_fixture.h"
#include "hive/progress_dialog.h"
#include "settings/about_dialog.h"
#include "settings/ask_delete_dialog.h"
#include "settings/language.h"
#include "settings/number_separators.h"
#include "settings/options_dialog.h"
#include "settings/translate_form.h"
#include "workflow/system_point.h"

namespace hv::test {
namespace {

namespace fs = std::filesystem;

using Key = std::pair<std::string, std::string>;  // section, key

const char* const kShipped[] = {"German", "French", "Spanish", "Italian", "BrazilianPortuguese"};

// Keys whose text is a figure, the versioned title or the site address: a
// translation has nothing to say about them.
const std::set<Key> kUntranslated = {
    {"frmMain", "lCurrentRegistrySize"}, {"frmMain", "lNewRegistrySize"}, {"frmMain", "lSizeReduction"},
    {"frmMain", "lCompactPercent"},      {"frmMain", "lTitle"},           {"frmMain", "suiURLLabel1"},
};

class ProbePlatform : public ShellOwnerPlatform {
 public:
  DWORD GetPrivateProfileStringA(const char* appName, const char* keyName, const char* defaultValue,
                                 char* returned, DWORD size, const char* fileName) override {
    const std::string file = fileName != nullptr ? fileName : "";
    if (appName != nullptr && keyName != nullptr && file.ends_with("DLan_Probe.ini")) {
      std::lock_guard<std::mutex> lock(mutex_);
      reads_.emplace(Key{appName, keyName}, defaultValue != nullptr ? defaultValue : "");
    }
    return FakePlatform::GetPrivateProfileStringA(appName, keyName, defaultValue, returned, size,
                                                  fileName);
  }
  std::map<Key, std::string> Reads() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reads_;
  }

 private:
  mutable std::mutex mutex_;
  std::map<Key, std::string> reads_;
};

// Every key the system's forms read, with its English text.
std::map<Key, std::string> FormKeys() {
  ProbePlatform probe;
  ScopedPlatform scoped(&probe);
  ui::console::ConsoleToolkit tk(TestToolkitOptions());
  std::ofstream(probe.ProgramFolder() + "DLan_Probe.ini") << "";

  TfrmMain main(tk, kInstanceName);
  TfrmOptions options(tk, &main);
  TfrmAskDelete askDelete(tk, &main);
  TfrmAbout about(tk, &main);
  about.Label1.SetCaption(BuiltinText(kTextProductTitle));  // as its FormShow does
  TfrmGetNewHiveProgess progress(main, main, main);
  TfrmSystemPoint systemPoint(tk, &main);
  for (ui::Form* form : std::initializer_list<ui::Form*>{&main, &options, &askDelete, &about, &progress,
                                                          &systemPoint}) {
    TranslateForm(*form, "Probe");
  }
  auto keys = probe.Reads();
  keys.emplace(Key{kResourceStringSection, kResAnalyzeNoSuccess}, BuiltinText(kTextAnalyzeFailed));
  keys.emplace(Key{kResourceStringSection, kResNotFound}, BuiltinText(kTextNotFound));
  keys.emplace(Key{kResourceStringSection, kResApplyOffline}, kApplyOfflineText);
  keys.emplace(Key{kResourceStringSection, kResWebPageFailed}, kWebPageFailedText);
  keys.emplace(Key{kResourceStringSection, kResThousandSeparator}, ",");
  keys.emplace(Key{kResourceStringSection, kResDecimalSeparator}, ".");
  for (const ui::console::ScreenText& text : ui::console::kScreenTexts) {
    keys.emplace(Key{kResourceStringSection, text.key}, text.english);
  }
  return keys;
}

const std::map<Key, std::string>& Expected() {
  static const std::map<Key, std::string> keys = FormKeys();
  return keys;
}

std::string ShippedPath(const std::string& language) {
  return (fs::path(HIVORA_LANGUAGES_DIR) / ("DLan_" + language + ".ini")).string();
}

// Accelerator markers: "&&" is a literal ampersand.
int Accelerators(const std::string& text) {
  int count = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') continue;
    if (i + 1 < text.size() && text[i + 1] == '&') {
      ++i;
      continue;
    }
    ++count;
  }
  return count;
}

bool IsValidUtf8Multibyte(const std::string& bytes) {
  bool sawMultibyte = false;
  for (std::size_t i = 0; i < bytes.size();) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    std::size_t extra = c < 0x80 ? 0 : (c >> 5) == 0x6 ? 1 : (c >> 4) == 0xE ? 2 : (c >> 3) == 0x1E ? 3 : 99;
    if (extra == 99 || i + extra >= bytes.size()) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      if ((static_cast<unsigned char>(bytes[i + k]) >> 6) != 0x2) return false;
    }
    sawMultibyte = sawMultibyte || extra > 0;
    i += extra + 1;
  }
  return sawMultibyte;
}

class ShippedLanguageFile : public ::testing::TestWithParam<const char*> {
 protected:
  ShippedLanguageFile() {
    copy_ = reader_.ProgramFolder() + "DLan_" + GetParam() + ".ini";
    fs::copy_file(ShippedPath(GetParam()), copy_);
  }
  // The value as the program reads it (quotes and outer blanks dropped).
  std::string ReadValue(const Key& key) {
    char buffer[2048] = {};
    reader_.GetPrivateProfileStringA(key.first.c_str(), key.second.c_str(), "<absent>", buffer,
                                     sizeof buffer, copy_.c_str());
    return buffer;
  }

 private:
  FakePlatform reader_;
  std::string copy_;
};

TEST_P(ShippedLanguageFile, IsWindows1252TextWithCrLfLines) {
  const std::string bytes = ReadWholeFile(ShippedPath(GetParam()));
  ASSERT_FALSE(bytes.empty());
  EXPECT_FALSE(IsValidUtf8Multibyte(bytes)) << "written as UTF-8";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    EXPECT_TRUE(c != 0x81 && c != 0x8D && c != 0x8F && c != 0x90 && c != 0x9D) << "byte " << i;
    if (c == '\n') {
      EXPECT_TRUE(i > 0 && bytes[i - 1] == '\r') << "bare line feed at " << i;
    }
    if (c < 0x20) {
      EXPECT_TRUE(c == '\r' || c == '\n') << "control byte at " << i;
    }
  }
}

TEST_P(ShippedLanguageFile, HoldsNoKeyTheFormsDoNotReadAndNoKeyTwice) {
  const auto ini = ParseIni(ReadWholeFile(ShippedPath(GetParam())));
  std::set<std::string> sections;
  for (const auto& section : ini) {
    EXPECT_TRUE(sections.insert(section.name).second) << "section twice: " << section.name;
    std::set<std::string> seen;
    for (const auto& [key, value] : section.keys) {
      EXPECT_TRUE(seen.insert(key).second) << section.name << "." << key << " twice";
      EXPECT_EQ(Expected().count({section.name, key}), 1u) << "no form reads " << section.name << "." << key;
      EXPECT_EQ(kUntranslated.count({section.name, key}), 0u) << section.name << "." << key;
    }
  }
}

TEST_P(ShippedLanguageFile, TranslatesEveryKeyTheFormsRead) {
  for (const auto& [key, english] : Expected()) {
    if (kUntranslated.count(key) != 0) continue;
    EXPECT_NE(ReadValue(key), "<absent>") << "missing " << key.first << "." << key.second;
  }
}

TEST_P(ShippedLanguageFile, KeepsAcceleratorsBlanksAndFixedTexts) {
  for (const auto& [key, english] : Expected()) {
    if (kUntranslated.count(key) != 0) continue;
    const std::string value = ReadValue(key);
    const std::string where = key.first + "." + key.second + " = \"" + value + "\"";
    EXPECT_EQ(Accelerators(value), Accelerators(english)) << where;
    EXPECT_EQ(value.empty(), english.empty()) << where;
    if (!english.empty() && english.back() == ' ') {
      EXPECT_TRUE(!value.empty() && value.back() == ' ') << where;
    }
  }
  EXPECT_EQ(ReadValue({"frmAbout", "lbEAddress"}), BuiltinText(kTextHomePageUrl));
  EXPECT_NE(ReadValue({"frmAbout", "Label2"}).find(BuiltinText(kTextVersion)), std::string::npos);
  EXPECT_NE(ReadValue({"frmAbout", "Label3"}).find("support@talvixsoftware.com"), std::string::npos);
}

TEST_P(ShippedLanguageFile, IsFoundInTheLanguagesFolderAndTranslatesADialog) {
  FakePlatform fake;
  ScopedPlatform scoped(&fake);
  ui::console::ConsoleToolkit tk(TestToolkitOptions());
  fs::create_directories(fake.DataFolder() + "Languages");
  fs::copy_file(ShippedPath(GetParam()), fake.DataFolder() + "Languages/DLan_" + GetParam() + ".ini");
  OptionsSetting.Lan = GetParam();
  ui::Form owner(tk, "frmOwner", nullptr);
  TfrmAskDelete dialog(tk, &owner);
  TranslateForm(dialog, OptionsSetting.Lan);
  EXPECT_NE(dialog.Caption(), "Defrag Now");
  EXPECT_NE(dialog.Label1.Caption(), "Are you sure you want to start to defrag your registry?");
  EXPECT_EQ(Accelerators(dialog.bOK.Caption()), 1);
  EXPECT_NE(GetLanString(kResNotFound, BuiltinText(kTextNotFound)), BuiltinText(kTextNotFound));
  // Every shipped language writes its numbers in its own way, and soundly.
  EXPECT_NE(LanguageNumberSeparators().thousands, StoredNumberSeparators().thousands);
  EXPECT_EQ(LanguageNumberSeparators().decimal, ',');
  OptionsSetting.Lan = "English";
}

INSTANTIATE_TEST_SUITE_P(Shipped, ShippedLanguageFile, ::testing::ValuesIn(kShipped));

TEST(FormKeys, ProbeSeesTheKeysOfEveryForm) {
  // Guards the oracle itself: a few keys of each form, hints and columns.
  for (const Key& key : std::vector<Key>{{"frmMain", "frmMain"},
                                         {"frmMain", "lvMain_Column3"},
                                         {"frmMain", "bCloseHint"},
                                         {"Menu_frmMain", "miUkranian"},
                                         {"Menu_frmMain", "miOther"},
                                         {"frmOptions", "cbCreateRestore"},
                                         {"frmAskDelete", "Panel2"},
                                         {"frmAbout", "lCopywrite"},
                                         {"frmGetNewHiveProgess", "Label2"},
                                         {"frmSystemPoint", "suiGroupBox1"}}) {
    EXPECT_EQ(Expected().count(key), 1u) << key.first << "." << key.second;
  }
  EXPECT_EQ(Expected().count({"Menu_frmMain", "N6"}), 0u);
  EXPECT_EQ(Expected().count({"frmMain", "lvMain"}), 0u);
  EXPECT_EQ(Expected().count({"frmSystemPoint", "ProgressBar1"}), 0u);
}

}  // namespace
}  // namespace hv::test
