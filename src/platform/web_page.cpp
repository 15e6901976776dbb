#include "platform/web_page.h"

#include "platform/platform.h"

namespace hv {

void OpenWebPage(HWND owner, const std::string& address) {
  Os().ShellExecuteA(owner, "Open", address.c_str(), nullptr, nullptr, kSwShow);
}

}  // namespace hv
