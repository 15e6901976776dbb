#pragma once
// What the offline platform presents as "the machine": its drives, its list of
// loaded hives, its release and WOW64 state. Read from a machine description
// (an INI file) or made from a single root folder.
//
// Description format:
//   [Machine]   Version=major.minor, PlatformId=n (2), Wow64=0|1 (0), RestorePoint=fail|ok
//   [Drives]    letter=type,device,folder   (type: fixed removable remote cdrom ramdisk;
//                                            folder relative to the description file)
//   [Hivelist]  value name=type:data, in enumeration order; type REG_SZ, REG_EXPAND_SZ,
//               REG_DWORD (decimal or 0x hex) or REG_BINARY (hex bytes)
// Values follow the private profile reading rules. Anything the reader does
// not understand is refused, naming the file, the line and the problem.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/types.h"

namespace hv::offline {

struct DriveSpec {
  char letter = 'C';  // upper case
  UINT type = drive::kFixed;
  std::string device;  // \Device\HarddiskVolume1
  std::filesystem::path folder;
};

struct HivelistValue {
  std::string name;
  DWORD type = reg::kSz;
  std::vector<BYTE> data;  // REG_SZ / REG_EXPAND_SZ with their terminating NUL
};

struct ReleaseVersion {
  DWORD major = 6;
  DWORD minor = 2;
  friend bool operator==(const ReleaseVersion&, const ReleaseVersion&) = default;
};

struct MachineDescription {
  std::filesystem::path file;  // empty when made from a root folder
  std::vector<DriveSpec> drives;  // sorted by letter
  std::optional<std::vector<HivelistValue>> hivelist;  // none: synthesised from C:
  std::optional<ReleaseVersion> version;                // none: derived from SOFTWARE
  DWORD platformId = kVerPlatformWin32Nt;
  std::optional<bool> wow64;  // none: Windows\SysWOW64 exists on C:
  bool restorePointFails = false;

  const DriveSpec* Drive(char letter) const;
};

// C: = `root`, fixed, \Device\HarddiskVolume1. Refuses a root that is not a folder.
std::optional<MachineDescription> DescribeRoot(const std::filesystem::path& root, std::string* error);

// Reads and checks a description; nullopt with *error "<file>:<line>: <problem>".
std::optional<MachineDescription> LoadMachineDescription(const std::filesystem::path& file,
                                                         std::string* error);

// REG_SZ data as stored: the ANSI bytes and their terminating NUL.
std::vector<BYTE> StringData(const std::string& text);

}  // namespace hv::offline
