// The work folder on a Windows host: the user's own folder, found, made and
// checked through the security descriptors Windows keeps instead of modes.
#include "platform/offline/work_dir.h"

#include <cstdlib>
#include <cwchar>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "platform/offline/error_text.h"
#include "platform/win32/win.h"
#include <aclapi.h>

namespace hv::offline {
namespace fs = std::filesystem;

namespace {

struct LocalFreeDeleter {
  void operator()(void* p) const { ::LocalFree(p); }
};
struct SidDeleter {
  void operator()(void* p) const { ::FreeSid(p); }
};
using UniqueSid = std::unique_ptr<void, SidDeleter>;

std::string WinErrorText(::DWORD code) { return ErrorText(static_cast<DWORD>(code)); }

// A SID the token names (TokenUser or TokenOwner), copied out of the token.
std::vector<unsigned char> TokenSid(::TOKEN_INFORMATION_CLASS which) {
  ::HANDLE raw = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
  const HostHandle token(raw);
  ::DWORD size = 0;
  ::GetTokenInformation(raw, which, nullptr, 0, &size);
  std::vector<unsigned char> info(size);
  if (size == 0 || !::GetTokenInformation(raw, which, info.data(), size, &size)) return {};
  ::PSID sid = which == ::TokenUser ? reinterpret_cast<::TOKEN_USER*>(info.data())->User.Sid
                                    : reinterpret_cast<::TOKEN_OWNER*>(info.data())->Owner;
  if (sid == nullptr || !::IsValidSid(sid)) return {};
  const auto* bytes = static_cast<const unsigned char*>(sid);
  return std::vector<unsigned char>(bytes, bytes + ::GetLengthSid(sid));
}

UniqueSid WellKnown(::DWORD first, ::DWORD second, ::BYTE count) {
  ::SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  ::PSID sid = nullptr;
  if (!::AllocateAndInitializeSid(&nt, count, first, second, 0, 0, 0, 0, 0, 0, &sid)) return UniqueSid();
  return UniqueSid(sid);
}

// The accounts a private folder may give write access to: the user, the
// token's default owner (the administrators' group of an elevated run), the
// system and the administrators.
struct Trusted {
  std::vector<unsigned char> user = TokenSid(::TokenUser);
  std::vector<unsigned char> owner = TokenSid(::TokenOwner);
  UniqueSid system = WellKnown(SECURITY_LOCAL_SYSTEM_RID, 0, 1);
  UniqueSid administrators = WellKnown(SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 2);

  bool Is(::PSID sid) const {
    for (const std::vector<unsigned char>* s : {&user, &owner}) {
      if (!s->empty() && ::EqualSid(sid, const_cast<unsigned char*>(s->data()))) return true;
    }
    return (system && ::EqualSid(sid, system.get())) || (administrators && ::EqualSid(sid, administrators.get()));
  }
  bool OwnsAs(::PSID sid) const {
    for (const std::vector<unsigned char>* s : {&user, &owner}) {
      if (!s->empty() && ::EqualSid(sid, const_cast<unsigned char*>(s->data()))) return true;
    }
    return false;
  }
};

// A descriptor that grants the user and the system everything and nobody
// else anything, inherited by what is made inside and not from above.
class PrivateDescriptor {
 public:
  explicit PrivateDescriptor(const Trusted& trusted) {
    if (trusted.user.empty() || !trusted.system) return;
    ::PSID user = const_cast<unsigned char*>(trusted.user.data());
    const ::DWORD size = sizeof(::ACL) + 2 * (sizeof(::ACCESS_ALLOWED_ACE) - sizeof(::DWORD)) +
                         ::GetLengthSid(user) + ::GetLengthSid(trusted.system.get());
    acl_.resize(size);
    auto* acl = reinterpret_cast<::ACL*>(acl_.data());
    const ::DWORD inherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    if (!::InitializeAcl(acl, size, ACL_REVISION) ||
        !::AddAccessAllowedAceEx(acl, ACL_REVISION, inherit, FILE_ALL_ACCESS, user) ||
        !::AddAccessAllowedAceEx(acl, ACL_REVISION, inherit, FILE_ALL_ACCESS, trusted.system.get()) ||
        !::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) ||
        !::SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
      return;
    }
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = &descriptor_;
    attributes_.bInheritHandle = FALSE;
    ready_ = true;
  }
  ::SECURITY_ATTRIBUTES* get() { return ready_ ? &attributes_ : nullptr; }

 private:
  std::vector<unsigned char> acl_;
  ::SECURITY_DESCRIPTOR descriptor_{};
  ::SECURITY_ATTRIBUTES attributes_{};
  bool ready_ = false;
};

constexpr ::DWORD kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD |
                                 FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                 GENERIC_ALL;

// Why the folder behind `handle` is not the user's own, or empty.
std::string NotPrivate(::HANDLE handle, const Trusted& trusted) {
  ::PSID owner = nullptr;
  ::PACL dacl = nullptr;
  ::PSECURITY_DESCRIPTOR raw = nullptr;
  const ::DWORD status = ::GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                           &owner, nullptr, &dacl, nullptr, &raw);
  if (status != ERROR_SUCCESS) return "cannot be examined: " + WinErrorText(status);
  const std::unique_ptr<void, LocalFreeDeleter> held(raw);
  // Another user could put a copy of their own in the place of one of ours.
  if (owner == nullptr || !trusted.OwnsAs(owner)) return "belongs to another user; give one of your own with --work-dir";
  if (dacl == nullptr) return "can be written by every user; it must not";
  for (::DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!::GetAce(dacl, i, &ace)) continue;
    const auto* header = static_cast<const ::ACE_HEADER*>(ace);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE) != 0) continue;
    const auto* allowed = static_cast<const ::ACCESS_ALLOWED_ACE*>(ace);
    auto* sid = reinterpret_cast<::PSID>(const_cast<::DWORD*>(&allowed->SidStart));
    if ((allowed->Mask & kWriteRights) != 0 && !trusted.Is(sid)) {
      return "can be written by other users; it must not (give the user alone access to it)";
    }
  }
  return {};
}

std::wstring Environment(const wchar_t* name) {
  const wchar_t* value = ::_wgetenv(name);
  return value != nullptr ? value : L"";
}

}  // namespace

fs::path DefaultWorkDir() {
  const std::wstring local = Environment(L"LOCALAPPDATA");
  if (!local.empty()) return fs::path(local) / "Talvix Hivora" / "work";
  std::wstring temp = Environment(L"TEMP");
  if (temp.empty()) temp = Environment(L"TMP");
  if (!temp.empty()) return fs::path(temp) / "Talvix Hivora work";
  return {};
}

bool Unwritable(const fs::path& folder) {
  std::error_code ec;
  fs::path at = fs::absolute(folder, ec);
  if (ec) return false;
  while (::GetFileAttributesW(at.c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (at == at.parent_path() || at.parent_path().empty()) return false;
    at = at.parent_path();
  }
  wchar_t volume[MAX_PATH + 1] = {};
  ::DWORD flags = 0;
  if (::GetVolumePathNameW(at.c_str(), volume, MAX_PATH) &&
      ::GetVolumeInformationW(volume, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) &&
      (flags & FILE_READ_ONLY_VOLUME) != 0) {
    return true;
  }
  const fs::path probe = at / ("hivora-" + std::to_string(::GetCurrentProcessId()) + ".probe");
  const HostHandle made(::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE,
                                      nullptr));
  if (made.valid()) return false;
  const ::DWORD error = ::GetLastError();
  return error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT || error == ERROR_NOT_READY ||
         error == ERROR_DISK_FULL || error == ERROR_PRIVILEGE_NOT_HELD;
}

std::unique_ptr<WorkDir> WorkDir::Open(const fs::path& folder, std::string* error) {
  if (folder.empty()) {
    *error = "no folder for the copies (neither LOCALAPPDATA nor TEMP is set); give one with --work-dir";
    return nullptr;
  }
  std::error_code ec;
  const fs::path path = fs::absolute(folder, ec).lexically_normal();
  if (ec) {
    *error = folder.string() + ": the work folder cannot be found: " + ec.message();
    return nullptr;
  }
  const std::string name = path.string() + ": the work folder ";
  const Trusted trusted;
  PrivateDescriptor descriptor(trusted);
  // The default folder's parent is the program's folder of the user's data.
  if (path == DefaultWorkDir().lexically_normal()) ::CreateDirectoryW(path.parent_path().c_str(), nullptr);
  if (!::CreateDirectoryW(path.c_str(), descriptor.get()) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
    *error = name + "cannot be made: " + WinErrorText(::GetLastError());
    return nullptr;
  }
  const ::DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    *error = name + "is a link or no folder; give one of your own with --work-dir";
    return nullptr;
  }
  // Not shared for deletion: the folder stays where it was examined.
  HostHandle handle(::CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr));
  if (!handle.valid()) {
    *error = name + "cannot be opened: " + WinErrorText(::GetLastError());
    return nullptr;
  }
  ::BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle.get(), &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    *error = name + "changed while it was examined";
    return nullptr;
  }
  if (const std::string why = NotPrivate(handle.get(), trusted); !why.empty()) {
    *error = name + why;
    return nullptr;
  }
  return std::unique_ptr<WorkDir>(new WorkDir(path, std::move(handle)));
}

}  // namespace hv::offline
