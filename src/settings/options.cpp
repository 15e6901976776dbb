#include "settings/options.h"

#include "platform/platform.h"
#include "settings/ini_file.h"

namespace hv {
namespace {
constexpr const char* kSection = "Options";
}  // namespace

TOptionsSetting OptionsSetting;

std::string OptionsFilePath() { return Os().ProgramFolder() + "options.ini"; }

void ReadWriteOptions(bool IsRead) {
  IniFile ini(OptionsFilePath());
  if (IsRead) {
    OptionsSetting.RestorePoint = ini.ReadBool(kSection, "RestorePoint", false);
    OptionsSetting.IsAskBeforeDefrag = ini.ReadBool(kSection, "IsAskBeforeDefrag", true);
    OptionsSetting.IsShowLine = ini.ReadBool(kSection, "IsShowLine", true);
    OptionsSetting.Lan = ini.ReadString(kSection, "Lan", "English");
  } else {
    ini.WriteBool(kSection, "RestorePoint", OptionsSetting.RestorePoint);
    ini.WriteBool(kSection, "IsAskBeforeDefrag", OptionsSetting.IsAskBeforeDefrag);
    ini.WriteBool(kSection, "IsShowLine", OptionsSetting.IsShowLine);
    ini.WriteString(kSection, "Lan", OptionsSetting.Lan);
  }
}

}  // namespace hv
