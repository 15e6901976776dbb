#pragma once
// One move-only owner for every kind of platform handle.
#include <utility>

#include "platform/platform.h"

namespace hv {

// Traits: `type`, `static type Invalid()`, `static void Close(type)`.
template <typename Traits>
class UniqueAny {
 public:
  using type = typename Traits::type;

  UniqueAny() = default;
  explicit UniqueAny(type value) : value_(value) {}
  ~UniqueAny() { reset(); }
  UniqueAny(UniqueAny&& other) noexcept : value_(other.release()) {}
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;

  type get() const { return value_; }
  bool valid() const { return value_ != Traits::Invalid(); }
  explicit operator bool() const { return valid(); }
  // For out-parameters: closes the current value first.
  type* put() {
    reset();
    return &value_;
  }
  type release() { return std::exchange(value_, Traits::Invalid()); }
  void reset(type value = Traits::Invalid()) {
    type old = std::exchange(value_, value);
    if (old != Traits::Invalid()) Traits::Close(old);
  }

 private:
  type value_ = Traits::Invalid();
};

struct RegKeyTraits {
  using type = HKEY;
  static type Invalid() { return nullptr; }
  static void Close(type key) { Os().RegCloseKey(key); }
};
struct KernelHandleTraits {
  using type = HANDLE;
  static type Invalid() { return nullptr; }
  static void Close(type handle) { Os().CloseHandle(handle); }
};
struct FileHandleTraits {
  using type = HANDLE;
  static type Invalid() { return InvalidHandleValue(); }
  static void Close(type handle) { Os().CloseHandle(handle); }
};
struct FindHandleTraits {
  using type = HANDLE;
  static type Invalid() { return InvalidHandleValue(); }
  static void Close(type handle) { Os().FindClose(handle); }
};

using UniqueHkey = UniqueAny<RegKeyTraits>;
using UniqueHandle = UniqueAny<KernelHandleTraits>;
using UniqueFile = UniqueAny<FileHandleTraits>;
using UniqueFind = UniqueAny<FindHandleTraits>;

}  // namespace hv
