#pragma once
// The program's pictures, loaded from the executable's resources, and which
// picture each picture control shows.
#include <string>

#include "ui/component.h"
#include "ui/form.h"
#include "ui/win32/win_handles.h"

namespace w32ui {

enum class Picture {
  None,
  Background,
  MinimizeNormal,
  MinimizeHover,
  MinimizePressed,
  CloseNormal,
  CloseHover,
  ClosePressed,
  AboutBanner,
  ProductIcon,  // drawn from the icon resource, not a bitmap
};

// The pictures of one control: normal, under the pointer, pressed.
struct PictureSet {
  Picture normal = Picture::None;
  Picture hover = Picture::None;
  Picture pressed = Picture::None;
};

// Which pictures a picture control (image, hover picture, image button)
// shows. The layouts name no pictures, so the controls are recognised by
// form and name, and by size where a name is ambiguous.
PictureSet PicturesFor(const hv::ui::Form& form, const hv::ui::Control& control);

// Loaded on first use; a missing or unreadable resource gives null, and the
// toolkit then draws a plain substitute.
class PictureStore {
 public:
  PictureStore() = default;
  PictureStore(const PictureStore&) = delete;
  PictureStore& operator=(const PictureStore&) = delete;

  HBITMAP Bitmap(Picture picture);
  // The product icon at a size (16, 32, 48).
  HICON Icon(int size);
  // Why the background picture could not be loaded (empty when it could).
  const std::string& BackgroundError() const { return backgroundError_; }

 private:
  static constexpr int kCount = static_cast<int>(Picture::ProductIcon) + 1;
  UniqueBitmap bitmaps_[kCount];
  bool tried_[kCount] = {};
  UniqueIcon icons_[3];
  std::string backgroundError_;
};

// Draws `picture` into `target` (stretched to it when the sizes differ).
// False when the picture is missing.
bool DrawPicture(HDC dc, PictureStore& store, Picture picture, const RECT& target);

}  // namespace w32ui
