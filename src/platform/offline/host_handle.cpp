#include "platform/offline/host_handle.h"

#include "platform/win32/win.h"

namespace hv::offline {

HostHandle::HostHandle(void* handle) : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}

void HostHandle::reset() {
  if (handle_ != nullptr) ::CloseHandle(std::exchange(handle_, nullptr));
}

}  // namespace hv::offline
