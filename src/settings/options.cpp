#include "settings/options.h"

#include "platform/file_queries.h"
#include "platform/platform.h"
#include "settings/ini_file.h"

namespace hv {
namespace {
constexpr const char* kSection = "Options";
constexpr const char* kFileName = "options.ini";

void WriteOptions(const std::string& path) {
  IniFile ini(path);
  ini.WriteBool(kSection, "RestorePoint", OptionsSetting.RestorePoint);
  ini.WriteBool(kSection, "IsAskBeforeDefrag", OptionsSetting.IsAskBeforeDefrag);
  ini.WriteBool(kSection, "IsShowLine", OptionsSetting.IsShowLine);
  ini.WriteString(kSection, "Lan", OptionsSetting.Lan);
}
}  // namespace

TOptionsSetting OptionsSetting;

std::string OptionsFilePath() {
  // Once the settings had to go to the user's own folder, they stay there,
  // so that what was saved last is what is read.
  const std::string fallback = Os().SettingsFallbackFolder(false);
  if (!fallback.empty() && FileExists(fallback + kFileName)) return fallback + kFileName;
  return Os().ProgramFolder() + kFileName;
}

void ReadWriteOptions(bool IsRead) {
  if (!IsRead) {
    try {
      WriteOptions(OptionsFilePath());
    } catch (const IniWriteError&) {
      // A program run from a write-protected folder (a read-only stick)
      // keeps its settings in the user's own folder instead.
      const std::string fallback = Os().SettingsFallbackFolder(true);
      if (fallback.empty() || OptionsFilePath() == fallback + kFileName) throw;
      WriteOptions(fallback + kFileName);
    }
    return;
  }
  IniFile ini(OptionsFilePath());
  OptionsSetting.RestorePoint = ini.ReadBool(kSection, "RestorePoint", false);
  OptionsSetting.IsAskBeforeDefrag = ini.ReadBool(kSection, "IsAskBeforeDefrag", true);
  OptionsSetting.IsShowLine = ini.ReadBool(kSection, "IsShowLine", true);
  OptionsSetting.Lan = ini.ReadString(kSection, "Lan", "English");
}

}  // namespace hv
