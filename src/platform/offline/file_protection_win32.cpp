#include "platform/offline/file_protection_win32.h"

#include <cstring>
#include <memory>

#include "platform/offline/error_text.h"
#include "platform/win32/win.h"
#include <aclapi.h>

namespace hv::offline::host {
namespace {

struct LocalFree {
  void operator()(void* p) const { ::LocalFree(p); }
};
struct CloseFile {
  void operator()(::HANDLE h) const { ::CloseHandle(h); }
};
using UniqueFile = std::unique_ptr<void, CloseFile>;

UniqueFile OpenForSecurity(const std::filesystem::path& file, ::DWORD access) {
  ::HANDLE h = ::CreateFileW(file.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  return UniqueFile(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

// The privileges that let an administrator read and write any security
// descriptor: the SACL (security), an owner other than itself (restore),
// files it may not open otherwise (backup). Each only where the account
// holds it; the process keeps them enabled.
void EnableSecurityPrivileges() {
  static const bool enabled = [] {
    ::HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
    for (const char* name : {"SeSecurityPrivilege", "SeRestorePrivilege", "SeBackupPrivilege"}) {
      ::TOKEN_PRIVILEGES tp{};
      tp.PrivilegeCount = 1;
      tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
      if (::LookupPrivilegeValueA(nullptr, name, &tp.Privileges[0].Luid)) {
        ::AdjustTokenPrivileges(token, FALSE, &tp, sizeof tp, nullptr, nullptr);
      }
    }
    ::CloseHandle(token);
    return true;
  }();
  (void)enabled;
}

bool SameAcl(const ::ACL* a, const ::ACL* b) {
  if (a == nullptr || b == nullptr) return a == b;
  return a->AclSize == b->AclSize && std::memcmp(a, b, a->AclSize) == 0;
}

bool AlreadyAlike(::HANDLE file, ::PSID owner, ::PSID group, ::PACL dacl, bool protectedDacl) {
  ::PSID hasOwner = nullptr, hasGroup = nullptr;
  ::PACL hasDacl = nullptr;
  ::PSECURITY_DESCRIPTOR raw = nullptr;
  if (::GetSecurityInfo(file, SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &hasOwner,
                        &hasGroup, &hasDacl, nullptr, &raw) != ERROR_SUCCESS) {
    return false;
  }
  std::unique_ptr<void, LocalFree> descriptor(raw);
  ::SECURITY_DESCRIPTOR_CONTROL control = 0;
  ::DWORD revision = 0;
  ::GetSecurityDescriptorControl(raw, &control, &revision);
  const auto same = [](::PSID a, ::PSID b) { return a == nullptr ? b == nullptr : b != nullptr && ::EqualSid(a, b); };
  return same(owner, hasOwner) && same(group, hasGroup) && SameAcl(dacl, hasDacl) &&
         ((control & SE_DACL_PROTECTED) != 0) == protectedDacl;
}

std::string Describe(const std::filesystem::path& file, const char* what, ::DWORD error) {
  return std::string(what) + " of " + file.filename().string() + ": " + hv::offline::ErrorText(error);
}

}  // namespace

DWORD CopyWindowsProtection(const std::filesystem::path& model, const std::filesystem::path& target,
                            std::string* why) {
  EnableSecurityPrivileges();
  // The SACL where the process may have it; the rest always.
  bool withSacl = true;
  UniqueFile from = OpenForSecurity(model, READ_CONTROL | ACCESS_SYSTEM_SECURITY);
  if (!from) {
    withSacl = false;
    from = OpenForSecurity(model, READ_CONTROL);
  }
  if (!from) {
    const ::DWORD e = ::GetLastError();
    if (why != nullptr) *why = Describe(model, "the security descriptor cannot be read", e);
    return e;
  }
  ::SECURITY_INFORMATION wanted = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                  DACL_SECURITY_INFORMATION | (withSacl ? SACL_SECURITY_INFORMATION : 0);
  ::PSID owner = nullptr, group = nullptr;
  ::PACL dacl = nullptr, sacl = nullptr;
  ::PSECURITY_DESCRIPTOR raw = nullptr;
  ::DWORD e = ::GetSecurityInfo(from.get(), SE_FILE_OBJECT, wanted, &owner, &group, &dacl, &sacl, &raw);
  if (e != ERROR_SUCCESS) {
    if (why != nullptr) *why = Describe(model, "the security descriptor cannot be read", e);
    return e;
  }
  std::unique_ptr<void, LocalFree> descriptor(raw);
  ::SECURITY_DESCRIPTOR_CONTROL control = 0;
  ::DWORD revision = 0;
  ::GetSecurityDescriptorControl(raw, &control, &revision);
  // Whether the lists inherit from the folder is part of the protection too.
  wanted |= (control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION
                                          : UNPROTECTED_DACL_SECURITY_INFORMATION;
  if (withSacl) {
    wanted |= (control & SE_SACL_PROTECTED) ? PROTECTED_SACL_SECURITY_INFORMATION
                                            : UNPROTECTED_SACL_SECURITY_INFORMATION;
  }

  UniqueFile to = OpenForSecurity(target, WRITE_DAC | WRITE_OWNER | READ_CONTROL | (withSacl ? ACCESS_SYSTEM_SECURITY : 0));
  if (!to && withSacl) {
    withSacl = false;
    to = OpenForSecurity(target, WRITE_DAC | WRITE_OWNER | READ_CONTROL);
  }
  if (!to) {
    e = ::GetLastError();
    if (why != nullptr) *why = Describe(target, "the copy cannot be opened to give it the security descriptor", e);
    return e;
  }
  // A descriptor the copy has already (inherited alike from the folder) is
  // not given again: that may take a privilege the owner needs not.
  if (!AlreadyAlike(to.get(), owner, group, dacl, control & SE_DACL_PROTECTED)) {
    const ::SECURITY_INFORMATION main = wanted & ~(SACL_SECURITY_INFORMATION | PROTECTED_SACL_SECURITY_INFORMATION |
                                                   UNPROTECTED_SACL_SECURITY_INFORMATION);
    e = ::SetSecurityInfo(to.get(), SE_FILE_OBJECT, main, owner, group, dacl, nullptr);
    if (e != ERROR_SUCCESS) {
      if (why != nullptr) *why = Describe(target, "the security descriptor cannot be given to the copy", e);
      return e;
    }
  }
  if (withSacl) {
    // The SACL where the privilege allows it.
    (void)::SetSecurityInfo(to.get(), SE_FILE_OBJECT,
                            wanted & (SACL_SECURITY_INFORMATION | PROTECTED_SACL_SECURITY_INFORMATION |
                                      UNPROTECTED_SACL_SECURITY_INFORMATION),
                            nullptr, nullptr, nullptr, sacl);
  }
  to.reset();

  // Hidden, system, archive and indexing stay as the hive had them; read-only
  // would keep the data out, and a hive in use is never read-only.
  const ::DWORD attributes = ::GetFileAttributesW(model.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    const ::DWORD kept = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                       FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    if (!::SetFileAttributesW(target.c_str(), kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL)) {
      e = ::GetLastError();
      if (why != nullptr) *why = Describe(target, "the attributes cannot be given to the copy", e);
      return e;
    }
  }
  return err::kSuccess;
}

}  // namespace hv::offline::host
