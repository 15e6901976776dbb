#include "platform/offline/offline_platform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "platform/backup_set_aside.h"
#include "platform/offline/hibernation.h"
#include "platform/offline/hive_files.h"
#include "platform/offline/host_env.h"
#include "platform/offline/installation_state.h"
#include "platform/offline/private_profile.h"
#include "platform/version_record.h"

namespace hv::offline {
namespace fs = std::filesystem;

namespace {

thread_local DWORD tlsLastError = err::kSuccess;

constexpr UINT kEwxShutdown = 1;
constexpr UINT kEwxPowerOff = 8;
// The name an analysis's copy takes while the copy's own name is held (KeptAt);
// a temporary name, removed by the next start.
constexpr const char* kAsideCopyInfix = ".hivora-tmp-analysis";

bool Wow64Installation(const MachineDescription& machine) {
  if (machine.wow64) return *machine.wow64;
  DriveMap plain(machine.drives, false);
  auto folder = plain.ResolveNative("C:\\Windows\\SysWOW64");
  std::error_code ec;
  return folder && fs::is_directory(*folder, ec);
}

fs::path StateFolderOf(const DriveMap& drives) {
  if (auto folder = drives.ResolveNative("C:\\ProgramData\\Talvix Hivora")) return *folder;
  return host::UserConfigHome() / "talvix-hivora" / "state";
}

std::shared_ptr<InstallationLock> TakeLock(const fs::path& stateFolder, const std::string& identity, DWORD* error) {
  std::shared_ptr<InstallationLock> lock;
  if (InstallationLock::Acquire(stateFolder, identity, &lock, error) != InstallationLock::Result::kAcquired) return nullptr;
  return lock;
}

std::string Quoted(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t") == std::string::npos) return arg;
  return "\"" + arg + "\"";
}

// A host folder as the program is given it. On a Windows host a host path
// would begin with a drive letter and be taken for a drive of the
// installation, so it is handed out in the "\\?\" form, which names the host
// file and has no drive letter in front.
std::string WithSeparator(const fs::path& folder) {
  std::string s = folder.string();
  if (s.empty() || (s.back() != '/' && s.back() != '\\')) s += static_cast<char>(fs::path::preferred_separator);
#ifdef _WIN32
  if (DriveMap::IsDrivePath(s)) s = "\\\\?\\" + s;
#endif
  return s;
}

}  // namespace

OfflinePlatform::OfflinePlatform(OfflineOptions options)
    : options_(std::move(options)),
      drives_(options_.machine.drives, Wow64Installation(options_.machine)),
      identity_(InstallationIdentity(drives_)),
      stateFolder_(StateFolderOf(drives_)),
      lock_(TakeOwnership()),
      // A start that does not own the installation reads none of it.
      release_(options_.machine.version ? ReleaseFor(*options_.machine.version)
               : lock_ || options_.readOnly ? DeriveRelease(drives_)
                                        : ReleaseFor({6, 2})),
      hivelist_(options_.machine.hivelist ? *options_.machine.hivelist
                : lock_ || options_.readOnly ? SynthesizeHivelist(drives_)
                                          : std::vector<HivelistValue>{}),
      journal_(stateFolder_ / "pending.journal", &drives_),
      restorePoints_(stateFolder_ / "RestorePoints", &drives_, options_.machine.restorePointFails,
                     [this] {
                       SystemTime t;
                       GetLocalTime(&t);
                       return t;
                     }),
      clock_(host::LocalTime),
      files_(FileHooks()) {
  journal_.SetHiveRule([this](const fs::path& host) { return IsHiveOfInstallation(host); });
  if (!lock_ || !lock_->TakeFirstUse()) return;
  // What an earlier analysis of this installation left in the work folder.
  if (readOnlyInstallation_) {
    workDir_->RemoveFilesOf(identity_);
    return;
  }
  // An invalid journal is not acted on; what it names stays as it is.
  if (journal_.Problem()) return;
  std::vector<ReplacementOutcome> finished;
  report_.recoveredRestore = journal_.State() == JournalState::kRestoring;
  journal_.Recover(&finished);
  report_.recovered = finished;
  CleanLeftovers();
}

// The installation's lock, as its owner. An installation whose state folder
// or hives' folder cannot be written (a read-only mount, a user without the
// right) is owned without writing: the lock is its own lock file opened for
// reading, or one in the work folder.
std::shared_ptr<InstallationLock> OfflinePlatform::TakeOwnership() {
  if (options_.readOnly) return nullptr;
  std::shared_ptr<InstallationLock> lock = TakeLock(stateFolder_, identity_, &lockError_);
  const auto hiveFolder = drives_.ResolveNative("C:\\Windows\\System32\\config");
  if (lock) {
    if (!hiveFolder || !Unwritable(*hiveFolder)) return lock;
  } else if (lockError_ == err::kSuccess || !Unwritable(stateFolder_)) {
    return nullptr;  // owned by another process, or a fault a read-only start would not mend
  }
  readOnlyInstallation_ = true;
  workDir_ = WorkDir::Open(options_.workDir.empty() ? DefaultWorkDir() : options_.workDir, &workDirError_);
  if (!workDir_) return nullptr;
  if (lock) return lock;
  lockError_ = err::kSuccess;
  if (InstallationLock::AcquireReadOnly(stateFolder_ / kLockFileName, workDir_->LockFile(identity_), identity_, &lock,
                                        &lockError_) != InstallationLock::Result::kAcquired) {
    return nullptr;
  }
  return lock;
}

std::optional<fs::path> OfflinePlatform::ResolveFile(std::string_view path) const {
  auto host = drives_.Resolve(path);
  if (!host) return host;
  return KeptAt(*host);
}

fs::path OfflinePlatform::KeptAt(const fs::path& host) const {
  const std::string name = host.filename().string();
  const std::size_t copy = name.find(".hvx");
  if (copy == std::string::npos || copy == 0) return host;
  const fs::path hive = host.parent_path() / name.substr(0, copy);
  if (!IsHiveOfInstallation(hive)) return host;
  if (workDir_) {
    fs::path kept = workDir_->CopyOf(identity_, hive);
    kept += name.substr(copy + 4);
    return kept;
  }
  // The copy's own name is held by a replacement that waits for a restart (or
  // that a restart could not make), and the run analyses all the same: its
  // copy takes a temporary name, so that the waiting one is neither read nor
  // overwritten. The journal takes no such name, so that copy can never be
  // committed; the next start removes one left behind.
  fs::path held = hive;
  held += ".hvx";
  if (!copiesAside_ || !journal_.Holds(held)) return host;
  fs::path kept = hive;
  kept += kAsideCopyInfix;
  kept += name.substr(copy + 4);
  return kept;
}

std::string OfflinePlatform::SaveFailureText(const char* file) {
  if (file == nullptr) return {};
  const auto host = drives_.Resolve(file);
  return host ? SaveFailure(*host) : std::string();
}

std::string OfflinePlatform::CommitRefusal() {
  if (readOnlyInstallation_) return "the installation is read-only";
  // A restart that could not replace every hive is settled before another is asked for.
  if (journal_.State() == JournalState::kRestarting && !journal_.Entries().empty()) {
    return "a restart could not replace every hive: settle it first (--restore-backups or --discard-pending)";
  }
  if (journal_.State() == JournalState::kRestoring && !journal_.Entries().empty()) {
    return "an interrupted restore waits to be finished";
  }
  return {};
}

// A hive of the hivelist, or a file the names of Windows' hives mark as one
// (a profile that left the ProfileList or a hive deleted since still has its
// journal lines and restore points).
bool OfflinePlatform::IsHiveOfInstallation(const fs::path& host) const {
  const std::string name = host.filename().string();
  const std::string folder = host.parent_path().filename().string();
  if (NamesEqual(name, "NTUSER.DAT") || NamesEqual(name, "UsrClass.dat") ||
      (NamesEqual(name, "BCD") && NamesEqual(folder, "Boot"))) {
    return true;
  }
  if (NamesEqual(folder, "config")) {
    for (const char* hive : {"SYSTEM", "SOFTWARE", "DEFAULT", "SECURITY", "SAM", "DRIVERS"}) {
      if (NamesEqual(name, hive)) return true;
    }
  }
  const std::string wanted = host.lexically_normal().string();
  for (const HivelistValue& value : hivelist_) {
    if ((value.type != reg::kSz && value.type != reg::kExpandSz) || value.data.empty()) continue;
    const auto* bytes = reinterpret_cast<const char*>(value.data.data());
    const std::string kernel(bytes, strnlen(bytes, value.data.size()));
    if (kernel.empty()) continue;
    auto file = drives_.ResolveKernel(kernel);
    if (file && NamesEqual(file->lexically_normal().string(), wanted)) return true;
  }
  return false;
}

RunReport OfflinePlatform::report() const {
  std::lock_guard lock(mutex_);
  return report_;
}

void OfflinePlatform::AddOutcomes(const std::vector<ReplacementOutcome>& outcomes) {
  std::lock_guard lock(mutex_);
  report_.outcomes.insert(report_.outcomes.end(), outcomes.begin(), outcomes.end());
}

void OfflinePlatform::AddNotice(const std::string& line) {
  std::lock_guard lock(mutex_);
  report_.notices.push_back(line);
}

// Names a killed run leaves beside a hive: a partial copy, the staging name of
// a backup, a copy that no pending replacement holds, a backup set aside for a
// request (settled as backup_set_aside.h says: renamed back, or deleted when a
// newer backup stands); and the journal's own temporary names.
void OfflinePlatform::CleanLeftovers() {
  std::error_code ec;
  auto startsWith = [](const std::string& name, const std::string& prefix) {
    return name.size() >= prefix.size() && NamesEqual(std::string_view(name).substr(0, prefix.size()), prefix);
  };
  auto endsWith = [](const std::string& name, const std::string& suffix) {
    return name.size() >= suffix.size() &&
           NamesEqual(std::string_view(name).substr(name.size() - suffix.size()), suffix);
  };
  std::vector<fs::path> setAside;
  for (const RestorePointSource& source : HiveSources()) {
    const std::string hive = source.file.filename().string();
    const fs::path folder = source.file.parent_path();
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      const std::string name = it->path().filename().string();
      if (!startsWith(name, hive + ".")) continue;
      if (NamesEqual(name, SetAsideName(hive + ".bak"))) {
        setAside.push_back(it->path());
        continue;
      }
      const bool copy = NamesEqual(name, hive + ".hvx");
      const bool temporary = name.find(".hivora-tmp") != std::string::npos || endsWith(name, ".hvtmp") ||
                             endsWith(name, ".rptmp") || name.find(".rptmp.") != std::string::npos || name.find(".hvx.probe") != std::string::npos;
      if (!(temporary || copy) || journal_.Holds(it->path())) continue;
      std::error_code ignore;
      host::Remove(it->path());
    }
  }
  // One a failed restart could not put back belongs to that restart's entry,
  // which puts it back when it is retried, discarded or undone.
  std::vector<fs::path> restarting;
  if (journal_.State() == JournalState::kRestarting) {
    for (const PendingReplacement& e : journal_.Entries()) restarting.push_back(e.hive);
  }
  for (const fs::path& aside : setAside) {
    const std::string name = aside.filename().string();
    const std::string backupName = name.substr(0, name.size() - (sizeof kSetAsideSuffix - 1));
    const fs::path backup = WalkCaseInsensitive(aside.parent_path(), {backupName});
    const std::string hiveName = backupName.substr(0, backupName.size() - 4);  // less ".bak"
    std::error_code ignore;
    if (std::any_of(restarting.begin(), restarting.end(), [&](const fs::path& hive) {
          std::error_code ec;
          return NamesEqual(hive.filename().string(), hiveName) && fs::equivalent(hive.parent_path(), aside.parent_path(), ec);
        })) {
      continue;
    }
    // A restart's set-aside backup has its logs with it; a commit's has none.
    if (fs::exists(fs::symlink_status(backup, ignore))) {
      for (const char* which : kLogNames) host::Remove(LogOf(aside, which));
      host::Remove(aside);
    } else {
      for (const char* which : kLogNames) {
        const fs::path log = LogOf(aside, which);
        if (fs::exists(fs::symlink_status(log, ignore))) (void)host::Rename(log, LogOf(backup, which));
      }
      if (host::Rename(aside, backup) == err::kSuccess) host::SyncFolder(aside.parent_path());
    }
  }
  const std::string journalTemp = journal_.file().filename().string() + ".tmp-";
  for (fs::directory_iterator it(stateFolder_, ec), end; !ec && it != end; it.increment(ec)) {
    if (startsWith(it->path().filename().string(), journalTemp)) {
      std::error_code ignore;
      host::Remove(it->path());
    }
  }
}

OfflinePlatform::~OfflinePlatform() {
  // The copies of a read-only installation go with the run that made them.
  if (workDir_ && lock_ && lock_.use_count() == 1) workDir_->RemoveFilesOf(identity_);
}

void OfflinePlatform::SetRestartHandler(std::function<void()> handler) {
  std::lock_guard lock(mutex_);
  restartHandler_ = std::move(handler);
}

void OfflinePlatform::SetClockForTesting(std::function<SystemTime()> clock) {
  std::lock_guard lock(mutex_);
  clock_ = std::move(clock);
}

void OfflinePlatform::SetLastError(DWORD error) { tlsLastError = error; }
DWORD OfflinePlatform::GetLastError() { return tlsLastError; }

HANDLE OfflinePlatform::NewHandle() {
  std::lock_guard lock(mutex_);
  const std::uintptr_t value = nextHandle_;
  nextHandle_ += 4;
  return reinterpret_cast<HANDLE>(value);
}

BOOL OfflinePlatform::CloseHandle(HANDLE handle) {
  if (files_.CloseFile(handle)) return 1;
  std::lock_guard lock(mutex_);
  if (tokens_.erase(reinterpret_cast<std::uintptr_t>(handle)) == 0) {
    SetLastError(err::kInvalidHandle);
    return 0;
  }
  return 1;
}

// --- Token privileges

BOOL OfflinePlatform::OpenProcessToken(DWORD desiredAccess, HANDLE* token) {
  if (token == nullptr) {
    SetLastError(err::kInvalidParameter);
    return 0;
  }
  HANDLE handle = NewHandle();
  std::lock_guard lock(mutex_);
  tokens_.emplace(reinterpret_cast<std::uintptr_t>(handle), TokenObject{desiredAccess});
  *token = handle;
  return 1;
}

BOOL OfflinePlatform::LookupPrivilegeValueA(const char* systemName, const char* name, Luid* luid) {
  DWORD error = err::kSuccess;
  const BOOL ok = Token::LookupPrivilegeValue(systemName, name, luid, &error);
  if (!ok) SetLastError(error);
  return ok;
}

BOOL OfflinePlatform::AdjustTokenPrivileges(HANDLE token, BOOL disableAll, const TokenPrivileges* newState,
                                            DWORD bufferLength, TokenPrivileges* previousState,
                                            DWORD* returnLength) {
  DWORD access = 0;
  {
    std::lock_guard lock(mutex_);
    auto it = tokens_.find(reinterpret_cast<std::uintptr_t>(token));
    if (it == tokens_.end()) {
      SetLastError(err::kInvalidHandle);
      return 0;
    }
    access = it->second.access;
  }
  DWORD error = err::kSuccess;
  BOOL ok = token_.AdjustThroughHandle(access, disableAll, newState, bufferLength, previousState,
                                       returnLength, &error);
  SetLastError(error);
  return ok;
}

// --- Release and WOW64

BOOL OfflinePlatform::GetVersionExA(OsVersionInfoA* info) {
  if (const DWORD error = VersionRecordError(info); error != err::kSuccess) {
    SetLastError(error);
    return 0;
  }
  info->dwMajorVersion = release_.version.major;
  info->dwMinorVersion = release_.version.minor;
  info->dwBuildNumber = release_.build;
  info->dwPlatformId = options_.machine.platformId;
  std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
  std::memcpy(info->szCSDVersion, release_.servicePack.data(),
              std::min(release_.servicePack.size(), sizeof info->szCSDVersion - 1));
  return 1;
}

std::function<BOOL(BOOL*)> OfflinePlatform::LookupIsWow64Process() {
  const bool wow64 = drives_.wow64();
  return [wow64](BOOL* result) -> BOOL {
    if (result == nullptr) return 0;
    *result = wow64 ? 1 : 0;
    return 1;
  };
}

// --- System Restore and restart

std::vector<RestorePointSource> OfflinePlatform::HiveSources() const {
  std::vector<RestorePointSource> sources;
  for (std::size_t i = 0; i < hivelist_.size(); ++i) {
    if (auto file = HiveFileOf(i)) sources.push_back({hivelist_[i].name, *file});
  }
  return sources;
}

std::unique_ptr<SystemRestoreLibrary> OfflinePlatform::LoadSrClient() {
  return MakeSrClient(&restorePoints_, [this] { return HiveSources(); });
}

BOOL OfflinePlatform::ExitWindowsEx(UINT flags, DWORD /*reason*/) {
  if (!token_.IsEnabled("SeShutdownPrivilege")) {
    SetLastError(err::kPrivilegeNotHeld);
    return 0;
  }
  // A shutdown or restart takes the pending replacements into effect; a
  // log-off only ends the session. Entries that fail stay pending.
  if ((flags & (kEwxShutdown | kEwxReboot | kEwxPowerOff)) != 0) {
    if (Hibernated(drives_)) {
      AddNotice(kHibernatedText);
    } else {
      std::vector<ReplacementOutcome> outcomes;
      journal_.ApplyAll(&outcomes);
      AddOutcomes(outcomes);
      std::lock_guard lock(mutex_);
      report_.restarted = true;
    }
  }
  std::function<void()> handler;
  {
    std::lock_guard lock(mutex_);
    handler = restartHandler_;
  }
  if (handler) handler();
  SetLastError(err::kSuccess);
  return 1;
}

std::string OfflinePlatform::OfflineInstallation() {
  if (const DriveSpec* system = drives_.Drive('C')) return system->folder.string();
  return drives_.drives().empty() ? std::string() : drives_.drives().front().folder.string();
}

// --- Private profile files

DWORD OfflinePlatform::GetPrivateProfileStringA(const char* appName, const char* keyName,
                                                const char* defaultValue, char* returned, DWORD size,
                                                const char* fileName) {
  auto file = fileName != nullptr ? drives_.Resolve(fileName) : std::nullopt;
  return GetProfileString(appName, keyName, defaultValue, returned, size, file ? *file : fs::path());
}

BOOL OfflinePlatform::WritePrivateProfileStringA(const char* appName, const char* keyName, const char* value,
                                                 const char* fileName) {
  auto file = fileName != nullptr ? drives_.Resolve(fileName) : std::nullopt;
  if (!file) {
    SetLastError(fileName == nullptr ? err::kInvalidParameter : err::kPathNotFound);
    return 0;
  }
  DWORD error = WriteProfileString(appName, keyName, value, *file);
  SetLastError(error);
  return error == err::kSuccess ? 1 : 0;
}

// --- Shell

std::intptr_t OfflinePlatform::ShellExecuteA(HWND, const char*, const char* file, const char*, const char*,
                                             int) {
  if (file == nullptr || *file == '\0') return 2;  // SE_ERR_FNF
  if (openNotice_) {
    const bool opened = host::OpenWithDesktop(file);
    openNotice_(file, opened);
    return 42;
  }
  std::printf("Opening %s\n", file);
  std::fflush(stdout);
  host::OpenWithDesktop(file);
  return 42;
}

void OfflinePlatform::SetOpenNotice(std::function<void(const std::string&, bool)> notice) {
  openNotice_ = std::move(notice);
}

// --- Process and locale

std::string OfflinePlatform::GetCommandLineA() {
  std::string line = Quoted(options_.programName);
  for (const std::string& arg : options_.arguments) line += " " + Quoted(arg);
  return line;
}

std::vector<std::string> OfflinePlatform::CommandLineArguments() {
  std::vector<std::string> arguments{options_.programName};
  arguments.insert(arguments.end(), options_.arguments.begin(), options_.arguments.end());
  return arguments;
}

std::string OfflinePlatform::ProgramFolder() {
  fs::path folder = options_.programFolder.empty() ? host::UserConfigHome() / "talvix-hivora"
                                                   : options_.programFolder;
  std::error_code ec;
  fs::create_directories(folder, ec);
  return WithSeparator(folder);
}

std::string OfflinePlatform::DataFolder() {
  if (!options_.dataFolder.empty()) return WithSeparator(options_.dataFolder);
  const fs::path exe = host::ExecutableFolder(options_.argv0);
  const fs::path shared = (exe / ".." / "share" / "talvix-hivora").lexically_normal();
  std::error_code ec;
  return WithSeparator(fs::is_directory(shared, ec) ? shared : exe);
}

void OfflinePlatform::GetLocalTime(SystemTime* time) {
  if (time == nullptr) return;
  std::function<SystemTime()> clock;
  {
    std::lock_guard lock(mutex_);
    clock = clock_;
  }
  *time = clock();
}

std::string OfflinePlatform::FormatShortDate(const SystemTime& time) { return host::FormatTime(time, "%x"); }
std::string OfflinePlatform::FormatLongTime(const SystemTime& time) { return host::FormatTime(time, "%X"); }
char OfflinePlatform::DecimalSeparator() { return host::DecimalSeparator(); }

}  // namespace hv::offline
