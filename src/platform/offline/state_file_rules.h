#pragma once
// What the program accepts when it reads its own state files back from an
// installation (the journal, restore points' RestorePoint.ini). Those files
// lie on a disk that came from elsewhere and may have been written by anyone,
// so they are data: a path in them must be a drive-letter path of a drive the
// installation has, and may name only the files the program itself writes
// there. Anything else makes the whole file invalid.
#include <cstddef>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "platform/offline/drive_map.h"

namespace hv::offline {

// Longest field or line a state file may hold.
inline constexpr std::size_t kMaxStatePathLength = 1024;
inline constexpr std::size_t kMaxStateLineLength = 4096;
inline constexpr std::size_t kMaxStateFileSize = 1 << 20;

// The names the program gives the files beside a hive.
inline constexpr const char* kCompanionHvx = ".hvx";
inline constexpr const char* kCompanionBak = ".bak";
inline constexpr const char* kCompanionBakOld = ".bak.old";
inline constexpr const char* kCompanionCompacted = ".compacted";
inline constexpr const char* kCompanionRestoreStaging = ".rptmp";
inline constexpr const char* kCompanionBeforeRestore = ".before-restore";

// Why `path` is not a Windows path of a file on a drive of the installation
// ("X:\name\name"): nullopt when it is one. Refused: no or an unknown drive
// letter, empty, "." or ".." components, control characters (NUL among them),
// characters Windows forbids in names, overlong paths or names.
std::optional<std::string> NotAnInstallationPath(const DriveMap& drives, std::string_view path);

// Whether `file` is `hive` followed by one of `suffixes` (letter case ignored,
// as the file system ignores it): the same folder, the hive's own name.
bool IsCompanionOf(std::string_view hive, std::string_view file, std::initializer_list<const char*> suffixes);

// A field as it may be shown in a message: control characters replaced,
// cut to a readable length.
std::string ShownField(std::string_view field);

// "<file>, line <n>: <reason>", the one line that names an invalid state file.
std::string StateFileProblem(const std::filesystem::path& file, int line, const std::string& reason);

// Reads a state file whole, when it is a plain file of reasonable size (not
// a link, a folder, a FIFO or a device). nullopt when there is none; false
// and `why` when it is there but not such a file.
bool ReadStateFile(const std::filesystem::path& file, std::string* bytes, bool* present, std::string* why);

}  // namespace hv::offline
