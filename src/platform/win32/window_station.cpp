#include "platform/win32/window_station.h"

#include "platform/win32/win.h"

namespace hv::win32 {

bool WindowStationIsInteractive() {
  ::HWINSTA station = ::GetProcessWindowStation();
  if (station == nullptr) return true;
  USEROBJECTFLAGS flags{};
  ::DWORD needed = 0;
  if (!::GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, &needed)) return true;
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

bool ReportToEventLog(const std::string& text, bool error) {
  ::HANDLE source = ::RegisterEventSourceA(nullptr, "Talvix Hivora");
  if (source == nullptr) return false;
  const char* strings[] = {text.c_str()};
  const ::BOOL reported = ::ReportEventA(source, static_cast<::WORD>(error ? EVENTLOG_ERROR_TYPE : EVENTLOG_WARNING_TYPE),
                                         0, 0, nullptr, 1, 0, strings, nullptr);
  ::DeregisterEventSource(source);
  return reported != FALSE;
}

}  // namespace hv::win32
