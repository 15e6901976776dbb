#pragma once
// Opening the maker's web pages in the user's browser.
#include <string>

#include "platform/types.h"

namespace hv {

// ShellExecuteA(owner, "Open", address, none, none, SW_SHOW); false when the
// shell could not open it (its result 32 or less).
bool OpenWebPage(HWND owner, const std::string& address);

}  // namespace hv
