#pragma once
// The component model the forms are built from.
//
// A form owns its components in order; each has a name and a kind, and the
// visual ones geometry, caption, hint, ShowHint, visibility and enabled state.
// Portable logic (form translation, drag-point tests) walks this model; a
// toolkit realises it on screen and is told of every change through
// Form::Changed.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace hv::ui {

class Form;
class PopupMenu;

// What a component is. The translation rules and the drag test dispatch on it.
enum class Kind {
  Label,         // plain label
  Button,        // standard push button
  SkinButton,    // skinned push button
  FlatButton,    // flat speed button
  CheckBox,      // skinned check box
  GroupBox,      // standard group box
  SkinGroupBox,  // skinned group box
  Panel,         // panel (bevelled separator lines)
  ImagePanel,    // coloured line panel
  UrlLabel,      // link label
  Image,         // picture
  HoverImage,    // picture that changes under the pointer (a kind of Image)
  ImageButton,   // button drawn from three pictures
  ListView,
  Memo,
  ProgressBar,
  Timer,
  PopupMenu,
  MenuItem,
};

const char* KindName(Kind kind);

struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct Point {
  int x = 0;
  int y = 0;
};

enum class Align { Left, Right, Center };

// Base of everything a form owns.
class Component {
 public:
  Component(Form& owner, Kind kind, std::string name);
  virtual ~Component() = default;
  Component(const Component&) = delete;
  Component& operator=(const Component&) = delete;

  Form& Owner() const { return owner_; }
  Kind GetKind() const { return kind_; }
  const std::string& Name() const { return name_; }

 protected:
  // Tells the toolkit that something shown changed.
  void Changed();

 private:
  Form& owner_;
  Kind kind_;
  std::string name_;
};

// A visible component: geometry relative to its parent control (or the form's
// client area), caption, hint, visibility, enabled state, click handler.
class Control : public Component {
 public:
  Control(Form& owner, Kind kind, std::string name, Control* parent = nullptr);

  Control* Parent() const { return parent_; }

  const Rect& Bounds() const { return bounds_; }
  void SetBounds(Rect bounds);
  int Left() const { return bounds_.left; }
  int Top() const { return bounds_.top; }
  int Width() const { return bounds_.width; }
  int Height() const { return bounds_.height; }
  void SetLeft(int left);
  void SetTop(int top);
  void SetWidth(int width);
  // Position within the form's client area (parents' offsets added).
  Rect FormBounds() const;

  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption);
  const std::string& Hint() const { return hint_; }
  void SetHint(std::string hint);
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool show);
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  // Visible, and so are all its parents.
  bool Showing() const;
  // Enabled, and so are all its parents.
  bool EnabledWithParents() const;
  // Visible and enabled, and so are all its parents.
  bool Usable() const { return Showing() && EnabledWithParents(); }

  // The pop-up menu a right click on the control opens (null: none).
  PopupMenu* ContextMenu() const { return contextMenu_; }
  void SetContextMenu(PopupMenu* menu) { contextMenu_ = menu; }

  // Look: bold text, text alignment, hand cursor, the skin style name
  // ("WinXP", "BlueGlass", "DeepBlue"), a border colour (flat buttons).
  bool Bold() const { return bold_; }
  void SetBold(bool bold) { bold_ = bold; }
  // The text's own height in the form's font face (pixels, negative: the
  // character height); 0: the form's height.
  int FontHeight() const { return fontHeight_; }
  void SetFontHeight(int height) { fontHeight_ = height; }
  Align Alignment() const { return align_; }
  void SetAlignment(Align align) { align_ = align; }
  bool HandCursor() const { return handCursor_; }
  void SetHandCursor(bool hand) { handCursor_ = hand; }
  const std::string& Style() const { return style_; }
  void SetStyle(std::string style) { style_ = std::move(style); }
  std::uint32_t BorderColor() const { return borderColor_; }
  void SetBorderColor(std::uint32_t color) { borderColor_ = color; }
  int TabOrder() const { return tabOrder_; }
  void SetTabOrder(int order) { tabOrder_ = order; }

  // Buttons: the one Enter presses when the focus is on no button (at most
  // one per form), and the one Escape presses.
  bool Default() const { return default_; }
  void SetDefault(bool isDefault) { default_ = isDefault; }
  bool Cancel() const { return cancel_; }
  void SetCancel(bool isCancel) { cancel_ = isCancel; }

  // Buttons: the modal result a click gives the form (0: none).
  int ModalResult() const { return modalResult_; }
  void SetModalResult(int result) { modalResult_ = result; }

  std::function<void()> OnClick;
  // What a click does: a check box toggles first; the button's modal result
  // (if any) is given to the form, then OnClick runs, so that a handler can
  // still take the result back (SetModalResult(kMrNone)) to keep a dialog open.
  virtual void Click();

 private:
  Control* parent_;
  Rect bounds_;
  std::string caption_;
  std::string hint_;
  bool showHint_ = false;
  bool visible_ = true;
  bool enabled_ = true;
  bool bold_ = false;
  int fontHeight_ = 0;
  Align align_ = Align::Left;
  bool handCursor_ = false;
  std::string style_;
  std::uint32_t borderColor_ = 0;
  int tabOrder_ = 0;
  int modalResult_ = 0;
  bool default_ = false;
  bool cancel_ = false;
  PopupMenu* contextMenu_ = nullptr;
};

class CheckBox : public Control {
 public:
  CheckBox(Form& owner, std::string name, Control* parent = nullptr);
  bool Checked() const { return checked_; }
  void SetChecked(bool checked);
  void Click() override;

 private:
  bool checked_ = false;
};

class LinkLabel : public Control {
 public:
  LinkLabel(Form& owner, std::string name, Control* parent = nullptr);
  // Target address opened on a click (with the hand cursor).
  const std::string& Url() const { return url_; }
  void SetUrl(std::string url) { url_ = std::move(url); }
  // Colours: initial, while hovered, after the pointer left (0xBBGGRR).
  std::uint32_t FontColor() const { return fontColor_; }
  void SetFontColor(std::uint32_t color);
  std::uint32_t HoverColor = 0x0000FF;
  std::uint32_t LinkColor = 0x000000;

 private:
  std::string url_;
  std::uint32_t fontColor_ = 0xFF0000;
};

struct ListColumn {
  std::string caption;
  int width = 50;
  Align align = Align::Left;
};

struct ListRow {
  std::string caption;
  std::vector<std::string> subItems;
  // What the row's tip tells; empty: the whole caption, when it is shown
  // shortened.
  std::string tip;
};

class ListView : public Control {
 public:
  ListView(Form& owner, std::string name, Control* parent = nullptr);

  const std::vector<ListColumn>& Columns() const { return columns_; }
  void AddColumn(ListColumn column);
  void SetColumnCaption(std::size_t index, std::string caption);

  const std::vector<ListRow>& Rows() const { return rows_; }
  // Adds a row; returns its index.
  std::size_t AddRow(std::string caption, std::vector<std::string> subItems);
  void SetSubItem(std::size_t row, std::size_t subItem, std::string text);
  void SetRowTip(std::size_t row, std::string tip);
  void ClearRows();

  bool GridLines() const { return gridLines_; }
  void SetGridLines(bool on);

 private:
  std::vector<ListColumn> columns_;
  std::vector<ListRow> rows_;
  bool gridLines_ = false;
};

// A read-only text box; its text is the Caption.
class Memo : public Control {
 public:
  Memo(Form& owner, std::string name, Control* parent = nullptr);
};

class ProgressBar : public Control {
 public:
  ProgressBar(Form& owner, std::string name, Control* parent = nullptr);
  int Min() const { return min_; }
  int Max() const { return max_; }
  void SetRange(int min, int max);
  int Position() const { return position_; }
  // Any position is taken, also one beyond the range.
  void SetPosition(int position);
  // Whether the percentage is drawn on the bar.
  bool ShowPercent() const { return showPercent_; }
  void SetShowPercent(bool show) { showPercent_ = show; }
  // The whole percentage of the position within the range, truncated, and
  // "%": "99%" at 999 of 1000. "0%" for an empty range.
  std::string PercentText() const;

 private:
  int min_ = 0;
  int max_ = 100;
  int position_ = 0;
  bool showPercent_ = true;
};

// Fires OnTimer every Interval() milliseconds while enabled and its form has
// a window. The toolkit keeps the clock.
class Timer : public Component {
 public:
  Timer(Form& owner, std::string name);
  int Interval() const { return interval_; }
  void SetInterval(int ms);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  std::function<void()> OnTimer;

 private:
  int interval_ = 1000;
  bool enabled_ = true;
};

class MenuItem;

class PopupMenu : public Component {
 public:
  PopupMenu(Form& owner, std::string name);
  const std::vector<MenuItem*>& Items() const { return items_; }
  void Add(MenuItem& item) { items_.push_back(&item); }

 private:
  std::vector<MenuItem*> items_;
};

class MenuItem : public Component {
 public:
  MenuItem(Form& owner, std::string name, PopupMenu& menu);
  PopupMenu& Menu() const { return menu_; }
  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption);
  // A separator line is an item whose caption is "-".
  bool IsSeparator() const { return caption_ == "-"; }
  bool Checked() const { return checked_; }
  void SetChecked(bool checked);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  std::function<void()> OnClick;
  void Click();

 private:
  PopupMenu& menu_;
  std::string caption_;
  bool checked_ = false;
  bool enabled_ = true;
  bool visible_ = true;
};

}  // namespace hv::ui
