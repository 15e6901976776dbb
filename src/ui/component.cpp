#include "ui/component.h"

#include "ui/form.h"

namespace hv::ui {

const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::Label: return "Label";
    case Kind::Button: return "Button";
    case Kind::SkinButton: return "SkinButton";
    case Kind::FlatButton: return "FlatButton";
    case Kind::CheckBox: return "CheckBox";
    case Kind::GroupBox: return "GroupBox";
    case Kind::SkinGroupBox: return "SkinGroupBox";
    case Kind::Panel: return "Panel";
    case Kind::ImagePanel: return "ImagePanel";
    case Kind::UrlLabel: return "UrlLabel";
    case Kind::Image: return "Image";
    case Kind::HoverImage: return "HoverImage";
    case Kind::ImageButton: return "ImageButton";
    case Kind::ListView: return "ListView";
    case Kind::Memo: return "Memo";
    case Kind::ProgressBar: return "ProgressBar";
    case Kind::Timer: return "Timer";
    case Kind::PopupMenu: return "PopupMenu";
    case Kind::MenuItem: return "MenuItem";
  }
  return "?";
}

Component::Component(Form& owner, Kind kind, std::string name)
    : owner_(owner), kind_(kind), name_(std::move(name)) {}

void Component::Changed() { owner_.Changed(this); }

Control::Control(Form& owner, Kind kind, std::string name, Control* parent)
    : Component(owner, kind, std::move(name)), parent_(parent) {}

void Control::SetBounds(Rect bounds) {
  if (bounds_ == bounds) return;
  bounds_ = bounds;
  Changed();
}
void Control::SetLeft(int left) { SetBounds({left, bounds_.top, bounds_.width, bounds_.height}); }
void Control::SetTop(int top) { SetBounds({bounds_.left, top, bounds_.width, bounds_.height}); }
void Control::SetWidth(int width) { SetBounds({bounds_.left, bounds_.top, width, bounds_.height}); }

Rect Control::FormBounds() const {
  Rect r = bounds_;
  for (const Control* p = parent_; p != nullptr; p = p->Parent()) {
    r.left += p->Left();
    r.top += p->Top();
  }
  return r;
}

void Control::SetCaption(std::string caption) {
  if (caption_ == caption) return;
  caption_ = std::move(caption);
  Changed();
}
void Control::SetHint(std::string hint) {
  hint_ = std::move(hint);
  Changed();
}
void Control::SetShowHint(bool show) { showHint_ = show; }
void Control::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  Changed();
}
void Control::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  Changed();
}
bool Control::Showing() const {
  for (const Control* c = this; c != nullptr; c = c->Parent()) {
    if (!c->Visible()) return false;
  }
  return true;
}

bool Control::EnabledWithParents() const {
  for (const Control* c = this; c != nullptr; c = c->Parent()) {
    if (!c->Enabled()) return false;
  }
  return true;
}

void Control::Click() {
  if (modalResult_ != kMrNone) Owner().SetModalResult(modalResult_);
  if (OnClick) OnClick();
}

CheckBox::CheckBox(Form& owner, std::string name, Control* parent)
    : Control(owner, Kind::CheckBox, std::move(name), parent) {}
void CheckBox::SetChecked(bool checked) {
  if (checked_ == checked) return;
  checked_ = checked;
  Changed();
}
void CheckBox::Click() {
  SetChecked(!checked_);
  Control::Click();
}

LinkLabel::LinkLabel(Form& owner, std::string name, Control* parent)
    : Control(owner, Kind::UrlLabel, std::move(name), parent) {}
void LinkLabel::SetFontColor(std::uint32_t color) {
  fontColor_ = color;
  Changed();
}

ListView::ListView(Form& owner, std::string name, Control* parent)
    : Control(owner, Kind::ListView, std::move(name), parent) {}
void ListView::AddColumn(ListColumn column) {
  columns_.push_back(std::move(column));
  Changed();
}
void ListView::SetColumnCaption(std::size_t index, std::string caption) {
  if (index >= columns_.size()) return;
  columns_[index].caption = std::move(caption);
  Changed();
}
std::size_t ListView::AddRow(std::string caption, std::vector<std::string> subItems) {
  rows_.push_back({std::move(caption), std::move(subItems), {}});
  Changed();
  return rows_.size() - 1;
}
void ListView::SetSubItem(std::size_t row, std::size_t subItem, std::string text) {
  if (row >= rows_.size()) return;
  auto& items = rows_[row].subItems;
  if (subItem >= items.size()) items.resize(subItem + 1);
  items[subItem] = std::move(text);
  Changed();
}
void ListView::SetRowTip(std::size_t row, std::string tip) {
  if (row >= rows_.size()) return;
  rows_[row].tip = std::move(tip);
  Changed();
}
void ListView::ClearRows() {
  rows_.clear();
  Changed();
}
void ListView::SetGridLines(bool on) {
  gridLines_ = on;
  Changed();
}

Memo::Memo(Form& owner, std::string name, Control* parent)
    : Control(owner, Kind::Memo, std::move(name), parent) {}

ProgressBar::ProgressBar(Form& owner, std::string name, Control* parent)
    : Control(owner, Kind::ProgressBar, std::move(name), parent) {}
void ProgressBar::SetRange(int min, int max) {
  min_ = min;
  max_ = max;
  Changed();
}
void ProgressBar::SetPosition(int position) {
  if (position_ == position) return;
  position_ = position;
  Changed();
}
std::string ProgressBar::PercentText() const {
  const long long span = static_cast<long long>(max_) - min_;
  if (span <= 0) return "0%";
  const long long percent = (static_cast<long long>(position_) - min_) * 100 / span;
  return std::to_string(percent) + "%";
}

Timer::Timer(Form& owner, std::string name) : Component(owner, Kind::Timer, std::move(name)) {}
void Timer::SetInterval(int ms) {
  interval_ = ms;
  Changed();
}
void Timer::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  Changed();
}

PopupMenu::PopupMenu(Form& owner, std::string name)
    : Component(owner, Kind::PopupMenu, std::move(name)) {}

MenuItem::MenuItem(Form& owner, std::string name, PopupMenu& menu)
    : Component(owner, Kind::MenuItem, std::move(name)), menu_(menu) {
  menu_.Add(*this);
}
void MenuItem::SetCaption(std::string caption) {
  caption_ = std::move(caption);
  Changed();
}
void MenuItem::SetChecked(bool checked) {
  checked_ = checked;
  Changed();
}
void MenuItem::SetEnabled(bool enabled) {
  enabled_ = enabled;
  Changed();
}
void MenuItem::SetVisible(bool visible) {
  visible_ = visible;
  Changed();
}
void MenuItem::Click() {
  if (OnClick) OnClick();
}

}  // namespace hv::ui
