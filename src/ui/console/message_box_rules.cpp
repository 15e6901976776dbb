#include "ui/console/message_box_rules.h"
#include "regf/text_case.h"

#include <algorithm>
#include <string>

namespace hv::ui::console {
namespace {
constexpr int kMrAbort = 3;
constexpr int kMrRetry = 4;
constexpr int kMrIgnore = 5;
}  // namespace

std::vector<int> MessageBoxButtons(UINT flags) {
  switch (flags & 0xF) {
    case 1: return {kMrOk, kMrCancel};
    case 2: return {kMrAbort, kMrRetry, kMrIgnore};
    case 3: return {kMrYes, kMrNo, kMrCancel};
    case 4: return {kMrYes, kMrNo};
    case 5: return {kMrRetry, kMrCancel};
    default: return {kMrOk};
  }
}

int DefaultButton(UINT flags) {
  const std::vector<int> buttons = MessageBoxButtons(flags);
  const std::size_t index = (flags & 0xF00) >> 8;
  return index < buttons.size() ? buttons[index] : buttons.front();
}

std::optional<int> EscapeButton(UINT flags) {
  const std::vector<int> buttons = MessageBoxButtons(flags);
  if (std::find(buttons.begin(), buttons.end(), kMrCancel) != buttons.end()) return kMrCancel;
  if (buttons.size() == 1) return buttons.front();
  return std::nullopt;
}

const char* ButtonName(int button) {
  switch (button) {
    case kMrOk: return "OK";
    case kMrCancel: return "Cancel";
    case kMrAbort: return "Abort";
    case kMrRetry: return "Retry";
    case kMrIgnore: return "Ignore";
    case kMrYes: return "Yes";
    case kMrNo: return "No";
    default: return "?";
  }
}

std::optional<int> ParseButton(std::string_view name) {
  for (int button : {kMrOk, kMrCancel, kMrAbort, kMrRetry, kMrIgnore, kMrYes, kMrNo}) {
    const std::string known = ButtonName(button);
    if (SameText(known, name)) {
      return button;
    }
  }
  return std::nullopt;
}

}  // namespace hv::ui::console
