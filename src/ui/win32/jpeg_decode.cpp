#include "ui/win32/jpeg_decode.h"

// jpeglib.h needs size_t and FILE declared before it.
#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

namespace w32ui {
namespace {

// libjpeg's default error handler ends the process; this one jumps back to
// the decoder with the message. No C++ object is created between setjmp and
// a possible longjmp, so none is skipped.
struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

extern "C" void ErrorExit(j_common_ptr cinfo) {
  auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, manager->message);
  std::longjmp(manager->jump, 1);
}

extern "C" void SilentOutput(j_common_ptr) {}

}  // namespace

bool DecodeJpeg(const std::uint8_t* data, std::size_t size, RgbImage& image, std::string& error) {
  image = RgbImage{};
  if (data == nullptr || size < 4) {
    error = "not a JPEG picture";
    return false;
  }
  jpeg_decompress_struct cinfo{};
  ErrorManager manager{};
  cinfo.err = jpeg_std_error(&manager.base);
  manager.base.error_exit = ErrorExit;
  manager.base.output_message = SilentOutput;
  std::vector<std::uint8_t>& pixels = image.rgb;
  JSAMPROW row[1] = {nullptr};

  if (setjmp(manager.jump) != 0) {
    jpeg_destroy_decompress(&cinfo);
    error = manager.message;
    pixels.clear();
    image.width = image.height = 0;
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  if (cinfo.image_width == 0 || cinfo.image_height == 0 ||
      cinfo.image_width > static_cast<JDIMENSION>(kMaxJpegSide) ||
      cinfo.image_height > static_cast<JDIMENSION>(kMaxJpegSide)) {
    jpeg_destroy_decompress(&cinfo);
    error = "picture size out of range";
    return false;
  }
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  const std::size_t stride = std::size_t(cinfo.output_width) * 3;
  pixels.resize(stride * cinfo.output_height);
  while (cinfo.output_scanline < cinfo.output_height) {
    row[0] = pixels.data() + stride * cinfo.output_scanline;
    jpeg_read_scanlines(&cinfo, row, 1);
  }
  image.width = static_cast<int>(cinfo.output_width);
  image.height = static_cast<int>(cinfo.output_height);
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

}  // namespace w32ui
