// e2e_helper.exe: what the end-to-end run under Wine needs from inside Windows, where the host's
// tools cannot look: the device behind a drive letter, starting a program and timing its main
// window, and the state of that window. Every command prints one line and exits 0 on success.
//   device C:                                   the device name QueryDosDevice gives
//   start <ms> <class> <program> [args...]      starts the program, waits for a visible window of
//                                               the class that answers messages; prints the
//                                               milliseconds from the start; leaves it running
//   run <ms> <program> [args...]                starts the program, waits for its end; prints
//                                               "<exit code> <milliseconds>"
//   count <class>                               how many top-level windows have the class
//   minimize <ms> <class>                       minimizes the window as its minimize box does
//   restored <ms> <class>                       waits until the window is no longer minimized;
//                                               prints "front" or "behind" (the foreground)
//   close <ms> <class>                          WM_CLOSE to the window, waits until it is gone
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/win32/win.h"

namespace {

std::string Quote(const char* arg) {
  std::string out = "\"";
  for (const char* p = arg; *p != '\0'; ++p) {
    if (*p == '"') out += '\\';
    out += *p;
  }
  return out + "\"";
}

std::string CommandLine(int argc, char** argv, int first) {
  std::string line;
  for (int i = first; i < argc; ++i) line += (line.empty() ? "" : " ") + Quote(argv[i]);
  return line;
}

bool Launch(int argc, char** argv, int first, PROCESS_INFORMATION& pi) {
  STARTUPINFOA si;
  std::memset(&si, 0, sizeof si);
  si.cb = sizeof si;
  std::string line = CommandLine(argc, argv, first);
  if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    std::printf("cannot start %s: error %lu\n", argv[first], ::GetLastError());
    return false;
  }
  return true;
}

// A visible window of the class whose thread answers: the program has shown and painted it
// (the toolkit paints right after showing, before it takes the next message).
HWND ReadyWindow(const char* cls) {
  HWND w = ::FindWindowA(cls, nullptr);
  if (w == nullptr || !::IsWindowVisible(w)) return nullptr;
  DWORD_PTR result = 0;
  if (!::SendMessageTimeoutA(w, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 200, &result)) return nullptr;
  return w;
}

struct ClassSearch {
  const char* cls;
  int count;
};

BOOL CALLBACK CountOne(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<ClassSearch*>(p);
  char name[256];
  if (::GetClassNameA(w, name, sizeof name) > 0 && std::strcmp(name, s->cls) == 0) ++s->count;
  return TRUE;
}

int CountWindows(const char* cls) {
  ClassSearch search{cls, 0};
  ::EnumWindows(CountOne, reinterpret_cast<LPARAM>(&search));
  return search.count;
}

int Usage() {
  std::printf("usage: e2e_helper device|start|run|count|minimize|restored|close ...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string cmd = argv[1];
  if (cmd == "device" && argc == 3) {
    char target[1024];
    if (::QueryDosDeviceA(argv[2], target, sizeof target) == 0) return 1;
    std::printf("%s\n", target);
    return 0;
  }
  if (cmd == "start" && argc >= 5) {
    const DWORD limit = std::strtoul(argv[2], nullptr, 10);
    PROCESS_INFORMATION pi;
    const DWORD begin = ::GetTickCount();
    if (!Launch(argc, argv, 4, pi)) return 1;
    for (;;) {
      const DWORD elapsed = ::GetTickCount() - begin;
      if (ReadyWindow(argv[3]) != nullptr) {
        std::printf("%lu\n", elapsed);
        return 0;
      }
      if (::WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) {
        DWORD code = 0;
        ::GetExitCodeProcess(pi.hProcess, &code);
        std::printf("the program ended (exit code %lu) without showing its window\n", code);
        return 1;
      }
      if (elapsed > limit) {
        std::printf("no window after %lu ms\n", elapsed);
        return 1;
      }
      ::Sleep(10);
    }
  }
  if (cmd == "run" && argc >= 4) {
    const DWORD limit = std::strtoul(argv[2], nullptr, 10);
    PROCESS_INFORMATION pi;
    const DWORD begin = ::GetTickCount();
    if (!Launch(argc, argv, 3, pi)) return 1;
    if (::WaitForSingleObject(pi.hProcess, limit) != WAIT_OBJECT_0) {
      std::printf("still running after %lu ms\n", limit);
      ::TerminateProcess(pi.hProcess, 1);
      return 1;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(pi.hProcess, &code);
    std::printf("%lu %lu\n", code, ::GetTickCount() - begin);
    return 0;
  }
  if (cmd == "count" && argc == 3) {
    std::printf("%d\n", CountWindows(argv[2]));
    return 0;
  }
  if ((cmd == "minimize" || cmd == "restored") && argc == 4) {
    const DWORD limit = std::strtoul(argv[2], nullptr, 10);
    HWND w = ::FindWindowA(argv[3], nullptr);
    if (w == nullptr) {
      std::printf("no such window\n");
      return 1;
    }
    const bool minimize = cmd == "minimize";
    if (minimize) ::PostMessageA(w, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    const DWORD begin = ::GetTickCount();
    while ((::IsIconic(w) != 0) != minimize) {
      if (::GetTickCount() - begin > limit) {
        std::printf("%s after %lu ms\n", minimize ? "still shown" : "still minimized", limit);
        return 1;
      }
      ::Sleep(20);
    }
    if (minimize) {
      std::printf("minimized\n");
    } else {
      std::printf("%s\n", ::GetForegroundWindow() == w ? "front" : "behind");
    }
    return 0;
  }
  if (cmd == "close" && argc == 4) {
    const DWORD limit = std::strtoul(argv[2], nullptr, 10);
    HWND w = ::FindWindowA(argv[3], nullptr);
    if (w == nullptr) {
      std::printf("no such window\n");
      return 1;
    }
    ::PostMessageA(w, WM_CLOSE, 0, 0);
    const DWORD begin = ::GetTickCount();
    while (::IsWindow(w)) {
      if (::GetTickCount() - begin > limit) {
        std::printf("still open after %lu ms\n", limit);
        return 1;
      }
      ::Sleep(20);
    }
    std::printf("closed\n");
    return 0;
  }
  return Usage();
}
