#include "security_descriptor.h"

#include <utility>

#include "format.h"

namespace hv::regf {
namespace {

bool Aligned(std::uint32_t v) { return v % 4 == 0; }

// A SID of `room` bytes at most at `p`; its size in `used`.
std::string SidProblem(const std::uint8_t* p, std::uint32_t room, std::uint32_t& used) {
  if (room < sid::kHeader) return "runs past the descriptor";
  if (p[sid::kRevision] != sid::kRevision1) return "has revision " + std::to_string(p[sid::kRevision]);
  const std::uint8_t n = p[sid::kSubAuthorities];
  if (n > sid::kMaxSubAuthorities) return "has " + std::to_string(n) + " sub-authorities";
  used = sid::kHeader + 4u * n;
  if (used > room) return "runs past the descriptor";
  return {};
}

std::string AclProblem(const std::uint8_t* p, std::uint32_t room) {
  if (room < acl::kHeader) return "runs past the descriptor";
  const std::uint8_t revision = p[acl::kRevision];
  if (revision < acl::kMinRevision || revision > acl::kMaxRevision) return "has revision " + std::to_string(revision);
  const std::uint32_t size = Rd16(p + acl::kSize);
  if (size < acl::kHeader || !Aligned(size)) return "has an invalid size " + std::to_string(size);
  if (size > room) return "runs past the descriptor";
  const std::uint32_t count = Rd16(p + acl::kAceCount);
  std::uint32_t at = acl::kHeader;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::string which = "ACE " + std::to_string(i + 1);
    if (size - at < ace::kHeader) return which + " runs past the ACL";
    const std::uint8_t* a = p + at;
    const std::uint32_t aceSize = Rd16(a + ace::kSize);
    if (aceSize < ace::kHeader || !Aligned(aceSize)) return which + " has an invalid size " + std::to_string(aceSize);
    if (aceSize > size - at) return which + " runs past the ACL";
    if (a[ace::kType] <= ace::kLastSimpleType) {
      std::uint32_t used = 0;
      if (aceSize < ace::kSid) return which + " is too short for its SID";
      if (std::string why = SidProblem(a + ace::kSid, aceSize - ace::kSid, used); !why.empty()) {
        return which + "'s SID " + (why == "runs past the descriptor" ? std::string("runs past the ACE") : why);
      }
    }
    at += aceSize;
  }
  return {};
}

}  // namespace

std::string SecurityDescriptorProblem(const std::uint8_t* d, std::uint32_t size) {
  if (size < sd::kHeader) return "it is shorter than a descriptor's header";
  if (d[sd::kRevision] != sd::kRevision1) return "its revision is " + std::to_string(d[sd::kRevision]);
  const std::uint16_t control = Rd16(d + sd::kControl);
  if ((control & sd::kSelfRelative) == 0) return "it is not self-relative";
  // An offset must leave the header alone, be aligned and start inside the descriptor.
  auto placed = [&](std::uint32_t offset, const char* what, std::string& why) {
    if (offset < sd::kHeader || !Aligned(offset) || offset >= size) {
      why = std::string("its ") + what + " offset " + std::to_string(offset) + " is invalid";
      return false;
    }
    return true;
  };
  std::string why;
  const std::pair<std::uint32_t, const char*> sids[] = {{sd::kOwner, "owner"}, {sd::kGroup, "group"}};
  for (const auto& [field, what] : sids) {
    const std::uint32_t offset = Rd32(d + field);
    if (offset == 0) continue;
    if (!placed(offset, what, why)) return why;
    std::uint32_t used = 0;
    if (std::string p = SidProblem(d + offset, size - offset, used); !p.empty()) return std::string("its ") + what + " SID " + p;
  }
  const struct {
    std::uint32_t field;
    std::uint16_t present;
    const char* what;
  } acls[] = {{sd::kSacl, sd::kSaclPresent, "SACL"}, {sd::kDacl, sd::kDaclPresent, "DACL"}};
  for (const auto& a : acls) {
    const std::uint32_t offset = Rd32(d + a.field);
    if ((control & a.present) == 0 || offset == 0) continue;
    if (!placed(offset, a.what, why)) return why;
    if (std::string p = AclProblem(d + offset, size - offset); !p.empty()) return std::string("its ") + a.what + " " + p;
  }
  return {};
}

}  // namespace hv::regf
