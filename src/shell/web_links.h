#pragma once
// Opening the maker's web pages in the user's browser. The shell's answer is
// not examined: a missing browser or an unreachable page is the shell's
// business, and the program carries on unchanged.
#include <string>

#include "platform/types.h"
#include "ui/component.h"

namespace hv {

// ShellExecuteA(owner, "Open", address, none, none, SW_SHOW).
void OpenWebPage(HWND owner, const std::string& address);

// A link label's own target: its URL as stored, with no owner window and the
// verb "open"; no call at all when the URL is empty or only blanks.
// True when the shell was asked.
bool OpenLinkLabel(const ui::LinkLabel& label);

}  // namespace hv
