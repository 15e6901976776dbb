#pragma once
// Opening a link label's own target in the user's browser; the shell's
// answer is not examined.
#include "ui/component.h"

namespace hv {

// A link label's own target: its URL as stored, with no owner window and the
// verb "open"; no call at all when the URL is empty or only blanks.
// True when the shell was asked.
bool OpenLinkLabel(const ui::LinkLabel& label);

}  // namespace hv
