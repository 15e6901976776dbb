// Registry of the offline platform: the hivelist key and the hive root keys.
#include <algorithm>
#include <cstring>
#include <system_error>

#include "platform/offline/file_protection.h"
#include "platform/offline/held_path.h"
#include "platform/offline/hibernation.h"
#include "platform/offline/hive_files.h"
#include "platform/offline/offline_platform.h"

#include "platform/offline/in_use.h"
#include "platform/offline/registry_values.h"
#include "regf/regf.h"

namespace hv::offline {
namespace fs = std::filesystem;

namespace {

constexpr DWORD kNotSameDevice = 17;  // ERROR_NOT_SAME_DEVICE
const std::vector<std::string> kHivelistPath = {"SYSTEM", "CurrentControlSet", "Control", "hivelist"};

// Registry paths separate components by '\' only; '/' is a name character.
std::vector<std::string> SplitKey(std::string_view path) {
  std::vector<std::string> parts;
  std::size_t i = 0;
  while (i <= path.size()) {
    std::size_t j = path.find('\\', i);
    if (j == std::string_view::npos) j = path.size();
    if (j > i) parts.emplace_back(path.substr(i, j - i));
    i = j + 1;
  }
  return parts;
}

bool SamePath(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](const auto& x, const auto& y) {
           return NamesEqual(x, y);
         });
}

bool IsPrefix(const std::vector<std::string>& prefix, const std::vector<std::string>& path) {
  return prefix.size() <= path.size() &&
         std::equal(prefix.begin(), prefix.end(), path.begin(), [](const auto& x, const auto& y) {
           return NamesEqual(x, y);
         });
}

bool IsPredefined(HKEY key) { return key == HkeyLocalMachine() || key == HkeyUsers(); }

// Where the hivelist value name puts the hive: its root key and the path below.
std::optional<std::pair<HKEY, std::vector<std::string>>> HiveLocation(const std::string& name) {
  static const std::pair<std::string_view, bool> kPrefixes[] = {{"\\REGISTRY\\MACHINE\\", true},
                                                                {"\\REGISTRY\\USER\\", false}};
  for (const auto& [prefix, machine] : kPrefixes) {
    if (name.size() > prefix.size() && NamesEqual(std::string_view(name).substr(0, prefix.size()), prefix)) {
      return std::make_pair(machine ? HkeyLocalMachine() : HkeyUsers(), SplitKey(name.substr(prefix.size())));
    }
  }
  return std::nullopt;
}

LSTATUS Status(DWORD code) { return static_cast<LSTATUS>(code); }

}  // namespace

std::optional<fs::path> OfflinePlatform::HiveFileOf(std::size_t hive) const {
  const HivelistValue& value = hivelist_[hive];
  if ((value.type != reg::kSz && value.type != reg::kExpandSz) || value.data.empty()) return std::nullopt;
  const auto* bytes = reinterpret_cast<const char*>(value.data.data());
  const std::string kernel(bytes, strnlen(bytes, value.data.size()));
  if (kernel.empty()) return std::nullopt;
  auto file = drives_.ResolveKernel(kernel);
  std::error_code ec;
  if (!file || !fs::is_regular_file(*file, ec)) return std::nullopt;
  return file;
}

std::optional<fs::path> OfflinePlatform::HostFileOfHive(const std::string& hiveName) const {
  for (std::size_t i = 0; i < hivelist_.size(); ++i) {
    if (hivelist_[i].name == hiveName) return HiveFileOf(i);
  }
  return std::nullopt;
}

std::optional<std::int64_t> OfflinePlatform::SaveUnderWay(const fs::path& copy) const {
  std::lock_guard lock(mutex_);
  auto it = savesUnderWay_.find(copy.lexically_normal());
  if (it == savesUnderWay_.end()) it = savesUnderWay_.find(copy);
  if (it == savesUnderWay_.end()) return std::nullopt;
  return it->second->load();
}

std::string OfflinePlatform::SaveFailure(const fs::path& copy) const {
  const fs::path kept = KeptAt(copy);
  std::lock_guard lock(mutex_);
  auto it = saveFailures_.find(kept);
  return it == saveFailures_.end() ? std::string() : it->second;
}

std::optional<std::size_t> OfflinePlatform::HiveRootIndex(HKEY root, const std::vector<std::string>& path) const {
  for (std::size_t i = 0; i < hivelist_.size(); ++i) {
    auto location = HiveLocation(hivelist_[i].name);
    if (location && location->first == root && SamePath(location->second, path)) return i;
  }
  return std::nullopt;
}

std::optional<OfflinePlatform::KeyObject> OfflinePlatform::FindKeyLocked(HKEY root, const char* subKey,
                                                                         DWORD samDesired, LSTATUS* error) {
  KeyObject key;
  if (IsPredefined(root)) {
    key.root = root;
  } else {
    auto it = keys_.find(reinterpret_cast<std::uintptr_t>(root));
    if (it == keys_.end()) {
      *error = Status(err::kInvalidHandle);
      return std::nullopt;
    }
    key.root = it->second.root;
    key.path = it->second.path;
  }
  for (std::string& part : SplitKey(subKey != nullptr ? subKey : "")) key.path.push_back(std::move(part));

  const bool machine = key.root == HkeyLocalMachine();
  // A WOW64 process sees HKLM\SOFTWARE through the 32-bit view unless it asks
  // for the 64-bit one.
  const bool view32 = (samDesired & access::kKeyWow64_32Key) != 0 ||
                      (drives_.wow64() && (samDesired & access::kKeyWow64_64Key) == 0);
  if (machine && view32 && !key.path.empty() && NamesEqual(key.path[0], "SOFTWARE")) {
    if (key.path.size() == 1 && HiveRootIndex(key.root, key.path)) {
      key.kind = KeyObject::Kind::kWow64View;
      return key;
    }
    *error = Status(err::kFileNotFound);
    return std::nullopt;
  }
  if (auto hive = HiveRootIndex(key.root, key.path)) {
    key.kind = KeyObject::Kind::kHiveRoot;
    key.hive = *hive;
    return key;
  }
  if (machine && SamePath(key.path, kHivelistPath)) {
    key.kind = KeyObject::Kind::kHivelist;
    return key;
  }
  if (machine && !key.path.empty() && IsPrefix(key.path, kHivelistPath)) {
    key.kind = KeyObject::Kind::kPath;
    return key;
  }
  *error = Status(err::kFileNotFound);
  return std::nullopt;
}

LSTATUS OfflinePlatform::OpenKey(HKEY root, const char* subKey, DWORD samDesired, HKEY* result) {
  if (result == nullptr) return Status(err::kInvalidParameter);
  *result = nullptr;
  // An empty path opens the root itself; a predefined root stays predefined.
  if (IsPredefined(root) && (subKey == nullptr || SplitKey(subKey).empty())) {
    *result = root;
    return Status(err::kSuccess);
  }
  std::lock_guard lock(mutex_);
  LSTATUS error = Status(err::kSuccess);
  auto key = FindKeyLocked(root, subKey, samDesired, &error);
  if (!key) return error;
  const std::uintptr_t value = nextHandle_;
  nextHandle_ += 4;
  keys_.emplace(value, std::move(*key));
  *result = reinterpret_cast<HKEY>(value);
  return Status(err::kSuccess);
}

LSTATUS OfflinePlatform::RegOpenKeyA(HKEY root, const char* subKey, HKEY* result) {
  return OpenKey(root, subKey, access::kKeyAllAccess, result);
}

LSTATUS OfflinePlatform::RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, DWORD samDesired,
                                       HKEY* result) {
  if (options != 0) return Status(err::kInvalidParameter);  // REG_OPTION_OPEN_LINK is not emulated
  return OpenKey(root, subKey, samDesired, result);
}

LSTATUS OfflinePlatform::RegCloseKey(HKEY key) {
  if (IsPredefined(key)) return Status(err::kSuccess);
  std::lock_guard lock(mutex_);
  return keys_.erase(reinterpret_cast<std::uintptr_t>(key)) == 1 ? Status(err::kSuccess)
                                                                 : Status(err::kInvalidHandle);
}

LSTATUS OfflinePlatform::RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameLen, DWORD* type,
                                       BYTE* data, DWORD* dataLen) {
  std::lock_guard lock(mutex_);
  auto it = keys_.find(reinterpret_cast<std::uintptr_t>(key));
  if (it == keys_.end()) return Status(IsPredefined(key) ? err::kNoMoreItems : err::kInvalidHandle);
  if (name == nullptr || nameLen == nullptr) return Status(err::kInvalidParameter);
  // Only the hivelist key has values here.
  if (it->second.kind != KeyObject::Kind::kHivelist || index >= hivelist_.size()) {
    return Status(err::kNoMoreItems);
  }
  return CopyEnumeratedValue(hivelist_[index], name, nameLen, type, data, dataLen);
}

LSTATUS OfflinePlatform::RegQueryValueExA(HKEY key, const char* valueName, DWORD* type, BYTE* data,
                                          DWORD* dataLen) {
  std::lock_guard lock(mutex_);
  auto it = keys_.find(reinterpret_cast<std::uintptr_t>(key));
  if (it == keys_.end()) return Status(IsPredefined(key) ? err::kFileNotFound : err::kInvalidHandle);
  if (it->second.kind != KeyObject::Kind::kHivelist || valueName == nullptr) return Status(err::kFileNotFound);
  for (const HivelistValue& value : hivelist_) {
    if (NamesEqual(value.name, valueName)) return CopyValueData(value, type, data, dataLen);
  }
  return Status(err::kFileNotFound);
}

LSTATUS OfflinePlatform::RegSaveKeyA(HKEY key, const char* file) { return RegSaveKeyStoppable(key, file, nullptr); }

LSTATUS OfflinePlatform::RegSaveKeyStoppable(HKEY key, const char* file, const std::atomic<bool>* stop) {
  if (!token_.IsEnabled("SeBackupPrivilege")) return Status(err::kPrivilegeNotHeld);
  std::optional<fs::path> source;
  {
    std::lock_guard lock(mutex_);
    auto it = keys_.find(reinterpret_cast<std::uintptr_t>(key));
    if (it == keys_.end()) return Status(IsPredefined(key) ? err::kBadKey : err::kInvalidHandle);
    // Only whole hives are written: the hive-file engine compacts files, and a
    // key below a hive root (the 32-bit view of SOFTWARE is such a key) would
    // need a subtree extraction it does not do.
    if (it->second.kind != KeyObject::Kind::kHiveRoot) return Status(err::kBadKey);
    source = HiveFileOf(it->second.hive);
  }
  if (!source) return Status(err::kCantRead);
  if (file == nullptr || *file == '\0') return Status(err::kInvalidParameter);
  auto target = ResolveFile(file);
  if (!target) return Status(err::kPathNotFound);
  std::error_code ec;
  if (fs::exists(fs::symlink_status(*target, ec))) return Status(err::kAlreadyExists);
  const fs::path folder = target->has_parent_path() ? target->parent_path() : fs::path(".");
  if (!fs::is_directory(folder, ec)) return Status(err::kPathNotFound);
  // A hive another program holds would go on being written after its copy was made.
  if (auto held = HeldByAnotherProgram({*source, LogOf(*source, "LOG1"), LogOf(*source, "LOG2")})) {
    std::lock_guard lock(mutex_);
    saveFailures_[*target] = *held;
    report_.copiesFailed.push_back(source->filename().string() + ": " + *held);
    return Status(err::kSharingViolation);
  }

  const HiveFingerprint made = FingerprintOf(*source);
  std::string protectionError;
  const auto progress = std::make_shared<regf::CompactProgress>(0);
  {
    std::lock_guard lock(mutex_);
    savesUnderWay_[target->lexically_normal()] = progress;
  }
  // The engine works on the folders as walked: nothing renamed or linked into
  // the installation since then redirects its reads or its copy.
  const HeldPath heldSource(*source), heldTarget(*target);
  if (heldSource.error() != 0 || heldTarget.error() != 0) {
    std::lock_guard lock(mutex_);
    savesUnderWay_.erase(target->lexically_normal());
    const int e = heldSource.error() != 0 ? heldSource.error() : heldTarget.error();
    const std::string why = (heldSource.error() != 0 ? *source : *target).string() + ": " +
                            std::generic_category().message(e);
    saveFailures_[*target] = why;
    report_.copiesFailed.push_back(source->filename().string() + ": " + why);
    return Status(err::kAccessDenied);
  }
  regf::Status saved = regf::CompactHiveFile(
      heldSource.path(), heldTarget.path(),
      [&](const fs::path& empty) {
        // A copy in the work folder never takes the hive's place: it keeps the folder's own protection.
        if (readOnlyInstallation_) return regf::Status{};
        if (host::CopyProtection(*source, empty, &protectionError) == err::kSuccess) return regf::Status{};
        return regf::Status{false, protectionError};
      },
      progress.get(), stop);
  saved.message = heldTarget.Describe(heldSource.Describe(saved.message));
  {
    std::lock_guard lock(mutex_);
    savesUnderWay_.erase(target->lexically_normal());
  }
  // Stopped by the user: no copy and nothing to report, as with a hive never begun.
  if (saved.stopped) return Status(err::kCancelled);
  {
    std::lock_guard lock(mutex_);
    if (saved.ok) saveFailures_.erase(*target);
    else saveFailures_[*target] = protectionError.empty() ? saved.message : protectionError;
  }
  if (saved.ok) {
    std::lock_guard lock(mutex_);
    copyFingerprints_[fs::absolute(*target, ec).lexically_normal().string()] = made;
    ++report_.copiesMade;
    return Status(err::kSuccess);
  }
  {
    std::lock_guard lock(mutex_);
    report_.copiesFailed.push_back(source->filename().string() + ": " +
                                   (protectionError.empty() ? saved.message : protectionError));
  }
  if (!protectionError.empty()) {
    AddNotice(source->filename().string() + ": not copied, so not replaced: " + protectionError);
    return Status(err::kAccessDenied);
  }
  // Tell a target that cannot be written from a hive that cannot be read.
  DWORD probeError = err::kSuccess;
  fs::path probe = *target;
  probe += ".probe";
  if (auto opened = host::OpenFile::Open(probe, false, true, host::OpenFile::Disposition::kCreateNew, &probeError)) {
    opened.reset();
    host::Remove(probe);
    // Opened, not read: a hive too large for memory is what may have failed.
    DWORD readError = err::kSuccess;
    if (!host::OpenFile::Open(*source, true, false, host::OpenFile::Disposition::kOpenExisting, &readError)) {
      return Status(err::kCantRead);
    }
    return Status(err::kBadDb);
  }
  return Status(probeError == err::kFileExists ? err::kCantWrite : probeError);
}

LSTATUS OfflinePlatform::RegReplaceKeyA(HKEY root, const char* subKey, const char* newFile, const char* oldFile) {
  if (!token_.IsEnabled("SeBackupPrivilege") || !token_.IsEnabled("SeRestorePrivilege")) {
    return Status(err::kPrivilegeNotHeld);
  }
  if (newFile == nullptr || oldFile == nullptr) return Status(err::kInvalidParameter);
  if (readOnlyInstallation_) {
    std::lock_guard lock(mutex_);
    ++report_.requestsRefused;
    return Status(err::kAccessDenied);
  }
  std::optional<fs::path> hive;
  {
    std::lock_guard lock(mutex_);
    if (IsPredefined(root) && (subKey == nullptr || SplitKey(subKey).empty())) {
      return Status(err::kInvalidParameter);
    }
    LSTATUS error = Status(err::kSuccess);
    // The replacement names the hive itself: no registry view applies.
    auto key = FindKeyLocked(root, subKey, access::kKeyWow64_64Key, &error);
    if (!key) return error;
    if (key->kind != KeyObject::Kind::kHiveRoot) return Status(err::kInvalidParameter);
    hive = HiveFileOf(key->hive);
  }
  if (!hive) return Status(err::kInvalidParameter);  // a hive without a file (HARDWARE)
  auto replacement = drives_.Resolve(newFile);
  auto backup = drives_.Resolve(oldFile);
  std::error_code ec;
  if (!replacement || !fs::is_regular_file(*replacement, ec)) return Status(err::kFileNotFound);
  if (!backup) return Status(err::kPathNotFound);
  if (!fs::is_directory(backup->has_parent_path() ? backup->parent_path() : fs::path("."), ec)) {
    return Status(err::kPathNotFound);
  }
  if (fs::equivalent(*replacement, *hive, ec) || fs::equivalent(*backup, *hive, ec) ||
      fs::equivalent(*backup, *replacement, ec)) {
    return Status(err::kInvalidParameter);
  }
  // The restart renames the new file over the hive, which needs one volume.
  if (host::DeviceOf(*replacement) != host::DeviceOf(hive->parent_path())) return Status(kNotSameDevice);
  auto refuse = [this](DWORD code) {
    std::lock_guard lock(mutex_);
    ++report_.requestsRefused;
    return Status(code);
  };
  if (Hibernated(drives_)) {
    AddNotice(kHibernatedText);
    return refuse(err::kAccessDenied);
  }
  const fs::path newFileHost = fs::absolute(*replacement, ec).lexically_normal();
  std::optional<HiveFingerprint> made;
  {
    std::lock_guard lock(mutex_);
    if (auto it = copyFingerprints_.find(newFileHost.string()); it != copyFingerprints_.end()) made = it->second;
  }
  // A copy made by another run: it is trusted as made from the hive as it is now.
  if (!made) made = FingerprintOf(*hive);
  if (!(FingerprintOf(*hive) == *made)) {
    AddNotice(hive->filename().string() + ": it changed since its copy was made; not replaced");
    return refuse(err::kInvalidParameter);
  }
  const DWORD added = journal_.Add({*hive, newFileHost, fs::absolute(*backup, ec), made});
  if (added != err::kSuccess) return refuse(added);
  std::lock_guard lock(mutex_);
  ++report_.requestsAccepted;
  return Status(err::kSuccess);
}

}  // namespace hv::offline
