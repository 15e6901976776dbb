#pragma once
// The host's process environment: user folders, clock, locale, desktop
// opener. The only file besides host_io.cpp that calls POSIX; on Windows
// builds it falls back to the C and C++ libraries.
#include <filesystem>
#include <string>

#include "platform/types.h"

namespace hv::offline::host {

// $XDG_CONFIG_HOME, else ~/.config (the user profile folder on Windows).
std::filesystem::path UserConfigHome();
// $XDG_DATA_HOME, else ~/.local/share.
std::filesystem::path UserDataHome();
// The folder of the running executable; `argv0` is the fallback.
std::filesystem::path ExecutableFolder(const std::string& argv0);

SystemTime LocalTime();
// strftime of `format` ("%x", "%X") for `time` under the LC_TIME of the
// environment ("C" when the environment names no installed locale).
std::string FormatTime(const SystemTime& time, const char* format);
// The decimal separator of the environment's LC_NUMERIC.
char DecimalSeparator();

// Runs the desktop's opener (xdg-open) on `address`, detached, when a
// display is there and the opener exists; false when it was not started.
bool OpenWithDesktop(const std::string& address);

}  // namespace hv::offline::host
