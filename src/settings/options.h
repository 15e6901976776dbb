#pragma once
// The user's settings: one process-wide record, loaded from and saved to
// "options.ini" in the program's folder, section "Options". Main thread only.
#include <string>

namespace hv {

struct TOptionsSetting {
  bool IsAskBeforeDefrag = false;
  bool IsShowLine = false;
  bool RestorePoint = false;
  // The current interface language, the N of "DLan_N.ini"; compared with
  // "English" ignoring case. Empty only when the file says so.
  std::string Lan;
};

// All fields false and Lan empty until the first load.
extern TOptionsSetting OptionsSetting;

// Os().ProgramFolder() + "options.ini"; once the settings had to be saved in
// Os().SettingsFallbackFolder() (the program's folder could not be written),
// the file there.
std::string OptionsFilePath();

// IsRead: loads every field, a missing file or key giving its default
// (confirmation on, grid lines on, no restore point, "English"). Otherwise
// saves all four keys in the order RestorePoint, IsAskBeforeDefrag,
// IsShowLine, Lan; when a key cannot be written there, saves them all in
// the fallback folder instead. Throws IniWriteError at the first key that
// cannot be written anywhere (earlier keys stay written; the record is not
// changed).
void ReadWriteOptions(bool IsRead);

}  // namespace hv
