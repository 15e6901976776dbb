#include "hive/hive_primitives.h"

#include <cctype>

#include "hive/hive_catalogue.h"
#include "platform/backup_set_aside.h"
#include "platform/platform.h"
#include "regf/text_case.h"
#include "platform/unique_handle.h"

namespace hv {

HiveKeyName SplitHiveName(const std::string& hiveName) {
  static constexpr char kMachine[] = "REGISTRY\\MACHINE\\";
  static constexpr char kUser[] = "REGISTRY\\USER\\";
  const std::string upper = AsciiUpper(hiveName);
  HiveKeyName result;
  if (std::size_t pos = upper.find(kMachine); pos != std::string::npos) {
    result.root = HkeyLocalMachine();
    result.subKey = hiveName.substr(pos + sizeof kMachine - 1);
  } else if (pos = upper.find(kUser); pos != std::string::npos) {
    result.root = HkeyUsers();
    result.subKey = hiveName.substr(pos + sizeof kUser - 1);
  }
  // An empty subkey would name the root itself, which is no hive.
  result.valid = result.root != nullptr && !result.subKey.empty();
  return result;
}

bool EnableTokenPrivilege(DWORD tokenAccess, const char* name) {
  UniqueHandle token;
  if (!Os().OpenProcessToken(tokenAccess, token.put())) {
    token.release();
    return false;
  }
  TokenPrivileges wanted;
  if (!Os().LookupPrivilegeValueA(nullptr, name, &wanted.luid)) return false;
  wanted.privilegeCount = 1;
  wanted.attributes = kSePrivilegeEnabled;
  TokenPrivileges previous;
  DWORD returnLength = 0;
  if (!Os().AdjustTokenPrivileges(token.get(), 0, &wanted, sizeof previous, &previous,
                                  &returnLength)) {
    return false;
  }
  return Os().GetLastError() == err::kSuccess;
}

void EnableBackupPrivilege() {
  EnableTokenPrivilege(access::kTokenAdjustPrivileges | access::kTokenQuery, "SeBackupPrivilege");
}

void EnableRestorePrivilege() {
  EnableTokenPrivilege(access::kTokenAllAccessF00FF, "SeRestorePrivilege");
}

bool SaveHive(const std::string& hiveName, const std::string& targetPath, bool wow64,
              const std::atomic<bool>* stop) {
  const HiveKeyName split = SplitHiveName(hiveName);
  UniqueHkey key;
  if (split.valid) {
    LSTATUS status;
    if (split.root == HkeyLocalMachine() && wow64 &&
        AsciiUpper(hiveName).find("SOFTWARE") != std::string::npos) {
      status = Os().RegOpenKeyExA(split.root, split.subKey.c_str(), 0,
                                  access::kKeyQueryValue | access::kKeyWow64_64Key, key.put());
    } else {
      status = Os().RegOpenKeyA(split.root, split.subKey.c_str(), key.put());
    }
    if (status != 0) key.release();
  }
  if (FileExists(targetPath)) Os().DeleteFileA(targetPath.c_str());
  if (!key) return false;
  return Os().RegSaveKeyStoppable(key.get(), targetPath.c_str(), stop) == 0;
}

namespace {

// The rule of backup_set_aside.h. Anything it cannot rename or delete stays
// where it is: a set-aside backup is never removed unless a backup stands
// under the backup's name.
void SettleSetAsideBackup(const std::string& backupFile) {
  const std::string aside = SetAsideName(backupFile);
  if (!FileExists(aside)) return;
  if (FileExists(backupFile)) {
    Os().DeleteFileA(aside.c_str());
  } else {
    Os().MoveFileExA(aside.c_str(), backupFile.c_str(), file::kMoveFileWriteThrough);
  }
}

}  // namespace

bool ReplaceHive(const std::string& hiveName, const std::string& newFile,
                 const std::string& backupFile) {
  const HiveKeyName split = SplitHiveName(hiveName);
  if (!split.valid) return false;
  SettleSetAsideBackup(backupFile);
  // A backup that cannot be moved aside keeps its name taken: no request.
  if (FileExists(backupFile) && !Os().MoveFileExA(backupFile.c_str(), SetAsideName(backupFile).c_str(),
                                                  file::kMoveFileWriteThrough)) {
    return false;
  }
  const bool accepted = Os().RegReplaceKeyA(split.root, split.subKey.c_str(), newFile.c_str(),
                                            backupFile.c_str()) == 0;
  SettleSetAsideBackup(backupFile);
  return accepted;
}

bool IsFileInUse(const std::string& path) {
  if (!FileExists(path)) return false;
  UniqueFile file(Os().CreateFileA(path.c_str(), access::kGenericRead | access::kGenericWrite, 0,
                                   file::kOpenExisting, file::kAttributeNormal));
  return !file;
}

std::string SizeText(std::int64_t bytes) { return SizeText(bytes, ','); }

std::string SizeText(std::int64_t bytes, char thousandsSeparator) {
  std::int64_t kilobytes = bytes / 1024;
  if (bytes % 1024 != 0) ++kilobytes;
  const bool negative = kilobytes < 0;
  // Digits of the magnitude; the sign stays in front of the groups.
  std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(kilobytes)
                                     : static_cast<std::uint64_t>(kilobytes);
  std::string text = std::to_string(magnitude);
  std::string tail;
  while (text.size() > 3) {
    tail = thousandsSeparator + text.substr(text.size() - 3) + tail;
    text.resize(text.size() - 3);
  }
  return (negative ? "-" : "") + text + tail + " KB";
}

}  // namespace hv
