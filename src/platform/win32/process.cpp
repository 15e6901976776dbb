// Process and locale queries of Win32Platform (kernel32).
#include <vector>

#include "platform/win32/win32_platform.h"
#include "platform/win32/win_types.h"

namespace hv {

namespace {
SYSTEMTIME ToWin(const SystemTime& time) {
  SYSTEMTIME result{};
  result.wYear = time.wYear;
  result.wMonth = time.wMonth;
  result.wDayOfWeek = time.wDayOfWeek;
  result.wDay = time.wDay;
  result.wHour = time.wHour;
  result.wMinute = time.wMinute;
  result.wSecond = time.wSecond;
  result.wMilliseconds = time.wMilliseconds;
  return result;
}

// The executable's full path; long paths are read whole, not cut at MAX_PATH.
std::string ModulePath() {
  std::vector<char> buffer(MAX_PATH + 1);
  for (;;) {
    const ::DWORD length =
        ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<::DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return std::string(buffer.data(), length);
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

// A GetDateFormatA/GetTimeFormatA result: asked for its size first, so that no
// format the user chose is cut.
template <typename Format>
std::string Formatted(Format format) {
  const int needed = format(nullptr, 0);
  if (needed <= 0) return {};
  std::vector<char> buffer(static_cast<std::size_t>(needed));
  const int written = format(buffer.data(), needed);
  if (written <= 0) return {};
  return std::string(buffer.data(), static_cast<std::size_t>(written - 1));
}
}  // namespace

std::string Win32Platform::GetCommandLineA() {
  const char* line = ::GetCommandLineA();
  return line != nullptr ? std::string(line) : std::string();
}

std::string Win32Platform::ProgramFolder() {
  const std::string path = ModulePath();
  const auto slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string Win32Platform::DataFolder() { return ProgramFolder(); }

void Win32Platform::GetLocalTime(SystemTime* time) {
  if (time == nullptr) return;
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  time->wYear = now.wYear;
  time->wMonth = now.wMonth;
  time->wDayOfWeek = now.wDayOfWeek;
  time->wDay = now.wDay;
  time->wHour = now.wHour;
  time->wMinute = now.wMinute;
  time->wSecond = now.wSecond;
  time->wMilliseconds = now.wMilliseconds;
}

std::string Win32Platform::FormatShortDate(const SystemTime& time) {
  const SYSTEMTIME when = ToWin(time);
  return Formatted([&when](char* buffer, int size) {
    return ::GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &when, nullptr, buffer, size);
  });
}

std::string Win32Platform::FormatLongTime(const SystemTime& time) {
  const SYSTEMTIME when = ToWin(time);
  return Formatted([&when](char* buffer, int size) {
    return ::GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &when, nullptr, buffer, size);
  });
}

char Win32Platform::DecimalSeparator() {
  char buffer[8] = {};
  const int length = ::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, sizeof buffer);
  return length > 1 ? buffer[0] : '.';
}

}  // namespace hv
