#pragma once
// Conversions between the platform interface's types and the Win32 ones.
//
// The interface's handles carry the real Win32 values; only the predefined
// registry roots are mapped by name. DWORD out-parameters go through a Win32
// DWORD of their own: the interface's DWORD is a 32-bit `unsigned int`, the
// Win32 one an `unsigned long`, and the two must not alias.
#include "platform/win32/win.h"

namespace hv::win32 {

::HKEY ToWin(hv::HKEY key);
hv::HKEY FromWin(::HKEY key);
inline ::HANDLE ToWin(hv::HANDLE handle) { return reinterpret_cast<::HANDLE>(handle); }
inline hv::HANDLE FromWin(::HANDLE handle) { return reinterpret_cast<hv::HANDLE>(handle); }
inline ::HWND ToWin(hv::HWND window) { return reinterpret_cast<::HWND>(window); }

// An in/out DWORD: the caller's value goes in, the result comes back when the
// holder ends. Null stays null.
class DwordInOut {
 public:
  explicit DwordInOut(hv::DWORD* target) : target_(target), value_(target ? *target : 0) {}
  ~DwordInOut() {
    if (target_ != nullptr) *target_ = static_cast<hv::DWORD>(value_);
  }
  DwordInOut(const DwordInOut&) = delete;
  DwordInOut& operator=(const DwordInOut&) = delete;
  ::DWORD* get() { return target_ != nullptr ? &value_ : nullptr; }

 private:
  hv::DWORD* target_;
  ::DWORD value_;
};

// An out-only DWORD: the caller's value is not read (it may be unset).
class DwordOut {
 public:
  explicit DwordOut(hv::DWORD* target) : target_(target) {}
  ~DwordOut() {
    if (target_ != nullptr) *target_ = static_cast<hv::DWORD>(value_);
  }
  DwordOut(const DwordOut&) = delete;
  DwordOut& operator=(const DwordOut&) = delete;
  ::DWORD* get() { return target_ != nullptr ? &value_ : nullptr; }

 private:
  hv::DWORD* target_;
  ::DWORD value_ = 0;
};

// GetProcAddress's result as a typed function pointer (via the generic
// function pointer type, which GCC accepts without a cast warning).
template <typename Fn>
Fn ProcAs(FARPROC proc) {
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}

}  // namespace hv::win32
