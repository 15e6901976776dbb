#include "platform/platform.h"

#include <cstdlib>
#include <cstdio>

#include "platform/command_line.h"

namespace hv {
namespace {
std::unique_ptr<Platform>& Owned() {
  static std::unique_ptr<Platform> owned;
  return owned;
}
Platform*& Current() {
  static Platform* current = nullptr;
  return current;
}
}  // namespace

HKEY HkeyLocalMachine() { return reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000002u)); }
HKEY HkeyUsers() { return reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000003u)); }
HANDLE InvalidHandleValue() { return reinterpret_cast<HANDLE>(~static_cast<std::uintptr_t>(0)); }

std::vector<std::string> Platform::CommandLineArguments() { return SplitCommandLine(GetCommandLineA()); }

Platform& Os() {
  if (Current() == nullptr) {
    std::fputs("internal error: no platform installed\n", stderr);
    std::abort();
  }
  return *Current();
}

void SetPlatform(std::unique_ptr<Platform> platform) {
  Owned() = std::move(platform);
  Current() = Owned().get();
}

ScopedPlatform::ScopedPlatform(Platform* platform) : previous_(Current()) { Current() = platform; }
ScopedPlatform::~ScopedPlatform() { Current() = previous_; }

}  // namespace hv
