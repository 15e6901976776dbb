// System Restore client library of Win32Platform.
#include "platform/win32/system_restore.h"

#include <vector>

#include "platform/win32/unique_module.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/win_types.h"

namespace hv::win32 {

namespace {
// The entry point takes the records exactly as the interface lays them out
// (byte-packed, like the library's own header).
using SetRestorePointFn = ::BOOL(WINAPI*)(const RestorePointInfoA*, StateMgrStatus*);

class SrClientLibrary final : public SystemRestoreLibrary {
 public:
  explicit SrClientLibrary(UniqueModule module)
      : module_(std::move(module)),
        setRestorePoint_(
            ProcAs<SetRestorePointFn>(::GetProcAddress(module_.get(), "SRSetRestorePointA"))) {}

  bool HasSetRestorePoint() const override { return setRestorePoint_ != nullptr; }

  hv::BOOL SRSetRestorePointA(const RestorePointInfoA* info, StateMgrStatus* status) override {
    if (setRestorePoint_ == nullptr) {
      ::SetLastError(ERROR_PROC_NOT_FOUND);
      return FALSE;
    }
    return setRestorePoint_(info, status);
  }

 private:
  UniqueModule module_;
  SetRestorePointFn setRestorePoint_;
};
}  // namespace

std::unique_ptr<SystemRestoreLibrary> LoadSrClientFrom(const std::string& folder) {
  if (folder.empty()) return nullptr;
  std::string path = folder;
  if (path.back() != '\\' && path.back() != '/') path += '\\';
  path += "SrClient.dll";
  // A full path keeps the application folder (and the current folder) out of
  // the search for the library itself; the altered search path keeps them out
  // of the search for its dependencies.
  UniqueModule module(::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  if (!module) return nullptr;
  return std::make_unique<SrClientLibrary>(std::move(module));
}

std::string SystemFolder() {
  std::vector<char> buffer(MAX_PATH + 1);
  for (;;) {
    const UINT length = ::GetSystemDirectoryA(buffer.data(), static_cast<UINT>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(length + 1);
  }
}

}  // namespace hv::win32

namespace hv {

std::unique_ptr<SystemRestoreLibrary> Win32Platform::LoadSrClient() {
  return win32::LoadSrClientFrom(win32::SystemFolder());
}

}  // namespace hv
