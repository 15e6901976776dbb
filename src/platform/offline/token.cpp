#include "platform/offline/token.h"

#include <algorithm>
#include <cctype>

#include "regf/text_case.h"

namespace hv::offline {
namespace {

struct Named {
  const char* name;
  DWORD luid;
};

// Windows' well-known privilege LUIDs (winnt.h SE_*_PRIVILEGE values).
constexpr Named kPrivileges[] = {
    {"SeCreateTokenPrivilege", 2},         {"SeAssignPrimaryTokenPrivilege", 3},
    {"SeLockMemoryPrivilege", 4},          {"SeIncreaseQuotaPrivilege", 5},
    {"SeMachineAccountPrivilege", 6},      {"SeTcbPrivilege", 7},
    {"SeSecurityPrivilege", 8},            {"SeTakeOwnershipPrivilege", 9},
    {"SeLoadDriverPrivilege", 10},         {"SeSystemProfilePrivilege", 11},
    {"SeSystemtimePrivilege", 12},         {"SeProfileSingleProcessPrivilege", 13},
    {"SeIncreaseBasePriorityPrivilege", 14}, {"SeCreatePagefilePrivilege", 15},
    {"SeCreatePermanentPrivilege", 16},    {"SeBackupPrivilege", 17},
    {"SeRestorePrivilege", 18},            {"SeShutdownPrivilege", 19},
    {"SeDebugPrivilege", 20},              {"SeAuditPrivilege", 21},
    {"SeSystemEnvironmentPrivilege", 22},  {"SeChangeNotifyPrivilege", 23},
    {"SeRemoteShutdownPrivilege", 24},     {"SeUndockPrivilege", 25},
    {"SeManageVolumePrivilege", 28},       {"SeImpersonatePrivilege", 29},
    {"SeCreateGlobalPrivilege", 30},       {"SeIncreaseWorkingSetPrivilege", 33},
    {"SeTimeZonePrivilege", 34},           {"SeCreateSymbolicLinkPrivilege", 35},
};

constexpr DWORD kPrivilegeRemoved = 4;
constexpr DWORD kEntrySize = sizeof(Luid) + sizeof(DWORD);
constexpr DWORD kHeaderSize = sizeof(DWORD);

}  // namespace

Token::Token() {
  for (const Named& p : kPrivileges) {
    // The privileges an elevated administrator's token holds.
    if (p.luid == 2 || p.luid == 3 || p.luid == 4 || p.luid == 6 || p.luid == 7 || p.luid == 16 ||
        p.luid == 21) {
      continue;
    }
    privileges_.push_back({Luid{p.luid, 0}, false});
  }
}

std::optional<Luid> Token::LookupPrivilege(std::string_view name) {
  for (const Named& p : kPrivileges) {
    if (SameText(p.name, name)) return Luid{p.luid, 0};
  }
  return std::nullopt;
}

bool Token::IsEnabled(const Luid& luid) const {
  std::lock_guard lock(mutex_);
  for (const Entry& e : privileges_) {
    if (e.luid == luid) return e.enabled;
  }
  return false;
}

bool Token::IsEnabled(std::string_view name) const {
  auto luid = LookupPrivilege(name);
  return luid && IsEnabled(*luid);
}

BOOL Token::Adjust(BOOL disableAll, const TokenPrivileges* newState, DWORD bufferLength,
                   TokenPrivileges* previousState, DWORD* returnLength, DWORD* lastError) {
  if ((!disableAll && newState == nullptr) || (previousState == nullptr && bufferLength != 0)) {
    *lastError = err::kInvalidParameter;
    return 0;
  }
  std::lock_guard lock(mutex_);
  struct Change {
    std::size_t index;
    bool enable;
    bool remove;
  };
  std::vector<Change> changes;
  bool allAssigned = true;
  if (disableAll) {
    for (std::size_t i = 0; i < privileges_.size(); ++i) changes.push_back({i, false, false});
  } else {
    // The record holds one entry; a larger count would read past it.
    if (newState->privilegeCount > 1) {
      *lastError = err::kInvalidParameter;
      return 0;
    }
    for (DWORD n = 0; n < newState->privilegeCount; ++n) {
      auto it = std::find_if(privileges_.begin(), privileges_.end(),
                             [&](const Entry& e) { return e.luid == newState->luid; });
      if (it == privileges_.end()) {
        allAssigned = false;
        continue;
      }
      const DWORD a = newState->attributes;
      changes.push_back({static_cast<std::size_t>(it - privileges_.begin()),
                         (a & kSePrivilegeEnabled) != 0, (a & kPrivilegeRemoved) != 0});
    }
  }
  // The previous state lists the privileges whose state really changes.
  std::vector<Entry> previous;
  for (const Change& c : changes) {
    const Entry& e = privileges_[c.index];
    if (c.remove || e.enabled != c.enable) previous.push_back(e);
  }
  const DWORD needed = kHeaderSize + kEntrySize * static_cast<DWORD>(previous.size());
  if (previousState != nullptr) {
    if (returnLength != nullptr) *returnLength = needed;
    const DWORD room = std::min<DWORD>(bufferLength, sizeof(TokenPrivileges));
    if (room < needed) {
      *lastError = err::kInsufficientBuffer;
      return 0;
    }
    *previousState = TokenPrivileges{};
    previousState->privilegeCount = static_cast<DWORD>(previous.size());
    if (!previous.empty()) {
      previousState->luid = previous[0].luid;
      previousState->attributes = previous[0].enabled ? kSePrivilegeEnabled : 0;
    }
  }
  std::vector<std::size_t> removed;
  for (const Change& c : changes) {
    if (c.remove) {
      removed.push_back(c.index);
    } else {
      privileges_[c.index].enabled = c.enable;
    }
  }
  std::sort(removed.rbegin(), removed.rend());
  for (std::size_t i : removed) privileges_.erase(privileges_.begin() + static_cast<std::ptrdiff_t>(i));
  *lastError = allAssigned ? err::kSuccess : err::kNotAllAssigned;
  return 1;
}

BOOL Token::LookupPrivilegeValue(const char* systemName, const char* name, Luid* luid, DWORD* lastError) {
  // Only the local system is known here.
  if (name == nullptr || luid == nullptr || (systemName != nullptr && *systemName != '\0')) {
    *lastError = err::kInvalidParameter;
    return 0;
  }
  auto found = LookupPrivilege(name);
  if (!found) {
    *lastError = err::kNoSuchPrivilege;
    return 0;
  }
  *luid = *found;
  *lastError = err::kSuccess;
  return 1;
}

BOOL Token::AdjustThroughHandle(DWORD handleAccess, BOOL disableAll, const TokenPrivileges* newState,
                                DWORD bufferLength, TokenPrivileges* previousState, DWORD* returnLength,
                                DWORD* lastError) {
  if ((handleAccess & access::kTokenAdjustPrivileges) == 0 ||
      (previousState != nullptr && (handleAccess & access::kTokenQuery) == 0)) {
    *lastError = err::kAccessDenied;
    return 0;
  }
  return Adjust(disableAll, newState, bufferLength, previousState, returnLength, lastError);
}

}  // namespace hv::offline
