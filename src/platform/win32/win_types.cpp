#include "platform/win32/win_types.h"

namespace hv::win32 {

::HKEY ToWin(hv::HKEY key) {
  if (key == hv::HkeyLocalMachine()) return HKEY_LOCAL_MACHINE;
  if (key == hv::HkeyUsers()) return HKEY_USERS;
  return reinterpret_cast<::HKEY>(key);
}

hv::HKEY FromWin(::HKEY key) {
  if (key == HKEY_LOCAL_MACHINE) return hv::HkeyLocalMachine();
  if (key == HKEY_USERS) return hv::HkeyUsers();
  return reinterpret_cast<hv::HKEY>(key);
}

}  // namespace hv::win32
