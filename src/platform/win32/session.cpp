// Restart and shell operations of Win32Platform (user32, shell32).
#include "platform/win32/win32_platform.h"
#include "platform/win32/win_types.h"

#include <string>

namespace hv {

BOOL Win32Platform::ExitWindowsEx(UINT flags, DWORD reason) {
  return ::ExitWindowsEx(flags, reason);
}

std::intptr_t Win32Platform::ShellExecuteA(HWND owner, const char* operation, const char* file,
                                           const char* parameters, const char* directory,
                                           int showCmd) {
  return reinterpret_cast<std::intptr_t>(
      ::ShellExecuteA(win32::ToWin(owner), operation, file, parameters, directory, showCmd));
}

std::string Win32Platform::SettingsFallbackFolder(bool create) {
  char path[MAX_PATH] = {};
  if (::SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK || path[0] == '\0') {
    return {};
  }
  std::string folder = std::string(path) + "\\Talvix Hivora\\";
  if (create && !::CreateDirectoryA(folder.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) return {};
  return folder;
}

}  // namespace hv
