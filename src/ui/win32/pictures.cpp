#include "ui/win32/pictures.h"

#include <cstdlib>

#include "resources/win32/resource_ids.h"
#include "ui/win32/jpeg_decode.h"

namespace w32ui {
namespace {

HINSTANCE Module() { return ::GetModuleHandleA(nullptr); }

int BitmapResource(Picture picture) {
  switch (picture) {
    case Picture::MinimizeNormal: return HV_IDB_MINIMIZE_NORMAL;
    case Picture::MinimizeHover: return HV_IDB_MINIMIZE_HOVER;
    case Picture::MinimizePressed: return HV_IDB_MINIMIZE_PRESSED;
    case Picture::CloseNormal: return HV_IDB_CLOSE_NORMAL;
    case Picture::CloseHover: return HV_IDB_CLOSE_HOVER;
    case Picture::ClosePressed: return HV_IDB_CLOSE_PRESSED;
    case Picture::AboutBanner: return HV_IDB_ABOUT_BANNER;
    default: return 0;
  }
}

// The JPEG resource decoded into a top-down 24-bit DIB section.
HBITMAP LoadJpegResource(int id, std::string& error) {
  HRSRC info = ::FindResourceA(Module(), MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(10) /* RT_RCDATA */);
  if (info == nullptr) {
    error = "picture resource missing";
    return nullptr;
  }
  HGLOBAL loaded = ::LoadResource(Module(), info);
  const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  const DWORD size = ::SizeofResource(Module(), info);
  RgbImage image;
  if (bytes == nullptr || !DecodeJpeg(static_cast<const std::uint8_t*>(bytes), size, image, error)) {
    if (error.empty()) error = "picture resource unreadable";
    return nullptr;
  }
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof(bmi.bmiHeader);
  bmi.bmiHeader.biWidth = image.width;
  bmi.bmiHeader.biHeight = -image.height;
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 24;
  bmi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr || bits == nullptr) {
    error = "out of memory for the picture";
    if (bitmap != nullptr) ::DeleteObject(bitmap);
    return nullptr;
  }
  const std::size_t stride = (std::size_t(image.width) * 3 + 3) & ~std::size_t(3);
  auto* out = static_cast<std::uint8_t*>(bits);
  for (int y = 0; y < image.height; ++y) {
    const std::uint8_t* src = image.rgb.data() + std::size_t(y) * image.width * 3;
    std::uint8_t* dst = out + std::size_t(y) * stride;
    for (int x = 0; x < image.width; ++x) {
      dst[x * 3] = src[x * 3 + 2];
      dst[x * 3 + 1] = src[x * 3 + 1];
      dst[x * 3 + 2] = src[x * 3];
    }
  }
  ::GdiFlush();
  return bitmap;
}

bool IsAboutForm(const hv::ui::Form& form) { return form.Name() == "frmAbout"; }

}  // namespace

PictureSet PicturesFor(const hv::ui::Form& form, const hv::ui::Control& control) {
  using hv::ui::Kind;
  const std::string& name = control.Name();
  switch (control.GetKind()) {
    case Kind::ImageButton:
      if (name == "bMinimize") {
        return {Picture::MinimizeNormal, Picture::MinimizeHover, Picture::MinimizePressed};
      }
      break;
    case Kind::HoverImage:
      if (name == "bClose") return {Picture::CloseNormal, Picture::CloseHover, Picture::CloseHover};
      break;
    case Kind::Image: {
      Picture p = Picture::None;
      if (IsAboutForm(form)) {
        p = name == "Image2" ? Picture::AboutBanner : name == "Image1" ? Picture::ProductIcon : p;
      } else if (name == "Image1" && control.Width() >= 300 && control.Height() >= 300) {
        p = Picture::Background;
      }
      return {p, p, p};
    }
    default:
      break;
  }
  return {};
}

HBITMAP PictureStore::Bitmap(Picture picture) {
  const int index = static_cast<int>(picture);
  if (picture == Picture::None || picture == Picture::ProductIcon) return nullptr;
  if (!tried_[index]) {
    tried_[index] = true;
    if (picture == Picture::Background) {
      bitmaps_[index].reset(LoadJpegResource(HV_IDR_BACKGROUND_JPEG, backgroundError_));
    } else {
      bitmaps_[index].reset(static_cast<HBITMAP>(::LoadImageA(
          Module(), MAKEINTRESOURCEA(BitmapResource(picture)), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    }
  }
  return bitmaps_[index].get();
}

HICON PictureStore::Icon(int size) {
  const int slot = size <= 16 ? 0 : size <= 32 ? 1 : 2;
  const int pixels = slot == 0 ? 16 : slot == 1 ? 32 : 48;
  if (!icons_[slot]) {
    icons_[slot].reset(static_cast<HICON>(
        ::LoadImageA(Module(), MAKEINTRESOURCEA(HV_IDI_MAIN), IMAGE_ICON, pixels, pixels, 0)));
  }
  return icons_[slot].get();
}

bool DrawPicture(HDC dc, PictureStore& store, Picture picture, const RECT& target) {
  const int w = target.right - target.left, h = target.bottom - target.top;
  if (picture == Picture::ProductIcon) {
    HICON icon = store.Icon(w);
    return icon != nullptr && ::DrawIconEx(dc, target.left, target.top, icon, w, h, 0, nullptr, DI_NORMAL);
  }
  HBITMAP bitmap = store.Bitmap(picture);
  if (bitmap == nullptr) return false;
  BITMAP info{};
  ::GetObjectA(bitmap, sizeof(info), &info);
  UniqueMemoryDc source(::CreateCompatibleDC(dc));
  Selected selected(source.get(), bitmap);
  if (info.bmWidth == w && info.bmHeight == h) {
    ::BitBlt(dc, target.left, target.top, w, h, source.get(), 0, 0, SRCCOPY);
  } else {
    // The picture keeps its scale where the control is larger only by a
    // row or column (the main window shows 392 of the background's 393 rows).
    const int sw = std::abs(info.bmWidth - w) <= 1 ? w : info.bmWidth;
    const int sh = std::abs(info.bmHeight - h) <= 1 ? h : info.bmHeight;
    ::SetStretchBltMode(dc, HALFTONE);
    ::SetBrushOrgEx(dc, 0, 0, nullptr);
    ::StretchBlt(dc, target.left, target.top, w, h, source.get(), 0, 0, sw, sh, SRCCOPY);
  }
  return true;
}

}  // namespace w32ui
