#include "platform/web_page.h"

#include "platform/platform.h"

namespace hv {

bool OpenWebPage(HWND owner, const std::string& address) {
  return Os().ShellExecuteA(owner, "Open", address.c_str(), nullptr, nullptr, kSwShow) > 32;
}

}  // namespace hv
