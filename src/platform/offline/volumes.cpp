#include "platform/offline/volumes.h"

#include <cstring>

#include "platform/offline/drive_map.h"
#include "regf/text_case.h"

namespace hv::offline {

const Volumes::Name* Volumes::Find(std::string_view name) const {
  for (const Name& entry : names_) {
    if (NamesEqual(entry.name, name)) return &entry;
  }
  return nullptr;
}

void Volumes::AddDrive(char letter, UINT type, std::vector<std::string> targets) {
  drives_[AsciiUpper(letter)] = type;
  Define(std::string{AsciiUpper(letter), ':'}, std::move(targets));
}

void Volumes::Define(const std::string& name, std::vector<std::string> targets) {
  for (Name& entry : names_) {
    if (NamesEqual(entry.name, name)) {
      entry.targets = std::move(targets);
      return;
    }
  }
  names_.push_back(Name{name, std::move(targets)});
}

DWORD Volumes::LogicalDriveStrings(DWORD bufferLength, char* buffer) const {
  std::string list;
  for (const auto& [letter, type] : drives_) {
    list += letter;
    list += ":\\";
    list += '\0';
  }
  const DWORD length = static_cast<DWORD>(list.size());
  if (buffer == nullptr || bufferLength < length + 1) return length + 1;
  std::memcpy(buffer, list.data(), list.size());
  buffer[length] = '\0';
  return length;
}

UINT Volumes::DriveType(const char* rootPathName) const {
  const std::string_view root = rootPathName != nullptr ? rootPathName : "C:";
  const bool isRoot = DriveMap::IsDrivePath(root) &&
                      (root.size() == 2 || (root.size() == 3 && (root[2] == '\\' || root[2] == '/')));
  auto drive = isRoot ? drives_.find(AsciiUpper(root[0])) : drives_.end();
  return drive != drives_.end() ? drive->second : drive::kNoRootDir;
}

DWORD Volumes::QueryDosDevice(const char* deviceName, char* targetPath, DWORD max, DWORD* error) const {
  std::string answer;
  if (deviceName == nullptr) {
    for (const Name& entry : names_) {
      if (entry.targets.empty()) continue;
      answer += entry.name;
      answer += '\0';
    }
  } else {
    const Name* entry = Find(deviceName);
    if (entry == nullptr || entry->targets.empty()) {
      *error = err::kFileNotFound;
      return 0;
    }
    for (const std::string& target : entry->targets) {
      answer += target;
      answer += '\0';
    }
  }
  answer += '\0';
  if (targetPath == nullptr || max < answer.size()) {
    *error = err::kInsufficientBuffer;
    return 0;
  }
  std::memcpy(targetPath, answer.data(), answer.size());
  return static_cast<DWORD>(answer.size());
}

}  // namespace hv::offline
