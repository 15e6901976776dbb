#include "platform/win32/win_types.h"

// The root macros cast to `HKEY`, which inside namespace hv names the
// interface's type; they are taken here, outside it.
namespace {
const ::HKEY kWinLocalMachine = HKEY_LOCAL_MACHINE;
const ::HKEY kWinUsers = HKEY_USERS;
}  // namespace

namespace hv::win32 {

::HKEY ToWin(hv::HKEY key) {
  if (key == hv::HkeyLocalMachine()) return kWinLocalMachine;
  if (key == hv::HkeyUsers()) return kWinUsers;
  return reinterpret_cast<::HKEY>(key);
}

hv::HKEY FromWin(::HKEY key) {
  if (key == kWinLocalMachine) return hv::HkeyLocalMachine();
  if (key == kWinUsers) return hv::HkeyUsers();
  return reinterpret_cast<hv::HKEY>(key);
}

}  // namespace hv::win32
