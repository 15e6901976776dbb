// Draws the program's pictures: the main window's background (JPEG), the
// product icon (16 to 256 px), the minimise and close buttons (24 x 24 BMPs)
// and the About banner. A host tool, run by scripts/make-pictures; its output
// is committed beside it so that builds need no host compiler step.
//
// Shapes are drawn with signed distance functions and one pixel of coverage
// ramp, which gives anti-aliased edges without a graphics library.
//
// The button pictures are composed over the very pixels of the background
// where the main window shows them, so they need no transparency.
// jpeglib.h needs size_t and FILE declared before it.
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Rgb {
  double r, g, b;
};

Rgb Hex(unsigned v) { return {((v >> 16) & 255) / 255.0, ((v >> 8) & 255) / 255.0, (v & 255) / 255.0}; }
Rgb Mix(Rgb a, Rgb b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// Straight RGB canvas plus an alpha channel for the icon.
struct Canvas {
  int w, h;
  std::vector<Rgb> px;
  std::vector<double> alpha;
  Canvas(int width, int height, Rgb fill, double a = 1.0)
      : w(width), h(height), px(std::size_t(width) * height, fill), alpha(px.size(), a) {}
  Rgb& at(int x, int y) { return px[std::size_t(y) * w + x]; }

  // Composites `color` with coverage from a signed distance (negative inside).
  void Fill(const std::function<double(double, double)>& sdf,
            const std::function<Rgb(double, double)>& color, double opacity = 1.0) {
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const double cx = x + 0.5, cy = y + 0.5;
        const double d = sdf(cx, cy);
        const double cover = std::clamp(0.5 - d, 0.0, 1.0) * opacity;
        if (cover <= 0) continue;
        const std::size_t i = std::size_t(y) * w + x;
        px[i] = Mix(px[i], color(cx, cy), alpha[i] > 0 ? cover : 1.0);
        alpha[i] = alpha[i] + cover * (1 - alpha[i]);
      }
    }
  }
  void Fill(const std::function<double(double, double)>& sdf, Rgb color, double opacity = 1.0) {
    Fill(sdf, [color](double, double) { return color; }, opacity);
  }
};

// --- Signed distances.
auto RoundRect(double x0, double y0, double x1, double y1, double r) {
  return [=](double x, double y) {
    const double cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
    const double hx = (x1 - x0) / 2 - r, hy = (y1 - y0) / 2 - r;
    const double qx = std::abs(x - cx) - hx, qy = std::abs(y - cy) - hy;
    const double ox = std::max(qx, 0.0), oy = std::max(qy, 0.0);
    return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0) - r;
  };
}
auto Rect(double x0, double y0, double x1, double y1) { return RoundRect(x0, y0, x1, y1, 0); }
auto Segment(double ax, double ay, double bx, double by, double radius) {
  return [=](double x, double y) {
    const double px = x - ax, py = y - ay, dx = bx - ax, dy = by - ay;
    const double t = std::clamp((px * dx + py * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    const double ex = px - dx * t, ey = py - dy * t;
    return std::sqrt(ex * ex + ey * ey) - radius;
  };
}
// A hexagon standing on a vertex, centre (cx, cy), circumradius r.
auto Hexagon(double cx, double cy, double r) {
  return [=](double x, double y) {
    const double kx = -0.866025404, ky = 0.5, kz = 0.577350269;
    double px = std::abs(y - cy), py = std::abs(x - cx);
    const double dot = std::min(kx * px + ky * py, 0.0);
    px -= 2 * dot * kx;
    py -= 2 * dot * ky;
    const double inner = r * 0.866025404;
    const double clampx = std::clamp(px, -kz * inner, kz * inner);
    const double dx = px - clampx, dy = py - inner;
    return std::sqrt(dx * dx + dy * dy) * (dy < 0 ? -1 : 1);
  };
}
auto Ring(std::function<double(double, double)> sdf, double width) {
  return [=](double x, double y) { return std::abs(sdf(x, y)) - width / 2; };
}

// --- The product mark: a hexagon cell holding three bars of decreasing
// length, the hive grown compact.
void DrawMark(Canvas& c, double cx, double cy, double r) {
  const Rgb top = Hex(0x3B8FE8), bottom = Hex(0x1B4F9C);
  c.Fill(Hexagon(cx, cy, r), [&](double, double y) {
    return Mix(top, bottom, std::clamp((y - (cy - r)) / (2 * r), 0.0, 1.0));
  });
  c.Fill(Ring(Hexagon(cx, cy, r - std::max(0.6, r * 0.06)), std::max(0.5, r * 0.05)), Hex(0x8CC4FF), 0.55);
  const double bar = std::max(1.2, r * 0.17);
  const double lengths[] = {1.05, 0.78, 0.5};
  for (int i = 0; i < 3; ++i) {
    const double y = cy + (i - 1) * r * 0.36;
    const double half = r * lengths[i] * 0.5;
    c.Fill(Segment(cx - half, y, cx + half, y, bar / 2), Hex(0xFFFFFF));
  }
}

// --- The main window's background, 556 x 393.
constexpr int kBgW = 556, kBgH = 393;
constexpr int kHeader = 56;  // header band height
constexpr int kPanel = 112;  // left panel band width: the flat buttons reach x 111

Canvas DrawBackground() {
  Canvas c(kBgW, kBgH, Hex(0xFFFFFF));
  // Body: soft vertical gradient.
  c.Fill(Rect(0, 0, kBgW, kBgH), [](double, double y) {
    return Mix(Hex(0xF7F9FC), Hex(0xE8EDF4), y / kBgH);
  });
  // Header band with a faint highlight and a separator.
  c.Fill(Rect(0, 0, kBgW, kHeader), [](double, double y) {
    return Mix(Hex(0xFFFFFF), Hex(0xDCE7F5), y / kHeader);
  });
  for (int i = 0; i < 7; ++i) {  // faint cells trailing off to the right
    const double cx = 250 + i * 27.0, cy = i % 2 ? 22.0 : 37.0;
    c.Fill(Ring(Hexagon(cx, cy, 13), 1.2), Hex(0x7FA7D9), 0.10 + 0.02 * (6 - i));
  }
  c.Fill(Rect(0, 0, kBgW, 4), [](double x, double) { return Mix(Hex(0x1E5AA8), Hex(0x4AA3DF), x / kBgW); });
  c.Fill(Rect(0, kHeader - 1, kBgW, kHeader), Hex(0xB6C6DC));
  // Left panel band.
  c.Fill(Rect(0, kHeader, kPanel, kBgH), [](double, double y) {
    return Mix(Hex(0xE6EDF7), Hex(0xD5E0EE), (y - kHeader) / (kBgH - kHeader));
  });
  c.Fill(Rect(kPanel - 1, kHeader, kPanel, kBgH), Hex(0xC2D0E3));
  // Separators above the totals and between the totals and the step hint.
  c.Fill(Rect(116, 305, 545, 306), [](double x, double) {
    return Mix(Hex(0xB9C8DC), Hex(0xE8EDF4), std::clamp((x - 400) / 145, 0.0, 1.0));
  });
  c.Fill(Rect(333, 312, 334, 380), Hex(0xCCD7E6));
  // Window frame.
  const Rgb frame = Hex(0x56749E);
  c.Fill(Rect(0, 0, kBgW, 1), frame);
  c.Fill(Rect(0, kBgH - 2, kBgW, kBgH), frame);  // the window shows 392 rows
  c.Fill(Rect(0, 0, 1, kBgH), frame);
  c.Fill(Rect(kBgW - 1, 0, kBgW, kBgH), frame);
  return c;
}

Canvas Crop(Canvas& src, int x0, int y0, int w, int h) {
  Canvas c(w, h, Hex(0));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) c.at(x, y) = src.at(x0 + x, y0 + y);
  return c;
}

enum class State { Normal, Hover, Pressed };

Canvas DrawMinimize(Canvas& bg, State s) {
  Canvas c = Crop(bg, 488, 9, 24, 24);
  if (s != State::Normal) {
    c.Fill(RoundRect(1.5, 1.5, 22.5, 22.5, 4), Hex(s == State::Hover ? 0x9DB8DC : 0x6F93C4));
    c.Fill(RoundRect(2.5, 2.5, 21.5, 21.5, 3.5), Hex(s == State::Hover ? 0xE3EDFA : 0xC3D6EF));
  }
  const double dy = s == State::Pressed ? 1 : 0;
  c.Fill(Segment(7, 15.5 + dy, 17, 15.5 + dy, 1.1), Hex(0x2C3E55));
  return c;
}

Canvas DrawClose(Canvas& bg, State s) {
  Canvas c = Crop(bg, 517, 9, 24, 24);
  Rgb glyph = Hex(0x2C3E55);
  if (s != State::Normal) {
    c.Fill(RoundRect(1.5, 1.5, 22.5, 22.5, 4), Hex(s == State::Hover ? 0xD93A3F : 0xB02A2F));
    glyph = Hex(0xFFFFFF);
  }
  c.Fill(Segment(7.5, 7.5, 16.5, 16.5, 1.1), glyph);
  c.Fill(Segment(16.5, 7.5, 7.5, 16.5, 1.1), glyph);
  return c;
}

Canvas DrawBanner() {
  Canvas c(360, 50, Hex(0));
  c.Fill(Rect(0, 0, 360, 50), [](double x, double y) {
    return Mix(Mix(Hex(0x1E5AA8), Hex(0x4AA3DF), x / 360), Hex(0x17457F), y / 50 * 0.35);
  });
  for (int i = 0; i < 9; ++i) {
    const double cx = 200 + i * 22.0, cy = i % 2 ? 16.0 : 32.0;
    c.Fill(Ring(Hexagon(cx, cy, 11), 1.3), Hex(0xFFFFFF), 0.08 + 0.02 * i);
  }
  c.Fill(Hexagon(34, 25, 18), Hex(0xFFFFFF), 0.18);
  DrawMark(c, 34, 25, 15);
  c.Fill(Rect(0, 48, 360, 50), Hex(0x0F3566), 0.6);
  return c;
}

std::uint8_t Byte(double v) { return std::uint8_t(std::lround(std::clamp(v, 0.0, 1.0) * 255)); }

void WriteJpeg(const Canvas& c, const std::string& path, int quality) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot write " + path);
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr jerr{};
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, f);
  cinfo.image_width = JDIMENSION(c.w);
  cinfo.image_height = JDIMENSION(c.h);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  cinfo.optimize_coding = TRUE;
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<std::uint8_t> row(std::size_t(c.w) * 3);
  while (cinfo.next_scanline < cinfo.image_height) {
    for (int x = 0; x < c.w; ++x) {
      const Rgb& p = c.px[std::size_t(cinfo.next_scanline) * c.w + x];
      row[std::size_t(x) * 3] = Byte(p.r);
      row[std::size_t(x) * 3 + 1] = Byte(p.g);
      row[std::size_t(x) * 3 + 2] = Byte(p.b);
    }
    JSAMPROW rows[] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::fclose(f);
}

void Put16(std::string& s, unsigned v) { s += char(v & 255); s += char((v >> 8) & 255); }
void Put32(std::string& s, std::uint32_t v) { Put16(s, v & 0xFFFF); Put16(s, v >> 16); }

// BITMAPINFOHEADER; for an icon image the height counts the mask too.
void PutInfoHeader(std::string& s, int w, int h, int bits, std::uint32_t imageSize) {
  Put32(s, 40); Put32(s, std::uint32_t(w)); Put32(s, std::uint32_t(h));
  Put16(s, 1); Put16(s, unsigned(bits)); Put32(s, 0); Put32(s, imageSize);
  Put32(s, 2835); Put32(s, 2835); Put32(s, 0); Put32(s, 0);
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), std::streamsize(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

// 24-bit bottom-up BMP.
void WriteBmp(const Canvas& c, const std::string& path) {
  const int stride = (c.w * 3 + 3) & ~3;
  const std::uint32_t image = std::uint32_t(stride * c.h);
  std::string s = "BM";
  Put32(s, 14 + 40 + image); Put32(s, 0); Put32(s, 14 + 40);
  PutInfoHeader(s, c.w, c.h, 24, image);
  for (int y = c.h - 1; y >= 0; --y) {
    std::string row;
    for (int x = 0; x < c.w; ++x) {
      const Rgb& p = c.px[std::size_t(y) * c.w + x];
      row += char(Byte(p.b)); row += char(Byte(p.g)); row += char(Byte(p.r));
    }
    row.resize(std::size_t(stride), '\0');
    s += row;
  }
  WriteFile(path, s);
}

void PutBig32(std::string& s, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) s += char((v >> shift) & 255);
}

void PutPngChunk(std::string& s, const char* type, const std::string& data) {
  PutBig32(s, std::uint32_t(data.size()));
  const std::string body = std::string(type, 4) + data;
  s += body;
  PutBig32(s, std::uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))));
}

// A 32-bit RGBA PNG: what Windows (Vista and later) reads for a 256 px icon
// image, at a fraction of the size of a bitmap.
std::string PngOf(const Canvas& c) {
  std::string raw;
  for (int y = 0; y < c.h; ++y) {
    raw += '\0';  // filter: none
    for (int x = 0; x < c.w; ++x) {
      const std::size_t i = std::size_t(y) * c.w + x;
      raw += char(Byte(c.px[i].r)); raw += char(Byte(c.px[i].g)); raw += char(Byte(c.px[i].b));
      raw += char(Byte(c.alpha[i]));
    }
  }
  uLongf packedSize = compressBound(uLong(raw.size()));
  std::string packed(packedSize, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
                uLong(raw.size()), 9) != Z_OK)
    throw std::runtime_error("cannot compress a PNG image");
  packed.resize(packedSize);
  std::string header;
  PutBig32(header, std::uint32_t(c.w)); PutBig32(header, std::uint32_t(c.h));
  header += char(8); header += char(6); header += char(0); header += char(0); header += char(0);
  std::string s = "\x89PNG\r\n\x1a\n";
  PutPngChunk(s, "IHDR", header);
  PutPngChunk(s, "IDAT", packed);
  PutPngChunk(s, "IEND", "");
  return s;
}

// An .ico of 32-bit images with their AND masks; the 256 px image as a PNG.
void WriteIco(const std::vector<Canvas>& images, const std::string& path) {
  std::vector<std::string> blobs;
  for (const Canvas& c : images) {
    if (c.w >= 256) {
      blobs.push_back(PngOf(c));
      continue;
    }
    const int maskStride = ((c.w + 31) / 32) * 4;
    std::string b;
    PutInfoHeader(b, c.w, c.h * 2, 32, std::uint32_t(c.w * c.h * 4 + maskStride * c.h));
    for (int y = c.h - 1; y >= 0; --y)
      for (int x = 0; x < c.w; ++x) {
        const std::size_t i = std::size_t(y) * c.w + x;
        b += char(Byte(c.px[i].b)); b += char(Byte(c.px[i].g)); b += char(Byte(c.px[i].r));
        b += char(Byte(c.alpha[i]));
      }
    for (int y = c.h - 1; y >= 0; --y) {
      std::string row(std::size_t(maskStride), '\0');
      for (int x = 0; x < c.w; ++x)
        if (c.alpha[std::size_t(y) * c.w + x] < 0.5) row[std::size_t(x / 8)] |= char(0x80 >> (x % 8));
      b += row;
    }
    blobs.push_back(b);
  }
  std::string s;
  Put16(s, 0); Put16(s, 1); Put16(s, unsigned(images.size()));
  std::uint32_t offset = 6 + 16 * std::uint32_t(images.size());
  for (std::size_t i = 0; i < images.size(); ++i) {
    const int w = images[i].w, h = images[i].h;
    s += char(w >= 256 ? 0 : w); s += char(h >= 256 ? 0 : h); s += '\0'; s += '\0';
    Put16(s, 1); Put16(s, 32); Put32(s, std::uint32_t(blobs[i].size())); Put32(s, offset);
    offset += std::uint32_t(blobs[i].size());
  }
  for (const auto& b : blobs) s += b;
  WriteFile(path, s);
}

Canvas Icon(int size) {
  Canvas c(size, size, Hex(0xFFFFFF), 0.0);
  const double r = size * 0.47;
  DrawMark(c, size / 2.0, size / 2.0, r);
  return c;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_pictures <output folder>\n";
    return 2;
  }
  const std::string out = std::string(argv[1]) + "/";
  try {
    Canvas bg = DrawBackground();
    WriteJpeg(bg, out + "background.jpg", 90);
    WriteBmp(DrawMinimize(bg, State::Normal), out + "minimize_normal.bmp");
    WriteBmp(DrawMinimize(bg, State::Hover), out + "minimize_hover.bmp");
    WriteBmp(DrawMinimize(bg, State::Pressed), out + "minimize_pressed.bmp");
    WriteBmp(DrawClose(bg, State::Normal), out + "close_normal.bmp");
    WriteBmp(DrawClose(bg, State::Hover), out + "close_hover.bmp");
    WriteBmp(DrawClose(bg, State::Pressed), out + "close_pressed.bmp");
    WriteBmp(DrawBanner(), out + "about_banner.bmp");
    WriteIco({Icon(16), Icon(20), Icon(24), Icon(32), Icon(40), Icon(48), Icon(64), Icon(128), Icon(256)},
             out + "hivora.ico");
  } catch (const std::exception& e) {
    std::cerr << "make_pictures: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
