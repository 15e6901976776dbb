#pragma once
// A handle of the Windows host, closed with its owner. The offline platform
// emulates Win32 for the shell, so its own CloseHandle is no way to close a
// handle the host gave; this one goes straight to the host.
#include <utility>

namespace hv::offline {

class HostHandle {
 public:
  HostHandle() = default;
  // `handle`: what CreateFileW gave (INVALID_HANDLE_VALUE or null: none).
  explicit HostHandle(void* handle);
  ~HostHandle() { reset(); }
  HostHandle(HostHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  HostHandle& operator=(HostHandle&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  HostHandle(const HostHandle&) = delete;
  HostHandle& operator=(const HostHandle&) = delete;

  void* get() const { return handle_; }
  bool valid() const { return handle_ != nullptr; }
  void reset();

 private:
  void* handle_ = nullptr;
};

}  // namespace hv::offline
