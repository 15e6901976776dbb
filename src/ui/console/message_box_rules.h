#pragma once
// Which buttons a message box has and which one it defaults to, from its
// MB_* flags, as MessageBoxA lays them out.
#include <optional>
#include <string_view>
#include <vector>

#include "platform/types.h"
#include "ui/messages.h"

namespace hv::ui::console {

// The buttons in their left-to-right order, as modal results (kMrOk...).
std::vector<int> MessageBoxButtons(UINT flags);
// The button Enter presses: the first, or the second with kMbDefButton2 (the
// third with MB_DEFBUTTON3), the first again when the box has no such button.
int DefaultButton(UINT flags);
// What Esc (the close box) gives: Cancel when the box has it, OK for a box
// with OK alone; none for Yes/No, which cannot be dismissed.
std::optional<int> EscapeButton(UINT flags);
// "OK", "Cancel", "Yes", "No" (and "Abort", "Retry", "Ignore").
const char* ButtonName(int button);
// The inverse of ButtonName, ignoring letter case.
std::optional<int> ParseButton(std::string_view name);

}  // namespace hv::ui::console
