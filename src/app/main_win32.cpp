// hivora.exe: the Windows program. Compacts the live registry, with native
// windows as its front end. The command line is read by the main window.
//
//   hivora.exe [/Silent | /Scan REPORT]
//   hivora.exe --root DIR | --machine FILE [/Silent | /Scan REPORT]
//   hivora.exe --root DIR | --machine FILE --apply-pending | --discard-pending |
//              --restore-backups | --list-restore-points | --restore-point ID
//
// On the live registry: exit code 0 in every path, also when another
// instance was brought forward. On an offline installation (--root, --machine;
// offline_front_end_win32.h) the exit codes of the Linux program.
#include <cstdlib>
#include <exception>
#include <memory>

#include "app/offline_front_end_win32.h"
#include "platform/platform.h"
#include "platform/win32/library_search.h"
#include "platform/win32/win32_platform.h"
#include "resources/builtin_texts.h"
#include "shell/startup.h"
#include "ui/win32/win32_toolkit.h"

#include "platform/win32/win.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Before anything loads a library by name (the toolkit's comctl32, the theme and restore
  // libraries looked up at run time): none of them may come from the program's folder.
  hv::win32::HardenLibrarySearch();
  try {
    if (hv::app::WantsOfflineInstallation(__argc, __argv)) {
      return hv::app::RunOfflineInstallation(__argc, __argv);
    }
    hv::SetPlatform(std::make_unique<hv::Win32Platform>());
    hv::ui::Win32Toolkit toolkit;
    try {
      hv::RunApplication(toolkit, hv::kInstanceName);
    } catch (const std::exception& error) {
      toolkit.ShowApplicationError(error.what());
    }
  } catch (const std::exception& error) {
    ::MessageBoxA(nullptr, error.what(), "Talvix Hivora", MB_OK | MB_ICONERROR);
  } catch (...) {
    ::MessageBoxA(nullptr, "An unexpected error occurred.", "Talvix Hivora", MB_OK | MB_ICONERROR);
  }
  return 0;
}
