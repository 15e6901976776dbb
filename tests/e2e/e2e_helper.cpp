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
//   title <class>                               the window's title
//   rows <class>                                the rows of the window's list view, one line
//                                               each, columns separated by tabs
//   columns <class>                             the list view's column titles, tab-separated
//   click <class> <text>                        clicks the window's child control whose text is
//                                               <text> (a button of a dialog), as the mouse does
// A <class> written "title=TEXT" names the window by its title instead.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>

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

HWND Find(const char* cls) {
  if (std::strncmp(cls, "title=", 6) == 0) return ::FindWindowA(nullptr, cls + 6);
  return ::FindWindowA(cls, nullptr);
}

struct TextSearch {
  const char* text;
  HWND found;
};

BOOL CALLBACK FindText(HWND w, LPARAM p) {
  auto* search = reinterpret_cast<TextSearch*>(p);
  char text[256] = {};
  ::GetWindowTextA(w, text, sizeof text);
  if (std::strcmp(text, search->text) != 0) return TRUE;
  search->found = w;
  return FALSE;
}

BOOL CALLBACK FindListView(HWND w, LPARAM p) {
  char name[64];
  if (::GetClassNameA(w, name, sizeof name) > 0 && std::strcmp(name, "SysListView32") == 0) {
    *reinterpret_cast<HWND*>(p) = w;
    return FALSE;
  }
  return TRUE;
}

// The head of LVITEMA, as far as LVM_GETITEMTEXTA reads it.
struct ListItem {
  UINT mask;
  int iItem;
  int iSubItem;
  UINT state;
  UINT stateMask;
  LPSTR pszText;
  int cchTextMax;
  int iImage;
  LPARAM lParam;
  int iIndent;
  int padding[8];
};

// The head of LVCOLUMNA, as far as LVM_GETCOLUMNA reads it.
struct ListColumn {
  UINT mask;
  int fmt;
  int cx;
  LPSTR pszText;
  int cchTextMax;
  int iSubItem;
  int padding[8];
};

// A list view of another process answers LVM_GETITEMTEXTA and LVM_GETCOLUMNA into that
// process's memory. `titles`: the column titles instead of the rows.
int PrintRows(HWND window, bool titles) {
  HWND list = nullptr;
  ::EnumChildWindows(window, FindListView, reinterpret_cast<LPARAM>(&list));
  if (list == nullptr) {
    std::printf("no list view\n");
    return 1;
  }
  constexpr UINT kGetItemCount = 0x1004, kGetHeader = 0x101F, kGetItemText = 0x102D, kHeaderCount = 0x1200,
                 kGetColumn = 0x1019, kColumnText = 0x4;
  const int rows = static_cast<int>(::SendMessageA(list, kGetItemCount, 0, 0));
  HWND header = reinterpret_cast<HWND>(::SendMessageA(list, kGetHeader, 0, 0));
  const int columns = header != nullptr ? static_cast<int>(::SendMessageA(header, kHeaderCount, 0, 0)) : 1;
  DWORD pid = 0;
  ::GetWindowThreadProcessId(list, &pid);
  HANDLE process = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  if (process == nullptr) {
    std::printf("cannot open the program's process: error %lu\n", ::GetLastError());
    return 1;
  }
  constexpr int kTextMax = 512;
  char* remote = static_cast<char*>(
      ::VirtualAllocEx(process, nullptr, sizeof(ListItem) + kTextMax, MEM_COMMIT, PAGE_READWRITE));
  if (remote == nullptr) {
    ::CloseHandle(process);
    std::printf("cannot reserve memory in the program: error %lu\n", ::GetLastError());
    return 1;
  }
  // One text of the list, asked of the program through a record in its own
  // memory: a column title, or the text of a row's column.
  auto textOf = [&](auto record, UINT message, int index) {
    if constexpr (std::is_same_v<decltype(record), ListColumn>) {
      record.mask = kColumnText;
    }
    record.pszText = remote + sizeof(ListItem);
    record.cchTextMax = kTextMax;
    char text[kTextMax] = {};
    SIZE_T moved = 0;
    ::WriteProcessMemory(process, remote, &record, sizeof record, &moved);
    ::SendMessageA(list, message, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(remote));
    ::ReadProcessMemory(process, remote + sizeof(ListItem), text, kTextMax - 1, &moved);
    return std::string(text);
  };
  for (int row = 0; row < (titles ? 1 : rows); ++row) {
    std::string line;
    for (int column = 0; column < columns; ++column) {
      std::string text;
      if (titles) {
        text = textOf(ListColumn{}, kGetColumn, column);
      } else {
        ListItem item{};
        item.iSubItem = column;
        text = textOf(item, kGetItemText, row);
      }
      line += (column == 0 ? "" : "\t") + text;
    }
    std::printf("%s\n", line.c_str());
  }
  ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  ::CloseHandle(process);
  return 0;
}

int Usage() {
  std::printf("usage: e2e_helper device|start|run|count|minimize|restored|close|title|rows|columns|click ...\n");
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
    HWND w = Find(argv[3]);
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
  if (cmd == "click" && argc == 4) {
    HWND w = Find(argv[2]);
    TextSearch search{argv[3], nullptr};
    if (w != nullptr) ::EnumChildWindows(w, FindText, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) {
      std::printf("no such control\n");
      return 1;
    }
    ::PostMessageA(search.found, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
    ::PostMessageA(search.found, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
    std::printf("clicked\n");
    return 0;
  }
  if ((cmd == "title" || cmd == "rows" || cmd == "columns") && argc == 3) {
    HWND w = Find(argv[2]);
    if (w == nullptr) {
      std::printf("no such window\n");
      return 1;
    }
    if (cmd != "title") return PrintRows(w, cmd == "columns");
    char title[1024] = {};
    ::GetWindowTextA(w, title, sizeof title);
    std::printf("%s\n", title);
    return 0;
  }
  return Usage();
}
