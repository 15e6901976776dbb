#pragma once
// Opening one of the maker's web pages from a window, and saying so when it
// cannot be opened (no browser, no handler): the user is shown the address,
// to open it by hand.
#include <string>

#include "ui/form.h"

namespace hv {

// The message's text in the current language; %s is the address.
inline constexpr const char* kResWebPageFailed = "RES_Web_Page_Failed";
inline constexpr const char* kWebPageFailedText = "The web page could not be opened. Its address is:\r\n\r\n%s";

// OpenWebPage(owner's window, address); a message box over `owner` when the
// shell could not open it.
void OpenWebPageOrSay(ui::Form& owner, const std::string& address);

}  // namespace hv
