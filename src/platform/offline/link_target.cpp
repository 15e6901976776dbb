#include "platform/offline/link_target.h"

#include <cstring>

#include "platform/offline/drive_map.h"
#include "regf/names.h"
#include "regf/text_case.h"

namespace hv::offline {

namespace {

constexpr std::uint32_t kMountPointTag = 0xA0000003u;
constexpr std::uint32_t kSymlinkTag = 0xA000000Cu;
constexpr std::uint32_t kSymlinkRelative = 1u;
// Tag, data length and reserved word come first, then the names' offsets
// and lengths; a symbolic link's flags follow them.
constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kMountPointNames = 16;
constexpr std::size_t kSymlinkNames = 20;

ReparseTarget Refused(std::string why) {
  ReparseTarget target;
  target.why = std::move(why);
  return target;
}

}  // namespace

std::vector<std::string> PathComponents(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t i = 0;
  while (i <= path.size()) {
    std::size_t j = path.find_first_of("\\/", i);
    if (j == std::string::npos) j = path.size();
    if (j > i) parts.push_back(path.substr(i, j - i));
    i = j + 1;
  }
  return parts;
}

ReparseTarget ReparseLinkTarget(const std::uint8_t* data, std::size_t size, const std::function<bool(char)>& hasDrive) {
  if (data == nullptr || size < kMountPointNames) return Refused("broken reparse data");
  std::uint32_t tag = 0;
  std::memcpy(&tag, data, 4);
  const bool mountPoint = tag == kMountPointTag;
  const bool symlink = tag == kSymlinkTag;
  if (!mountPoint && !symlink) return Refused("a reparse point of a kind Windows does not follow as a link");
  auto u16 = [&](std::size_t offset) { return static_cast<std::size_t>(data[offset] | (data[offset + 1] << 8)); };
  const std::size_t names = mountPoint ? kMountPointNames : kSymlinkNames;
  const std::size_t offset = u16(kHeaderSize), length = u16(kHeaderSize + 2);
  if (size < names || names + offset + length > size || length % 2 != 0) return Refused("broken reparse data");
  std::uint32_t flags = 0;
  if (symlink) std::memcpy(&flags, data + 16, 4);
  const std::string target = regf::Utf16ToUtf8(data + names + offset, length);
  if (target.find('\0') != std::string::npos) return Refused("broken reparse data");
  ReparseTarget result;
  if (symlink && (flags & kSymlinkRelative) != 0) {
    result.kind = ReparseTarget::Kind::kRelative;
    result.components = PathComponents(target);
    return result;
  }
  std::string path = target;
  if (path.rfind("\\??\\", 0) == 0) path = path.substr(4);
  if (!DriveMap::IsDrivePath(path) || (path.size() > 2 && path[2] != '\\')) {
    return Refused("a link to " + target + ", which is no drive of the installation");
  }
  const char letter = AsciiUpper(path[0]);
  if (!hasDrive(letter)) return Refused("a link to " + target + ", a drive the installation does not have");
  result.kind = ReparseTarget::Kind::kDrive;
  result.drive = letter;
  result.components = PathComponents(path.substr(2));
  return result;
}

}  // namespace hv::offline
