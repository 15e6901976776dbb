#pragma once
// Opening the maker's web pages in the user's browser. The shell's answer is
// not examined: a missing browser or an unreachable page is the shell's
// business, and the program carries on unchanged.
#include <string>

#include "platform/types.h"

namespace hv {

// ShellExecuteA(owner, "Open", address, none, none, SW_SHOW).
void OpenWebPage(HWND owner, const std::string& address);

}  // namespace hv
