#include "settings/language.h"

#include "platform/platform.h"
#include "settings/ini_file.h"
#include "settings/options.h"

namespace hv {
namespace {

bool IsFile(const std::string& path) {
  DWORD attributes = Os().GetFileAttributesA(path.c_str());
  return attributes != file::kInvalidFileAttributes && (attributes & file::kAttributeDirectory) == 0;
}

}  // namespace

bool IsEnglish(const std::string& name) {
  static constexpr char kEnglish[] = "english";
  if (name.size() != sizeof kEnglish - 1) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kEnglish[i]) return false;
  }
  return true;
}

std::string LanguageFilePath(const std::string& name) {
  if (name.find_first_of("\\/") != std::string::npos || name.find("..") != std::string::npos) {
    return {};
  }
  const std::string fileName = "DLan_" + name + ".ini";
  std::string beside = Os().ProgramFolder() + fileName;
  if (IsFile(beside)) return beside;
  const std::string data = Os().DataFolder();
  const char separator = !data.empty() && data.back() == '/' ? '/' : '\\';
  return data + "Languages" + separator + fileName;
}

std::string GetLanString(const std::string& Key, const std::string& Default) {
  if (IsEnglish(OptionsSetting.Lan)) return Default;
  const std::string path = LanguageFilePath(OptionsSetting.Lan);
  if (path.empty()) return Default;
  return IniFile(path).ReadString(kResourceStringSection, Key, Default);
}

}  // namespace hv
