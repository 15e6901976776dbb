#pragma once
// JPEG bytes to RGB pixels with libjpeg. Kept apart from <windows.h>: the
// two headers disagree about `boolean`.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace w32ui {

struct RgbImage {
  int width = 0;
  int height = 0;
  // Rows top to bottom, 3 bytes per pixel in the order R, G, B.
  std::vector<std::uint8_t> rgb;
};

// Pictures larger than this on either side are refused rather than allocated.
inline constexpr int kMaxJpegSide = 8192;

// Decodes a baseline or progressive JPEG (grey scale or colour). False, with
// a reason in `error`, for anything libjpeg cannot read; never exits the
// process, whatever the bytes.
bool DecodeJpeg(const std::uint8_t* data, std::size_t size, RgbImage& image, std::string& error);

}  // namespace w32ui
