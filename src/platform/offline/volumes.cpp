#include "platform/offline/volumes.h"

#include <cctype>
#include <cstring>

namespace hv::offline {
namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

char UpperLetter(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

bool IsLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

}  // namespace

void Volumes::AddDrive(char letter, UINT type, std::vector<std::string> targets) {
  const char up = UpperLetter(letter);
  drives_[up] = type;
  names_[std::string(1, up) + ":"] = std::move(targets);
}

void Volumes::Define(const std::string& name, std::vector<std::string> targets) {
  names_[Upper(name)] = std::move(targets);
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
  const std::string root = rootPathName != nullptr ? rootPathName : "C:";
  const bool isRoot = root.size() >= 2 && IsLetter(root[0]) && root[1] == ':' &&
                      (root.size() == 2 || (root.size() == 3 && (root[2] == '\\' || root[2] == '/')));
  auto drive = isRoot ? drives_.find(UpperLetter(root[0])) : drives_.end();
  return drive != drives_.end() ? drive->second : drive::kNoRootDir;
}

DWORD Volumes::QueryDosDevice(const char* deviceName, char* targetPath, DWORD max, DWORD* error) const {
  std::string answer;
  if (deviceName == nullptr) {
    for (const auto& [name, targets] : names_) {
      if (targets.empty()) continue;
      answer += name;
      answer += '\0';
    }
  } else {
    auto found = names_.find(Upper(deviceName));
    if (found == names_.end() || found->second.empty()) {
      *error = err::kFileNotFound;
      return 0;
    }
    for (const std::string& target : found->second) {
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
