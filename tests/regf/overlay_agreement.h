#pragma once
// Recovery into an image and recovery into an overlay of the logs' pages are one set of rules:
// for any dirty hive they must agree, byte for byte, and refuse alike.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "regf/compare.h"
#include "regf/hive.h"
#include "regf/hive_overlay.h"
#include "regf/recovery.h"

namespace hv::test {

// The overlay's bytes, read in pieces of `piece` bytes.
inline std::vector<std::uint8_t> OverlayBytes(const regf::HiveOverlay& overlay, std::size_t piece = 3000) {
  std::vector<std::uint8_t> out(static_cast<std::size_t>(overlay.Size()));
  for (std::size_t at = 0; at < out.size(); at += piece) {
    std::size_t got = 0;
    const std::size_t n = std::min(piece, out.size() - at);
    EXPECT_EQ(overlay.ReadAt(at, out.data() + at, n, got), 0);
    EXPECT_EQ(got, n);
  }
  return out;
}

// The part of a recovery refusal that names the broken bin, if it is one.
inline std::string BinProblemOf(const std::string& message) {
  const auto at = message.find(" hive bin at ");
  if (at == std::string::npos) return {};
  const auto end = message.find("cannot be recovered", at);
  return message.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

// Recovers `file` both ways and expects the same outcome: the same report and bytes, or a
// refusal by both (in the same words where a recovered bin is broken).
inline void ExpectOverlayAgreesWithImage(const std::filesystem::path& file) {
  regf::RecoveryReport ri, ro;
  std::vector<std::uint8_t> image;
  std::shared_ptr<regf::HiveOverlay> overlay;
  const regf::Status si = regf::RecoverHiveFile(file, image, ri);
  regf::Status so = regf::RecoverHiveOverlay(file, overlay, ro);
  std::string overlayRefusal = so.message;
  if (so && overlay) {
    try {
      const regf::Hive h = regf::Hive::Windowed(overlay, 2 * regf::kBinAlign);
      if (si) {
        EXPECT_EQ(regf::CompareTrees(regf::Hive::FromBytes(image, "image"), h, 3), std::vector<std::string>{});
      }
    } catch (const regf::FormatError& e) {
      so.ok = false;
      overlayRefusal = e.what();
    }
  }
  ASSERT_EQ(si.ok, so.ok) << "image: " << si.message << "\noverlay: " << overlayRefusal;
  EXPECT_EQ(ri.dirty, ro.dirty);
  if (!si) {
    EXPECT_EQ(BinProblemOf(si.message), BinProblemOf(overlayRefusal));
    if (BinProblemOf(si.message).empty()) {
      EXPECT_EQ(si.message, overlayRefusal);
    }
    return;
  }
  EXPECT_EQ(ri.entries, ro.entries);
  EXPECT_EQ(ri.used, ro.used);
  EXPECT_EQ(ri.pageBytes, ro.pageBytes);
  EXPECT_EQ(ri.stopped, ro.stopped);
  if (!ri.dirty) {
    EXPECT_EQ(overlay, nullptr);
    return;
  }
  ASSERT_NE(overlay, nullptr);
  EXPECT_TRUE(OverlayBytes(*overlay) == image) << "the overlay reads other bytes than the recovered image";
}

}  // namespace hv::test
