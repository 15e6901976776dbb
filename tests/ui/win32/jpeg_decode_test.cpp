// The JPEG decoder: the program's background picture, and bytes that are not
// a usable picture.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "resources/win32/resource_ids.h"
#include "ui/win32/jpeg_decode.h"

#include "platform/win32/win.h"

namespace {

std::vector<std::uint8_t> BackgroundBytes() {
  HMODULE module = ::GetModuleHandleA(nullptr);
  HRSRC info = ::FindResourceA(module, MAKEINTRESOURCEA(HV_IDR_BACKGROUND_JPEG), MAKEINTRESOURCEA(10));
  if (info == nullptr) return {};
  const auto* bytes = static_cast<const std::uint8_t*>(::LockResource(::LoadResource(module, info)));
  return {bytes, bytes + ::SizeofResource(module, info)};
}

// Offset of the frame header's height field (SOF0 or SOF2), or 0.
std::size_t FrameSizeOffset(const std::vector<std::uint8_t>& jpeg) {
  for (std::size_t i = 2; i + 9 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) return i + 5;
  }
  return 0;
}

TEST(JpegDecode, RefusesWhatIsNotAPicture) {
  w32ui::RgbImage image;
  std::string error;
  EXPECT_FALSE(w32ui::DecodeJpeg(nullptr, 0, image, error));
  EXPECT_FALSE(error.empty());

  const std::vector<std::uint8_t> text = {'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'};
  error.clear();
  EXPECT_FALSE(w32ui::DecodeJpeg(text.data(), text.size(), image, error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(image.width, 0);
  EXPECT_TRUE(image.rgb.empty());
}

TEST(JpegDecode, RefusesAHeaderCutShort) {
  const auto jpeg = BackgroundBytes();
  ASSERT_GT(jpeg.size(), 200u);
  w32ui::RgbImage image;
  std::string error;
  EXPECT_FALSE(w32ui::DecodeJpeg(jpeg.data(), 100, image, error));
  EXPECT_FALSE(error.empty());
}

TEST(JpegDecode, RefusesAnOversizedFrameWithoutAllocating) {
  auto jpeg = BackgroundBytes();
  const std::size_t at = FrameSizeOffset(jpeg);
  ASSERT_NE(at, 0u);
  jpeg[at] = 0x40;  // 16,384 rows: within libjpeg's limits, beyond the decoder's
  jpeg[at + 1] = 0x00;
  w32ui::RgbImage image;
  std::string error;
  EXPECT_FALSE(w32ui::DecodeJpeg(jpeg.data(), jpeg.size(), image, error));
  EXPECT_EQ(error, "picture size out of range");
  EXPECT_TRUE(image.rgb.empty());
}

TEST(JpegDecode, BackgroundIsTheMainWindowSize) {
  const auto jpeg = BackgroundBytes();
  ASSERT_FALSE(jpeg.empty()) << "background picture resource missing";
  EXPECT_LT(jpeg.size(), 100u * 1024u);
  w32ui::RgbImage image;
  std::string error;
  ASSERT_TRUE(w32ui::DecodeJpeg(jpeg.data(), jpeg.size(), image, error)) << error;
  EXPECT_EQ(image.width, 556);
  EXPECT_EQ(image.height, 393);
  ASSERT_EQ(image.rgb.size(), 556u * 393u * 3u);
  // The frame line along the top is a dark blue, the body near white.
  const auto pixel = [&](int x, int y) { return &image.rgb[(std::size_t(y) * 556 + x) * 3]; };
  EXPECT_LT(pixel(200, 0)[0], 140);
  EXPECT_GT(pixel(300, 200)[0], 200);
}

}  // namespace
