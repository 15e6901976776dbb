#pragma once
// The access token of the offline process: the privileges of an elevated
// administrator, every one present and disabled until adjusted. One token per
// platform; every handle that OpenProcessToken gives refers to it, and the
// state is shared by all threads.
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace hv::offline {

class Token {
 public:
  Token();

  // The LUID of a privilege name (case-insensitive), as Windows numbers it.
  static std::optional<Luid> LookupPrivilege(std::string_view name);
  // LookupPrivilegeValueA: the local system only (systemName null or empty).
  // Returns the BOOL result and sets *lastError (kSuccess, kInvalidParameter,
  // kNoSuchPrivilege).
  static BOOL LookupPrivilegeValue(const char* systemName, const char* name, Luid* luid, DWORD* lastError);

  bool IsEnabled(const Luid& luid) const;
  bool IsEnabled(std::string_view name) const;

  // AdjustTokenPrivileges on this token; returns the BOOL result and sets
  // *lastError (kSuccess, kNotAllAssigned, kInsufficientBuffer, kInvalidParameter).
  // Nothing changes when the previous state does not fit.
  BOOL Adjust(BOOL disableAll, const TokenPrivileges* newState, DWORD bufferLength,
              TokenPrivileges* previousState, DWORD* returnLength, DWORD* lastError);
  // The same through a handle opened with `handleAccess`: it needs
  // TOKEN_ADJUST_PRIVILEGES, and TOKEN_QUERY as well when the previous state
  // is asked for (else kAccessDenied, nothing changed).
  BOOL AdjustThroughHandle(DWORD handleAccess, BOOL disableAll, const TokenPrivileges* newState,
                           DWORD bufferLength, TokenPrivileges* previousState, DWORD* returnLength,
                           DWORD* lastError);

 private:
  struct Entry {
    Luid luid;
    bool enabled = false;
  };
  mutable std::mutex mutex_;
  std::vector<Entry> privileges_;
};

}  // namespace hv::offline
