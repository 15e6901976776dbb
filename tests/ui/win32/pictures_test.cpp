// Which picture each picture control shows, and that every picture is there
// in the executable's resources.
#include <gtest/gtest.h>

#include "ui/component.h"
#include "ui/form.h"
#include "ui/win32/pictures.h"
#include "ui/win32/win32_toolkit.h"

namespace {

using hv::ui::Control;
using hv::ui::Kind;
using w32ui::Picture;
using w32ui::PicturesFor;

class PicturesTest : public ::testing::Test {
 protected:
  hv::ui::Win32Toolkit tk;
};

TEST_F(PicturesTest, ControlsAreRecognisedByFormNameAndSize) {
  hv::ui::Form main(tk, "frmMain", nullptr);
  auto& background = main.Add<Control>(Kind::Image, "Image1");
  background.SetBounds({0, 0, 556, 393});
  auto& minimize = main.Add<Control>(Kind::ImageButton, "bMinimize");
  auto& close = main.Add<Control>(Kind::HoverImage, "bClose");
  auto& other = main.Add<Control>(Kind::Image, "Image7");
  auto& small = main.Add<Control>(Kind::Image, "Image1");  // a small Image1 is no background
  small.SetBounds({0, 0, 32, 32});

  EXPECT_EQ(PicturesFor(main, background).normal, Picture::Background);
  const auto m = PicturesFor(main, minimize);
  EXPECT_EQ(m.normal, Picture::MinimizeNormal);
  EXPECT_EQ(m.hover, Picture::MinimizeHover);
  EXPECT_EQ(m.pressed, Picture::MinimizePressed);
  const auto c = PicturesFor(main, close);
  EXPECT_EQ(c.normal, Picture::CloseNormal);
  EXPECT_EQ(c.hover, Picture::CloseHover);
  EXPECT_EQ(c.pressed, Picture::CloseHover);  // pressed shows the hover picture, shifted
  EXPECT_EQ(PicturesFor(main, other).normal, Picture::None);
  EXPECT_EQ(PicturesFor(main, small).normal, Picture::None);

  hv::ui::Form about(tk, "frmAbout", &main);
  auto& banner = about.Add<Control>(Kind::Image, "Image2");
  auto& icon = about.Add<Control>(Kind::Image, "Image1");
  icon.SetBounds({20, 61, 32, 32});
  EXPECT_EQ(PicturesFor(about, banner).normal, Picture::AboutBanner);
  EXPECT_EQ(PicturesFor(about, icon).normal, Picture::ProductIcon);
}

TEST_F(PicturesTest, EveryPictureLoadsFromTheResources) {
  w32ui::PictureStore store;
  for (Picture p : {Picture::Background, Picture::MinimizeNormal, Picture::MinimizeHover,
                    Picture::MinimizePressed, Picture::CloseNormal, Picture::CloseHover,
                    Picture::ClosePressed, Picture::AboutBanner}) {
    EXPECT_NE(store.Bitmap(p), nullptr) << "picture " << static_cast<int>(p);
  }
  EXPECT_TRUE(store.BackgroundError().empty()) << store.BackgroundError();
  for (int size : {16, 32, 48}) EXPECT_NE(store.Icon(size), nullptr) << size;
  EXPECT_EQ(store.Bitmap(Picture::None), nullptr);

  BITMAP info{};
  ASSERT_NE(::GetObjectA(store.Bitmap(Picture::Background), sizeof(info), &info), 0);
  EXPECT_EQ(info.bmWidth, 556);
  EXPECT_EQ(info.bmHeight, 393);
  ASSERT_NE(::GetObjectA(store.Bitmap(Picture::AboutBanner), sizeof(info), &info), 0);
  EXPECT_EQ(info.bmWidth, 360);
  EXPECT_EQ(info.bmHeight, 50);
  ASSERT_NE(::GetObjectA(store.Bitmap(Picture::CloseHover), sizeof(info), &info), 0);
  EXPECT_EQ(info.bmWidth, 24);
  EXPECT_EQ(info.bmHeight, 24);
}

}  // namespace
