#pragma once
// Owner of a module loaded with LoadLibrary*: FreeLibrary when it ends.
#include "platform/unique_handle.h"
#include "platform/win32/win.h"

namespace hv::win32 {

struct ModuleTraits {
  using type = HMODULE;
  static type Invalid() { return nullptr; }
  static void Close(type module) { ::FreeLibrary(module); }
};
using UniqueModule = UniqueAny<ModuleTraits>;

}  // namespace hv::win32
