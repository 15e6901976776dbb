#include "ui/link_label_open.h"

#include "platform/platform.h"

namespace hv {

bool OpenLinkLabel(const ui::LinkLabel& label) {
  const std::string& url = label.Url();
  // Blanks are the characters up to and including ' ', as the trim of the
  // original runtime takes them.
  bool blank = true;
  for (char c : url) {
    if (static_cast<unsigned char>(c) > ' ') {
      blank = false;
      break;
    }
  }
  if (blank) return false;
  Os().ShellExecuteA(nullptr, "open", url.c_str(), nullptr, nullptr, kSwShow);
  return true;
}

}  // namespace hv
