#include "support/fake_platform.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

#include "platform/offline/drive_map.h"
#include "platform/offline/file_table.h"
#include "platform/offline/full_path.h"
#include "platform/offline/private_profile.h"
#include "platform/offline/registry_values.h"
#include "platform/offline/token.h"
#include "platform/offline/volumes.h"
#include "platform/version_record.h"
#include "regf/text_case.h"

namespace fs = std::filesystem;

namespace hv::test {
namespace {

thread_local DWORD tLastError = 0;

void SetError(DWORD error) { tLastError = error; }


std::string Str(const char* s) { return s == nullptr ? std::string() : std::string(s); }

std::string RootName(HKEY root) {
  if (root == HkeyLocalMachine()) return "HKLM";
  if (root == HkeyUsers()) return "HKU";
  return "key";
}

const char* const kHivelistKey = "SYSTEM\\CurrentControlSet\\Control\\hivelist";

// SE_PRIVILEGE_REMOVED: the privilege leaves the token for good.
constexpr DWORD kPrivilegeRemoved = 4;

// Sets one privilege's attributes on the token directly, as a test's set-up.
void SetPrivilege(offline::Token& token, const std::string& name, DWORD attributes) {
  auto luid = offline::Token::LookupPrivilege(name);
  if (!luid) throw std::invalid_argument("FakePlatform: no such privilege: " + name);
  TokenPrivileges change{1, *luid, attributes};
  DWORD error = 0;
  token.Adjust(0, &change, 0, nullptr, nullptr, &error);
}

std::string DefaultShortDate(const SystemTime& t) {
  return std::to_string(t.wMonth) + "/" + std::to_string(t.wDay) + "/" + std::to_string(t.wYear);
}
std::string DefaultLongTime(const SystemTime& t) {
  char buf[32];
  int hour = t.wHour % 12 == 0 ? 12 : t.wHour % 12;
  std::snprintf(buf, sizeof buf, "%d:%02d:%02d %s", hour, t.wMinute, t.wSecond,
                t.wHour < 12 ? "AM" : "PM");
  return buf;
}

fs::path UniqueTempFolder() {
  static std::atomic<unsigned> counter{0};
  std::random_device rd;
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (;;) {
    fs::path p = fs::temp_directory_path() /
                 ("hivora-fake-" + std::to_string(rd()) + "-" + std::to_string(stamp) + "-" +
                  std::to_string(counter++));
    std::error_code ec;
    if (fs::create_directories(p, ec)) return p;
  }
}

}  // namespace

struct FakePlatform::State {
  std::map<char, fs::path> drives;  // host folder of each drive
  offline::Volumes volumes;
  std::map<std::string, std::string> aliases;                   // lower-cased component
  std::map<std::string, std::uint64_t> reportedSizes;           // host keys
  std::set<std::string> findFails, held, unwritable;
  std::string currentDirectory = "C:\\";

  struct Value {
    offline::HivelistValue value;
    bool unreadable = false;
  };
  std::vector<Value> hivelist;
  bool hivelistUnopenable = false;
  std::set<std::pair<std::string, std::string>> hiveKeys;  // root name, upper subkey

  struct Key {
    bool hivelist = false;
    std::string hiveKey;  // "HKLM\<subkey>"
  };
  std::map<HKEY, Key> keys;
  std::uintptr_t nextKey = 0x1000;
  std::vector<KeyOpen> keyOpens;

  SaveHook saveHook;
  std::uint64_t defaultSaveSize = 8192;
  std::vector<SaveCall> saves;
  ReplaceHook replaceHook;
  std::vector<ReplaceCall> replaces;

  offline::Token token;
  std::map<std::pair<DWORD, LONG>, std::string> privilegeNames;  // as looked up, for the log
  bool enforcePrivileges = true;
  std::vector<std::string> tokenLog;

  std::map<HANDLE, DWORD> tokens;  // the access each was opened with
  std::uintptr_t nextHandle = 0x100;
  // Files and searches, by the offline platform's rules; its hooks run with
  // the lock held.
  std::unique_ptr<offline::FileTable> files;

  OsVersionInfoA version = [] {
    OsVersionInfoA v;
    v.dwPlatformId = kVerPlatformWin32Nt;
    v.dwMajorVersion = 5;
    v.dwMinorVersion = 1;
    v.dwBuildNumber = 2600;
    return v;
  }();
  bool versionFails = false;
  bool wow64Present = true, wow64 = false, wow64CallOk = true;

  Restore restore = Restore::kSucceeds;
  bool restoreReleased = false, restoreReleaseSucceeds = false;
  std::condition_variable restoreCv;
  std::vector<RestorePointInfoA> restoreCalls;
  int srLoaded = 0;
  std::int64_t restoreSequence = 0;

  std::vector<ExitCall> exits;
  std::vector<ShellCall> shells;
  std::intptr_t shellResult = 42;

  std::string commandLine = "\"C:\\Program Files\\Talvix Hivora\\hivora.exe\"";
  std::string programFolder, dataFolder;
  SystemTime localTime{
      .wYear = 2024, .wMonth = 1, .wDayOfWeek = 2, .wDay = 2, .wHour = 3, .wMinute = 4, .wSecond = 5};
  std::function<std::string(const SystemTime&)> shortDate = DefaultShortDate;
  std::function<std::string(const SystemTime&)> longTime = DefaultLongTime;
  char decimalSeparator = '.';
};

// ------------------------------------------------------------------ SrClient

class FakePlatform::SrLibrary : public SystemRestoreLibrary {
 public:
  explicit SrLibrary(FakePlatform* owner) : owner_(owner) {}
  ~SrLibrary() override {
    std::lock_guard lock(owner_->mu_);
    --owner_->s_->srLoaded;
  }
  bool HasSetRestorePoint() const override {
    std::lock_guard lock(owner_->mu_);
    return owner_->s_->restore != Restore::kNoEntryPoint;
  }
  BOOL SRSetRestorePointA(const RestorePointInfoA* info, StateMgrStatus* status) override {
    std::unique_lock lock(owner_->mu_);
    State& s = *owner_->s_;
    s.restoreCalls.push_back(*info);
    bool ok = s.restore == Restore::kSucceeds;
    if (s.restore == Restore::kBlocks) {
      s.restoreCv.wait(lock, [&] { return s.restoreReleased; });
      ok = s.restoreReleaseSucceeds;
    }
    status->nStatus = ok ? 0 : 1058;  // ERROR_SERVICE_DISABLED
    status->llSequenceNumber = ok ? ++s.restoreSequence : 0;
    return ok ? 1 : 0;
  }

 private:
  FakePlatform* owner_;
};

// ------------------------------------------------------------------ set-up

FakePlatform::FakePlatform() : root_(UniqueTempFolder()), s_(std::make_unique<State>()) {
  offline::FileTableHooks hooks;
  hooks.resolve = [this](std::string_view path) { return HostPathLocked(std::string(path)); };
  hooks.hold = [this](const fs::path& host) {
    return s_->held.count(HostKeyLocked(host.string())) != 0 ? offline::SystemHold::kInUse
                                                             : offline::SystemHold::kNone;
  };
  hooks.reportedSize = [this](const fs::path& host) -> std::optional<std::uint64_t> {
    auto reported = s_->reportedSizes.find(HostKeyLocked(host.string()));
    if (reported == s_->reportedSizes.end()) return std::nullopt;
    return reported->second;
  };
  hooks.driveRoot = [this](const fs::path& folder) {
    return std::any_of(s_->drives.begin(), s_->drives.end(),
                       [&](const auto& drive) { return offline::SameFolder(drive.second, folder); });
  };
  hooks.newHandle = [this] { return NewHandleLocked(); };
  s_->files = std::make_unique<offline::FileTable>(std::move(hooks));
  fs::create_directories(root_ / "program");
  fs::create_directories(root_ / "data");
  s_->programFolder = (root_ / "program").string() + static_cast<char>(fs::path::preferred_separator);
  s_->dataFolder = (root_ / "data").string() + static_cast<char>(fs::path::preferred_separator);
}

FakePlatform::~FakePlatform() {
  s_->files.reset();  // files left open would keep their folder on a Windows host
  std::error_code ec;
  fs::remove_all(root_, ec);
}

fs::path FakePlatform::AddDrive(char letter, UINT type, std::vector<std::string> devices) {
  std::lock_guard lock(mu_);
  char up = AsciiUpper(letter);
  fs::path host = root_ / (std::string("drive_") + up);
  fs::create_directories(host);
  s_->drives[up] = host;
  s_->volumes.AddDrive(up, type, std::move(devices));
  return host;
}

void FakePlatform::AddDosDevice(const std::string& name, std::vector<std::string> targets) {
  std::lock_guard lock(mu_);
  s_->volumes.Define(name, std::move(targets));
}

void FakePlatform::AddPathAlias(const std::string& component, const std::string& target) {
  std::lock_guard lock(mu_);
  s_->aliases[AsciiUpper(component)] = target;
}

std::optional<fs::path> FakePlatform::HostPath(const std::string& path) const {
  std::lock_guard lock(mu_);
  return HostPathLocked(path);
}

std::optional<fs::path> FakePlatform::HostPathLocked(const std::string& path) const {
  const std::string rootText = root_.string();
  if (path.compare(0, rootText.size(), rootText) == 0) return fs::path(path);
  if (!offline::DriveMap::IsDrivePath(path)) {
    return std::nullopt;
  }
  auto drive = s_->drives.find(AsciiUpper(path[0]));
  if (drive == s_->drives.end()) return std::nullopt;

  std::vector<std::string> parts = offline::SplitPath(std::string_view(path).substr(2));
  for (std::string& name : parts) {
    auto alias = s_->aliases.find(AsciiUpper(name));
    if (alias != s_->aliases.end()) name = alias->second;
  }
  return offline::WalkCaseInsensitive(drive->second, parts);
}

std::string FakePlatform::HostKeyLocked(const std::string& path) const {
  auto host = HostPathLocked(path);
  return host ? AsciiUpper(host->lexically_normal().string()) : "?" + AsciiUpper(path);
}

void FakePlatform::CreateFileOfSize(const std::string& path, std::uint64_t size) {
  std::lock_guard lock(mu_);
  auto host = HostPathLocked(path);
  if (!host) throw std::runtime_error("FakePlatform: path does not resolve: " + path);
  fs::create_directories(host->parent_path());
  { std::ofstream(*host, std::ios::binary | std::ios::trunc); }
  fs::resize_file(*host, size);
}

void FakePlatform::CreateFileWithContent(const std::string& path, const std::string& content) {
  std::lock_guard lock(mu_);
  auto host = HostPathLocked(path);
  if (!host) throw std::runtime_error("FakePlatform: path does not resolve: " + path);
  fs::create_directories(host->parent_path());
  std::ofstream(*host, std::ios::binary | std::ios::trunc) << content;
}

bool FakePlatform::Exists(const std::string& path) const {
  std::lock_guard lock(mu_);
  auto host = HostPathLocked(path);
  std::error_code ec;
  return host && fs::exists(*host, ec);
}

std::string FakePlatform::ReadContent(const std::string& path) const {
  std::lock_guard lock(mu_);
  auto host = HostPathLocked(path);
  if (!host) return {};
  std::ifstream in(*host, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void FakePlatform::SetReportedSize(const std::string& path, std::uint64_t size) {
  std::lock_guard lock(mu_);
  s_->reportedSizes[HostKeyLocked(path)] = size;
}
void FakePlatform::SetFindFails(const std::string& path) {
  std::lock_guard lock(mu_);
  s_->findFails.insert(HostKeyLocked(path));
}
void FakePlatform::SetHeldOpen(const std::string& path, bool held) {
  std::lock_guard lock(mu_);
  if (held) {
    s_->held.insert(HostKeyLocked(path));
  } else {
    s_->held.erase(HostKeyLocked(path));
  }
}
bool FakePlatform::IsHeldOpen(const std::string& path) const {
  std::lock_guard lock(mu_);
  return s_->held.count(HostKeyLocked(path)) != 0;
}
void FakePlatform::SetUnwritable(const std::string& path) {
  std::lock_guard lock(mu_);
  s_->unwritable.insert(HostKeyLocked(path));
}
void FakePlatform::SetCurrentDirectory(const std::string& folder) {
  std::lock_guard lock(mu_);
  s_->currentDirectory = folder;
}

// ------------------------------------------------------------------ registry set-up

void FakePlatform::AddHivelistValue(const std::string& name, DWORD type, std::vector<BYTE> data,
                                    bool unreadable) {
  std::lock_guard lock(mu_);
  s_->hivelist.push_back(State::Value{offline::HivelistValue{name, type, std::move(data)}, unreadable});
}

void FakePlatform::AddHivelistString(const std::string& name, const std::string& text, DWORD type) {
  std::vector<BYTE> data(text.begin(), text.end());
  data.push_back(0);
  AddHivelistValue(name, type, std::move(data));
}

void FakePlatform::SetHivelistUnopenable(bool unopenable) {
  std::lock_guard lock(mu_);
  s_->hivelistUnopenable = unopenable;
}

void FakePlatform::AddHive(const std::string& hiveName) {
  const std::string upper = AsciiUpper(hiveName);
  const std::string machine = "\\REGISTRY\\MACHINE\\", user = "\\REGISTRY\\USER\\";
  if (upper.rfind(machine, 0) == 0) {
    AddHiveKey(HkeyLocalMachine(), hiveName.substr(machine.size()));
  } else if (upper.rfind(user, 0) == 0) {
    AddHiveKey(HkeyUsers(), hiveName.substr(user.size()));
  } else {
    throw std::invalid_argument("FakePlatform::AddHive: not a hive name: " + hiveName);
  }
}

void FakePlatform::AddHiveKey(HKEY root, const std::string& subKey) {
  std::lock_guard lock(mu_);
  s_->hiveKeys.insert({RootName(root), AsciiUpper(subKey)});
}

std::vector<FakePlatform::KeyOpen> FakePlatform::KeyOpens() const {
  std::lock_guard lock(mu_);
  return s_->keyOpens;
}
int FakePlatform::OpenKeyCount() const {
  std::lock_guard lock(mu_);
  return static_cast<int>(s_->keys.size());
}
void FakePlatform::SetSaveHook(SaveHook hook) {
  std::lock_guard lock(mu_);
  s_->saveHook = std::move(hook);
}
void FakePlatform::SetDefaultSaveSize(std::uint64_t size) {
  std::lock_guard lock(mu_);
  s_->defaultSaveSize = size;
}
std::vector<FakePlatform::SaveCall> FakePlatform::Saves() const {
  std::lock_guard lock(mu_);
  return s_->saves;
}
void FakePlatform::SetReplaceHook(ReplaceHook hook) {
  std::lock_guard lock(mu_);
  s_->replaceHook = std::move(hook);
}
std::vector<FakePlatform::ReplaceCall> FakePlatform::Replaces() const {
  std::lock_guard lock(mu_);
  return s_->replaces;
}

// ------------------------------------------------------------------ other set-up

void FakePlatform::EnablePrivilege(const std::string& name) {
  std::lock_guard lock(mu_);
  SetPrivilege(s_->token, name, kSePrivilegeEnabled);
}
bool FakePlatform::IsPrivilegeEnabled(const std::string& name) const {
  std::lock_guard lock(mu_);
  return s_->token.IsEnabled(name);
}
void FakePlatform::SetPrivilegeNotHeld(const std::string& name) {
  std::lock_guard lock(mu_);
  SetPrivilege(s_->token, name, kPrivilegeRemoved);
}
void FakePlatform::SetEnforcePrivileges(bool enforce) {
  std::lock_guard lock(mu_);
  s_->enforcePrivileges = enforce;
}
std::vector<std::string> FakePlatform::TokenLog() const {
  std::lock_guard lock(mu_);
  return s_->tokenLog;
}
int FakePlatform::OpenTokenCount() const {
  std::lock_guard lock(mu_);
  return static_cast<int>(s_->tokens.size());
}

void FakePlatform::SetVersion(DWORD platformId, DWORD major, DWORD minor, DWORD build) {
  std::lock_guard lock(mu_);
  s_->version.dwPlatformId = platformId;
  s_->version.dwMajorVersion = major;
  s_->version.dwMinorVersion = minor;
  s_->version.dwBuildNumber = build;
}
void FakePlatform::SetVersionFails(bool fails) {
  std::lock_guard lock(mu_);
  s_->versionFails = fails;
}
void FakePlatform::SetWow64(bool present, bool wow64, bool callSucceeds) {
  std::lock_guard lock(mu_);
  s_->wow64Present = present;
  s_->wow64 = wow64;
  s_->wow64CallOk = callSucceeds;
}

void FakePlatform::SetRestore(Restore mode) {
  std::lock_guard lock(mu_);
  s_->restore = mode;
  s_->restoreReleased = false;
}
void FakePlatform::ReleaseRestorePoint(bool succeed) {
  std::lock_guard lock(mu_);
  s_->restoreReleased = true;
  s_->restoreReleaseSucceeds = succeed;
  s_->restoreCv.notify_all();
}
std::vector<RestorePointInfoA> FakePlatform::RestorePointCalls() const {
  std::lock_guard lock(mu_);
  return s_->restoreCalls;
}
int FakePlatform::SrClientLoadedCount() const {
  std::lock_guard lock(mu_);
  return s_->srLoaded;
}

std::vector<FakePlatform::ExitCall> FakePlatform::ExitCalls() const {
  std::lock_guard lock(mu_);
  return s_->exits;
}
std::vector<FakePlatform::ShellCall> FakePlatform::ShellCalls() const {
  std::lock_guard lock(mu_);
  return s_->shells;
}
void FakePlatform::SetShellResult(std::intptr_t result) {
  std::lock_guard lock(mu_);
  s_->shellResult = result;
}
void FakePlatform::SetCommandLine(const std::string& commandLine) {
  std::lock_guard lock(mu_);
  s_->commandLine = commandLine;
}
void FakePlatform::SetProgramFolder(const std::string& folder) {
  std::lock_guard lock(mu_);
  s_->programFolder = folder;
}
void FakePlatform::SetDataFolder(const std::string& folder) {
  std::lock_guard lock(mu_);
  s_->dataFolder = folder;
}
void FakePlatform::SetLocalTime(const SystemTime& time) {
  std::lock_guard lock(mu_);
  s_->localTime = time;
}
void FakePlatform::SetDateTimeFormat(std::function<std::string(const SystemTime&)> shortDate,
                                     std::function<std::string(const SystemTime&)> longTime) {
  std::lock_guard lock(mu_);
  s_->shortDate = std::move(shortDate);
  s_->longTime = std::move(longTime);
}
void FakePlatform::SetDecimalSeparator(char separator) {
  std::lock_guard lock(mu_);
  s_->decimalSeparator = separator;
}

// ------------------------------------------------------------------ registry

LSTATUS FakePlatform::RegOpenKeyA(HKEY root, const char* subKey, HKEY* result) {
  return OpenKey("RegOpenKeyA", root, subKey, 0, 0, result);
}

LSTATUS FakePlatform::RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, DWORD samDesired,
                                    HKEY* result) {
  return OpenKey("RegOpenKeyExA", root, subKey, options, samDesired, result);
}

LSTATUS FakePlatform::OpenKey(const char* call, HKEY root, const char* subKey, DWORD options,
                              DWORD samDesired, HKEY* result) {
  std::lock_guard lock(mu_);
  const std::string sub = Str(subKey);
  s_->keyOpens.push_back(KeyOpen{call, RootName(root), sub, options, samDesired, 0});
  LSTATUS status = err::kFileNotFound;
  State::Key key;
  if (result == nullptr) {
    status = err::kInvalidParameter;
  } else if (root == HkeyLocalMachine() && SameText(sub, kHivelistKey)) {
    status = s_->hivelistUnopenable ? static_cast<LSTATUS>(err::kAccessDenied) : 0;
    key.hivelist = true;
  } else if ((root == HkeyLocalMachine() || root == HkeyUsers()) &&
             s_->hiveKeys.count({RootName(root), AsciiUpper(sub)}) != 0) {
    status = 0;
    key.hiveKey = RootName(root) + "\\" + sub;
    if (s_->wow64Present && s_->wow64 && root == HkeyLocalMachine() && SameText(sub, "SOFTWARE") &&
        (samDesired & access::kKeyWow64_64Key) == 0) {
      key.hiveKey += "\\Wow6432Node";
    }
  }
  if (status == 0) {
    HKEY handle = reinterpret_cast<HKEY>(s_->nextKey++);
    s_->keys[handle] = key;
    *result = handle;
  }
  s_->keyOpens.back().result = status;
  return status;
}

LSTATUS FakePlatform::RegCloseKey(HKEY key) {
  std::lock_guard lock(mu_);
  if (key == HkeyLocalMachine() || key == HkeyUsers()) return 0;
  return s_->keys.erase(key) != 0 ? 0 : static_cast<LSTATUS>(err::kInvalidHandle);
}

LSTATUS FakePlatform::RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameLen, DWORD* type,
                                    BYTE* data, DWORD* dataLen) {
  std::lock_guard lock(mu_);
  auto k = s_->keys.find(key);
  if (k == s_->keys.end()) return err::kInvalidHandle;
  if (!k->second.hivelist || index >= s_->hivelist.size()) return err::kNoMoreItems;
  return offline::CopyEnumeratedValue(s_->hivelist[index].value, name, nameLen, type, data, dataLen);
}

LSTATUS FakePlatform::RegQueryValueExA(HKEY key, const char* valueName, DWORD* type, BYTE* data,
                                       DWORD* dataLen) {
  std::lock_guard lock(mu_);
  auto k = s_->keys.find(key);
  if (k == s_->keys.end()) return err::kInvalidHandle;
  if (!k->second.hivelist) return err::kFileNotFound;
  for (const auto& v : s_->hivelist) {
    if (!SameText(v.value.name, Str(valueName))) continue;
    if (v.unreadable) return err::kFileNotFound;
    return offline::CopyValueData(v.value, type, data, dataLen);
  }
  return err::kFileNotFound;
}

LSTATUS FakePlatform::RegSaveKeyA(HKEY key, const char* file) {
  SaveHook hook;
  std::string hiveKey, target = Str(file);
  std::uint64_t size = 0;
  std::optional<fs::path> host;
  {
    std::lock_guard lock(mu_);
    auto k = s_->keys.find(key);
    LSTATUS early = 0;
    host = HostPathLocked(target);
    std::error_code ec;
    if (k == s_->keys.end()) {
      early = err::kInvalidHandle;
    } else if (s_->enforcePrivileges && !s_->token.IsEnabled("SeBackupPrivilege")) {
      early = err::kPrivilegeNotHeld;
    } else if (!host) {
      early = err::kPathNotFound;
    } else if (fs::exists(*host, ec)) {
      early = err::kAlreadyExists;
    }
    hiveKey = k == s_->keys.end() ? std::string() : k->second.hiveKey;
    if (early != 0) {
      s_->saves.push_back(SaveCall{hiveKey, target, early});
      return early;
    }
    hook = s_->saveHook;
    size = s_->defaultSaveSize;
  }
  LSTATUS status = 0;
  if (hook) {
    status = hook(hiveKey, target);
  } else {
    std::error_code ec;
    if (!fs::is_directory(host->parent_path(), ec)) {
      status = err::kPathNotFound;
    } else {
      { std::ofstream(*host, std::ios::binary | std::ios::trunc); }
      fs::resize_file(*host, size, ec);
      if (ec) status = err::kCantWrite;
    }
  }
  std::lock_guard lock(mu_);
  s_->saves.push_back(SaveCall{hiveKey, target, status});
  return status;
}

LSTATUS FakePlatform::RegReplaceKeyA(HKEY root, const char* subKey, const char* newFile,
                                     const char* oldFile) {
  ReplaceHook hook;
  const std::string hiveKey = RootName(root) + "\\" + Str(subKey);
  const std::string newPath = Str(newFile), oldPath = Str(oldFile);
  {
    std::lock_guard lock(mu_);
    LSTATUS early = 0;
    if (s_->enforcePrivileges &&
        (!s_->token.IsEnabled("SeBackupPrivilege") || !s_->token.IsEnabled("SeRestorePrivilege"))) {
      early = err::kPrivilegeNotHeld;
    }
    if (early != 0) {
      s_->replaces.push_back(ReplaceCall{hiveKey, newPath, oldPath, early});
      return early;
    }
    hook = s_->replaceHook;
  }
  LSTATUS status = 0;
  if (hook) {
    status = hook(hiveKey, newPath, oldPath);
  } else {
    std::lock_guard lock(mu_);
    auto newHost = HostPathLocked(newPath), oldHost = HostPathLocked(oldPath);
    std::error_code ec;
    if (s_->hiveKeys.count({RootName(root), AsciiUpper(Str(subKey))}) == 0) {
      status = err::kFileNotFound;
    } else if (!newHost || !fs::is_regular_file(*newHost, ec)) {
      status = err::kFileNotFound;
    } else if (!oldHost) {
      status = err::kPathNotFound;
    } else if (fs::exists(*oldHost, ec)) {
      status = err::kAlreadyExists;
    }
  }
  std::lock_guard lock(mu_);
  if (status == 0) s_->held.insert(HostKeyLocked(newPath));
  s_->replaces.push_back(ReplaceCall{hiveKey, newPath, oldPath, status});
  return status;
}

// ------------------------------------------------------------------ token

HANDLE FakePlatform::NewHandleLocked() { return reinterpret_cast<HANDLE>(s_->nextHandle++); }

BOOL FakePlatform::OpenProcessToken(DWORD desiredAccess, HANDLE* token) {
  std::lock_guard lock(mu_);
  char buf[48];
  std::snprintf(buf, sizeof buf, "OpenProcessToken 0x%X", static_cast<unsigned>(desiredAccess));
  s_->tokenLog.push_back(buf);
  if (token == nullptr) {
    SetError(err::kInvalidParameter);
    return 0;
  }
  HANDLE h = NewHandleLocked();
  s_->tokens[h] = desiredAccess;
  *token = h;
  return 1;
}

BOOL FakePlatform::LookupPrivilegeValueA(const char* systemName, const char* name, Luid* luid) {
  std::lock_guard lock(mu_);
  s_->tokenLog.push_back("LookupPrivilegeValueA " + Str(name));
  DWORD error = err::kSuccess;
  if (!offline::Token::LookupPrivilegeValue(systemName, name, luid, &error)) {
    SetError(error);
    return 0;
  }
  s_->privilegeNames[{luid->lowPart, luid->highPart}] = name;
  return 1;
}

BOOL FakePlatform::AdjustTokenPrivileges(HANDLE token, BOOL disableAll,
                                         const TokenPrivileges* newState, DWORD bufferLength,
                                         TokenPrivileges* previousState, DWORD* returnLength) {
  std::lock_guard lock(mu_);
  std::string privilege = "?";
  if (newState != nullptr) {
    auto named = s_->privilegeNames.find({newState->luid.lowPart, newState->luid.highPart});
    if (named != s_->privilegeNames.end()) privilege = named->second;
  }
  char buf[96];
  std::snprintf(buf, sizeof buf, "AdjustTokenPrivileges %s 0x%X", privilege.c_str(),
                newState != nullptr ? static_cast<unsigned>(newState->attributes) : 0u);
  s_->tokenLog.push_back(buf);
  auto h = s_->tokens.find(token);
  if (h == s_->tokens.end()) {
    SetError(err::kInvalidHandle);
    return 0;
  }
  DWORD error = err::kSuccess;
  const BOOL ok = s_->token.AdjustThroughHandle(h->second, disableAll, newState, bufferLength,
                                                previousState, returnLength, &error);
  SetError(error);
  return ok;
}

BOOL FakePlatform::CloseHandle(HANDLE handle) {
  std::lock_guard lock(mu_);
  if (s_->files->CloseFile(handle)) return 1;
  if (s_->tokens.erase(handle) == 0) {
    SetError(err::kInvalidHandle);
    return 0;
  }
  s_->tokenLog.push_back("CloseHandle token");
  return 1;
}

// ------------------------------------------------------------------ volumes and files

DWORD FakePlatform::GetLogicalDriveStringsA(DWORD bufferLength, char* buffer) {
  std::lock_guard lock(mu_);
  return s_->volumes.LogicalDriveStrings(bufferLength, buffer);
}

UINT FakePlatform::GetDriveTypeA(const char* rootPathName) {
  std::lock_guard lock(mu_);
  return s_->volumes.DriveType(rootPathName);
}

DWORD FakePlatform::QueryDosDeviceA(const char* deviceName, char* targetPath, DWORD max) {
  std::lock_guard lock(mu_);
  DWORD error = err::kSuccess;
  const DWORD stored = s_->volumes.QueryDosDevice(deviceName, targetPath, max, &error);
  if (stored == 0) SetError(error);
  return stored;
}

DWORD FakePlatform::GetFileAttributesA(const char* fileName) {
  std::lock_guard lock(mu_);
  DWORD error = err::kSuccess;
  const DWORD attributes = s_->files->GetFileAttributesA(fileName, &error);
  if (attributes == file::kInvalidFileAttributes) SetError(error);
  return attributes;
}

BOOL FakePlatform::DeleteFileA(const char* fileName) {
  std::lock_guard lock(mu_);
  DWORD error = err::kSuccess;
  const BOOL ok = s_->files->DeleteFileA(fileName, &error);
  if (!ok) SetError(error);
  return ok;
}

BOOL FakePlatform::MoveFileExA(const char* existing, const char* newName, DWORD flags) {
  std::lock_guard lock(mu_);
  DWORD error = err::kSuccess;
  const BOOL ok = s_->files->MoveFileExA(existing, newName, flags, &error);
  if (!ok) SetError(error);
  return ok;
}

DWORD FakePlatform::GetFullPathNameA(const char* fileName, DWORD bufferLength, char* buffer,
                                     char** filePart) {
  std::lock_guard lock(mu_);
  std::string name = Str(fileName);
  std::string full;
  const std::string rootText = root_.string();
  if (name.empty()) {
    SetError(err::kInvalidParameter);
    return 0;
  }
  if (name.compare(0, rootText.size(), rootText) == 0) {
    full = name;
  } else {
    if (!(name.size() >= 3 && name[1] == ':' && (name[2] == '\\' || name[2] == '/'))) {
      std::string base = s_->currentDirectory;
      if (!base.empty() && base.back() != '\\') base += '\\';
      name = base + name;
    }
    full = offline::FullDrivePath(name);
  }
  return offline::StoreFullPath(full, bufferLength, buffer, filePart);
}

HANDLE FakePlatform::FindFirstFileA(const char* fileName, FindDataA* data) {
  std::lock_guard lock(mu_);
  DWORD error = err::kSuccess;
  auto host = HostPathLocked(Str(fileName));
  HANDLE find = InvalidHandleValue();
  if (host && s_->findFails.count(AsciiUpper(host->lexically_normal().string())) != 0) {
    error = err::kAccessDenied;
  } else {
    find = s_->files->FindFirstFileA(fileName, data, &error);
  }
  if (find == InvalidHandleValue()) SetError(error);
  return find;
}

BOOL FakePlatform::FindNextFileA(HANDLE find, FindDataA* data) {
  std::lock_guard lock(mu_);
  DWORD error = err::kSuccess;
  const BOOL ok = s_->files->FindNextFileA(find, data, &error);
  if (!ok) SetError(error);
  return ok;
}

BOOL FakePlatform::FindClose(HANDLE find) {
  std::lock_guard lock(mu_);
  DWORD error = err::kSuccess;
  const BOOL ok = s_->files->FindClose(find, &error);
  if (!ok) SetError(error);
  return ok;
}

HANDLE FakePlatform::CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode,
                                 DWORD creationDisposition, DWORD /*flagsAndAttributes*/) {
  std::lock_guard lock(mu_);
  DWORD error = err::kSuccess;
  HANDLE file = s_->files->CreateFileA(fileName, desiredAccess, shareMode, creationDisposition, &error);
  SetError(error);
  return file;
}

BOOL FakePlatform::WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written) {
  std::lock_guard lock(mu_);
  DWORD error = err::kSuccess;
  const BOOL ok = s_->files->WriteFile(file, data, size, written, &error);
  if (!ok) SetError(error);
  return ok;
}

DWORD FakePlatform::GetLastError() { return tLastError; }

// ------------------------------------------------------------------ release, restore, restart

BOOL FakePlatform::GetVersionExA(OsVersionInfoA* info) {
  std::lock_guard lock(mu_);
  if (const DWORD error = VersionRecordError(info); error != err::kSuccess) {
    SetError(error);
    return 0;
  }
  if (s_->versionFails) {
    SetError(err::kInvalidParameter);
    return 0;
  }
  *info = s_->version;
  info->dwOSVersionInfoSize = sizeof(OsVersionInfoA);
  return 1;
}

std::function<BOOL(BOOL* wow64)> FakePlatform::LookupIsWow64Process() {
  std::lock_guard lock(mu_);
  if (!s_->wow64Present) return nullptr;
  return [this](BOOL* wow64) -> BOOL {
    std::lock_guard inner(mu_);
    if (!s_->wow64CallOk || wow64 == nullptr) {
      SetError(err::kInvalidHandle);
      return 0;
    }
    *wow64 = s_->wow64 ? 1 : 0;
    return 1;
  };
}

std::unique_ptr<SystemRestoreLibrary> FakePlatform::LoadSrClient() {
  std::lock_guard lock(mu_);
  if (s_->restore == Restore::kAbsent) {
    SetError(err::kModNotFound);
    return nullptr;
  }
  ++s_->srLoaded;
  return std::make_unique<SrLibrary>(this);
}

BOOL FakePlatform::ExitWindowsEx(UINT flags, DWORD reason) {
  std::lock_guard lock(mu_);
  s_->exits.push_back(ExitCall{flags, reason});
  if (s_->enforcePrivileges && !s_->token.IsEnabled("SeShutdownPrivilege")) {
    SetError(err::kPrivilegeNotHeld);
    return 0;
  }
  return 1;
}

// ------------------------------------------------------------------ profiles, shell, process

DWORD FakePlatform::GetPrivateProfileStringA(const char* appName, const char* keyName,
                                             const char* defaultValue, char* returned, DWORD size,
                                             const char* fileName) {
  fs::path host;
  {
    std::lock_guard lock(mu_);
    host = HostPathLocked(Str(fileName)).value_or(fs::path());
  }
  return offline::GetProfileString(appName, keyName, defaultValue, returned, size, host);
}

BOOL FakePlatform::WritePrivateProfileStringA(const char* appName, const char* keyName,
                                              const char* value, const char* fileName) {
  std::lock_guard lock(mu_);
  auto host = HostPathLocked(Str(fileName));
  if (!host) {
    SetError(err::kPathNotFound);
    return 0;
  }
  const std::string key = AsciiUpper(host->lexically_normal().string());
  if (s_->unwritable.count(key) != 0 || s_->held.count(key) != 0) {
    SetError(s_->held.count(key) != 0 ? err::kSharingViolation : err::kAccessDenied);
    return 0;
  }
  DWORD error = offline::WriteProfileString(appName, keyName, value, *host);
  SetError(error);
  return error == err::kSuccess ? 1 : 0;
}

std::string FakePlatform::SettingsFallbackFolder(bool create) {
  if (create && !settingsFallback_.empty()) {
    std::error_code ec;
    fs::create_directories(settingsFallback_, ec);
  }
  return settingsFallback_;
}

std::intptr_t FakePlatform::ShellExecuteA(HWND /*owner*/, const char* operation, const char* file,
                                          const char* parameters, const char* directory,
                                          int showCmd) {
  std::lock_guard lock(mu_);
  s_->shells.push_back(ShellCall{Str(operation), Str(file), Str(parameters), Str(directory), showCmd});
  return s_->shellResult;
}

std::string FakePlatform::GetCommandLineA() {
  std::lock_guard lock(mu_);
  return s_->commandLine;
}
std::string FakePlatform::ProgramFolder() {
  std::lock_guard lock(mu_);
  return s_->programFolder;
}
void FakePlatform::SetCommitRefusal(const std::string& why) {
  std::lock_guard lock(mu_);
  commitRefusal_ = why;
}
void FakePlatform::SetSaveFailureText(const std::string& file, const std::string& why) {
  std::lock_guard lock(mu_);
  saveFailureTexts_[file] = why;
}
std::string FakePlatform::CommitRefusal() {
  std::lock_guard lock(mu_);
  return commitRefusal_;
}
std::string FakePlatform::SaveFailureText(const char* file) {
  std::lock_guard lock(mu_);
  auto it = saveFailureTexts_.find(file != nullptr ? file : "");
  return it == saveFailureTexts_.end() ? std::string() : it->second;
}
std::string FakePlatform::DataFolder() {
  std::lock_guard lock(mu_);
  return s_->dataFolder;
}
void FakePlatform::GetLocalTime(SystemTime* time) {
  std::lock_guard lock(mu_);
  *time = s_->localTime;
}
std::string FakePlatform::FormatShortDate(const SystemTime& time) {
  std::lock_guard lock(mu_);
  return s_->shortDate(time);
}
std::string FakePlatform::FormatLongTime(const SystemTime& time) {
  std::lock_guard lock(mu_);
  return s_->longTime(time);
}
char FakePlatform::DecimalSeparator() {
  std::lock_guard lock(mu_);
  return s_->decimalSeparator;
}

}  // namespace hv::test
