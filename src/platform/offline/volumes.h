#pragma once
// The volumes of a machine as kernel32 reports them: the drive roots of
// GetLogicalDriveStringsA, the drive types of GetDriveTypeA and the DOS device
// names of QueryDosDeviceA, with the Windows buffer rules. Names are matched
// without regard to ASCII letter case.
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace hv::offline {

class Volumes {
 public:
  // Drive `letter`: listed as "X:\" (in letter order, as Windows lists them),
  // of `type`, its name "X:" defined with `targets`. Without targets the name
  // is not defined (queries of it fail).
  void AddDrive(char letter, UINT type, std::vector<std::string> targets);
  // Defines a DOS device name that is no drive ("Global", "PhysicalDrive0"),
  // or gives a drive's name other targets.
  void Define(const std::string& name, std::vector<std::string> targets);

  // "C:\<NUL>D:\<NUL><NUL>": the length without the final NUL, or the size
  // needed (with it) when `buffer` is null or too small.
  DWORD LogicalDriveStrings(DWORD bufferLength, char* buffer) const;
  // "C:" or "C:\"; null: the drive of the current folder, C:. Anything else,
  // or a letter that is no drive, is kNoRootDir.
  UINT DriveType(const char* rootPathName) const;
  // The targets of `deviceName`, each NUL-terminated, then one more NUL; null
  // lists every defined name. Returns the characters stored, or 0 with
  // *error kFileNotFound (no such name) or kInsufficientBuffer (does not fit).
  DWORD QueryDosDevice(const char* deviceName, char* targetPath, DWORD max, DWORD* error) const;

 private:
  struct Name {
    std::string name;  // as defined
    std::vector<std::string> targets;
  };
  const Name* Find(std::string_view name) const;

  std::map<char, UINT> drives_;  // by upper-case letter
  std::vector<Name> names_;      // in the order defined
};

}  // namespace hv::offline
