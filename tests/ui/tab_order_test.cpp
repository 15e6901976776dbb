#include "ui/tab_order.h"

#include <gtest/gtest.h>

#include "ui/console/console_toolkit.h"

namespace hv::ui {
namespace {

TEST(TabOrderTest, RowsFromTheTopEachLeftToRight) {
  console::ConsoleOptions options;
  options.singleInstance = false;
  console::ConsoleToolkit tk(options);
  Form form(tk, "frmTabs", nullptr);
  auto& group = form.Add<Control>(Kind::GroupBox, "gb");
  group.SetBounds({8, 8, 300, 100});
  auto& no = form.Add<Control>(Kind::SkinButton, "bNo", &group);
  no.SetBounds({157, 49, 80, 24});
  auto& yes = form.Add<Control>(Kind::SkinButton, "bYes", &group);
  yes.SetBounds({45, 52, 80, 24});  // a few pixels lower: the same row
  auto& ask = form.Add<Control>(Kind::CheckBox, "cbAsk");
  ask.SetBounds({8, 166, 128, 19});
  auto& first = form.Add<Control>(Kind::CheckBox, "cbFirst");
  first.SetBounds({16, 16, 128, 19});
  EXPECT_EQ(VisualOrder({&ask, &no, &yes, &first}), (std::vector<const Control*>{&first, &yes, &no, &ask}));
  EXPECT_TRUE(VisualOrder({}).empty());
}

}  // namespace
}  // namespace hv::ui
