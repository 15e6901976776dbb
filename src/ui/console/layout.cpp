#include "ui/console/layout.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <set>

#include "ui/console/accelerators.h"
#include "ui/console/ansi_text.h"

namespace hv::ui::console {
namespace {

// Design pixels per cell at the natural size: the main window's 556 x 392
// fills 80 x 23 cells; dialogs are laid out at about 7 x 16.
constexpr double kCellWidth = 6.95;
constexpr double kCellHeight = 17.0;
constexpr double kDialogCellWidth = 7.0;
constexpr double kDialogCellHeight = 16.0;
// Design lefts this close are one column.
constexpr int kAlignSlack = 12;
// A wrapped text keeps at least this many cells a line.
constexpr int kMinWrap = 10;
constexpr int kListMinRows = 3;
constexpr int kListMinNameWidth = 12;
// Compression steps tried when the form does not fit at its scale.
constexpr double kSqueeze[] = {1.0, 1.3, 1.7, 2.5, 4.0, 1e9};

int Length(const std::string& utf8) { return static_cast<int>(Utf8Length(utf8)); }

bool Shown(const Control& control) {
  for (const Control* c = &control; c != nullptr; c = c->Parent()) {
    if (!c->Visible()) return false;
  }
  return true;
}

enum class Shape { Text, Button, Check, Picture, Group, Line, List, Memo, Bar };

std::optional<Shape> ShapeOf(const Control& control) {
  switch (control.GetKind()) {
    case Kind::Label:
    case Kind::UrlLabel: return Shape::Text;
    case Kind::Button:
    case Kind::SkinButton:
    case Kind::FlatButton: return Shape::Button;
    case Kind::CheckBox: return Shape::Check;
    case Kind::GroupBox:
    case Kind::SkinGroupBox: return Shape::Group;
    case Kind::Panel:
    case Kind::ImagePanel: return Shape::Line;
    case Kind::ListView: return Shape::List;
    case Kind::Memo: return Shape::Memo;
    case Kind::ProgressBar: return Shape::Bar;
    case Kind::Image:
    case Kind::HoverImage:
    case Kind::ImageButton:
      // Pictures show nothing; the pressable ones a small button.
      if (IsPressable(control)) return Shape::Picture;
      return std::nullopt;
    default: return std::nullopt;
  }
}

// The cells a list needs: its header and the widest texts of the size
// columns, and a little of the first.
int ListMinWidth(const ListView& list, int codePage) {
  int width = 0;
  const auto& columns = list.Columns();
  for (std::size_t c = 0; c < columns.size(); ++c) {
    int need = Length(AnsiToUtf8(columns[c].caption, codePage));
    if (c == 0) {
      need = std::max(need, kListMinNameWidth);
    } else {
      for (const auto& row : list.Rows()) {
        if (c - 1 < row.subItems.size()) need = std::max(need, Length(AnsiToUtf8(row.subItems[c - 1], codePage)));
      }
    }
    width += need + 1;
  }
  return std::max(width, 10);
}

struct Item {
  const Control* control = nullptr;
  Shape shape = Shape::Text;
  Rect design;
  int effTop = 0;    // design top, or where a reflowed control goes
  std::string text;  // drawn caption (Text, Button, Check)
  int natural = 1;   // width wanted, in cells
  int minWidth = 1;
  int x = 0, y = 0, w = 1, h = 1;
  std::vector<std::string> lines;
  bool reflowed = false;
  // In a flow: the row of the flow and the x in it, else -1.
  int flowRow = -1;
  int flowX = 0;
};

class Layouter {
 public:
  Layouter(const Form& form, const LayoutOptions& options) : form_(form), options_(options) { Collect(); }

  // Lays out in a client area of `cols` x `rows` cells at the given scale;
  // false when it does not fit.
  // With `flow`, the column of controls left of the largest list is set in
  // rows above it, as a narrow screen needs.
  bool Run(int cols, int rows, double sx, double sy, bool stretch, bool flow = false, bool centre = false) {
    cols_ = cols;
    rows_ = rows;
    sx_ = sx;
    sy_ = sy;
    for (Item& item : items_) {
      item.reflowed = false;
      item.effTop = item.design.top;
      item.flowRow = -1;
    }
    flowList_ = nullptr;
    if (flow && !Flow()) return false;
    Horizontal();
    DecideReflow();
    Horizontal();
    Vertical();
    if (stretch) Stretch();
    if (centre) CentreButtonRows();
    return Fits();
  }

  int UsedWidth() const {
    int right = 0;
    for (const Item& item : items_) right = std::max(right, item.x + item.w);
    return right;
  }
  int UsedHeight() const {
    int bottom = 0;
    for (const Item& item : items_) bottom = std::max(bottom, item.y + item.h);
    return bottom;
  }

  // Rows of its own the largest list lacks to show all of them under its
  // header; 0 when there is no list.
  int ListRowsShort() const {
    const Item* list = LargestList();
    if (list == nullptr) return 0;
    const int wanted = static_cast<int>(static_cast<const ListView&>(*list->control).Rows().size()) + 1;
    return std::max(0, wanted - list->h);
  }

  // Leaves out the texts the last run moved below their row: on a screen
  // too low for the list, those static texts give their rows to it.
  bool LeaveOutReflowed() {
    const auto before = items_.size();
    std::erase_if(items_, [](const Item& item) { return item.reflowed && item.shape == Shape::Text; });
    flowList_ = nullptr;
    index_.clear();
    for (std::size_t i = 0; i < items_.size(); ++i) index_[items_[i].control] = i;
    return items_.size() != before;
  }

  std::vector<PlacedControl> Placed(int dx, int dy) const {
    std::vector<PlacedControl> out;
    for (const Item& item : items_) {
      out.push_back({item.control, {item.x + dx, item.y + dy, item.w, item.h}, item.lines});
    }
    return out;
  }

 private:
  void Collect() {
    for (const auto& component : form_.Components()) {
      const Kind kind = component->GetKind();
      if (kind == Kind::Timer || kind == Kind::PopupMenu || kind == Kind::MenuItem) continue;
      const auto& control = static_cast<const Control&>(*component);
      if (!Shown(control)) continue;
      const auto shape = ShapeOf(control);
      if (!shape) continue;
      Item item;
      item.control = &control;
      item.shape = *shape;
      item.design = control.FormBounds();
      item.design.width = std::max(item.design.width, 1);
      item.design.height = std::max(item.design.height, 1);
      item.text = DrawnCaption(control, options_);
      switch (item.shape) {
        case Shape::Text:
          item.natural = std::max(Length(item.text), 1);
          item.minWidth = std::min(item.natural, kMinWrap);
          break;
        case Shape::Button:
          item.natural = item.minWidth = std::max(Length(item.text), 1);
          break;
        case Shape::Check:
          item.natural = Length(item.text) + 4;
          item.minWidth = std::min(item.natural, kMinWrap + 4);
          break;
        case Shape::Picture: item.natural = item.minWidth = 3; break;
        case Shape::List:
          item.minWidth = ListMinWidth(static_cast<const ListView&>(control), options_.codePage);
          break;
        case Shape::Memo:
        case Shape::Bar: item.minWidth = 10; break;
        default: break;
      }
      index_[&control] = items_.size();
      items_.push_back(std::move(item));
    }
  }

  bool IsAncestor(const Item& group, const Item& item) const {
    if (group.shape != Shape::Group) return false;
    for (const Control* p = item.control->Parent(); p != nullptr; p = p->Parent()) {
      if (p == group.control) return true;
    }
    return false;
  }
  static bool IsText(const Item& item) { return item.shape == Shape::Text || item.shape == Shape::Check; }
  static bool EndsColumn(const Item& item) {
    return item.shape == Shape::Text && item.control->Alignment() == Align::Right;
  }
  bool Related(const Item& a, const Item& b) const { return IsAncestor(a, b) || IsAncestor(b, a); }

  // `a` stands left of `b` in the same design row.
  bool Beside(const Item& a, const Item& b) const {
    if (a.reflowed || b.reflowed || a.flowRow >= 0 || b.flowRow >= 0 || Related(a, b)) return false;
    const Rect& p = a.design;
    const Rect& q = b.design;
    const bool rowsMeet = p.top < q.top + q.height && q.top < p.top + p.height;
    return rowsMeet && p.left + p.width / 2 < q.left;
  }

  // `a` stands above `b` in one column, their lefts nearly equal.
  bool Aligned(const Item& a, const Item& b) const {
    if (Related(a, b) || a.shape == Shape::Group || b.shape == Shape::Group) return false;
    if (a.reflowed != b.reflowed || a.flowRow >= 0 || b.flowRow >= 0) return false;
    return std::abs(a.design.left - b.design.left) <= kAlignSlack && !Beside(a, b) && !Beside(b, a);
  }

  int Scaled(int px, double s) const { return s >= 1e8 ? 0 : static_cast<int>(px / s); }
  // Where a control's design left puts it; in a flow, what stood right of
  // the column moves left by the column's width.
  int Left(const Item& item) const {
    int x = Scaled(item.design.left, sx_);
    if (flowList_ != nullptr && item.flowRow < 0 && item.design.left >= flowList_->design.left - kAlignSlack) {
      x = std::max(0, x - flowShift_);
    }
    return x;
  }
  int ScaledSize(int px, double s) const { return s >= 1e8 ? 1 : std::max(1, static_cast<int>(px / s + 0.5)); }

  // The right edge an item may reach: inside the frames that hold it.
  int Edge(const Item& item) const {
    int edge = cols_;
    for (const Control* p = item.control->Parent(); p != nullptr; p = p->Parent()) {
      // The frame and a blank cell inside it.
      if (p->GetKind() == Kind::GroupBox || p->GetKind() == Kind::SkinGroupBox) edge -= 2;
    }
    return edge;
  }

  // Width for an item standing at `x`, given the right edge.
  void SizeAt(Item& item) {
    const int cols = Edge(item);
    switch (item.shape) {
      case Shape::Text:
      case Shape::Check: {
        const bool right = item.shape == Shape::Text && item.control->Alignment() == Align::Right;
        int want = item.natural;
        if (right) want = std::max(want, ScaledSize(item.design.width, sx_));
        item.w = std::max(item.minWidth, std::min(want, cols - item.x));
        break;
      }
      case Shape::Button:
      case Shape::Picture: item.w = item.natural; break;
      case Shape::Line:
        item.w = item.flowRow >= 0 ? 1 : std::max(1, std::min(ScaledSize(item.design.width, sx_), cols - item.x));
        break;
      case Shape::List:
      case Shape::Memo:
      case Shape::Bar:
        item.w = std::max(item.minWidth, std::min(ScaledSize(item.design.width, sx_), cols - item.x));
        break;
      case Shape::Group: item.w = std::max(2, ScaledSize(item.design.width, sx_)); break;
    }
  }

  // Leftmost x of the row that `item` stands in (following Beside leftwards).
  int RowStart(const Item& item, int depth = 0) const {
    int start = item.x;
    if (depth > 50) return start;
    for (const Item& other : items_) {
      if (&other != &item && Beside(other, item)) start = std::min(start, RowStart(other, depth + 1));
    }
    return start;
  }

  void Horizontal() {
    for (Item& item : items_) {
      item.x = Left(item);
      if (item.reflowed) item.x = reflowX_[item.control];
      if (item.flowRow >= 0) item.x = item.flowX;
      if (flowList_ == &item) item.x = flowStart_;
      SizeAt(item);
    }
    for (int round = 0; round < 24; ++round) {
      bool changed = false;
      for (Item& b : items_) {
        if (b.flowRow >= 0) continue;
        int least = flowList_ == &b ? flowStart_ : 0;
        for (const Item& a : items_) {
          if (&a == &b) continue;
          // A text after a column of figures keeps two cells from it, so
          // that the columns read as columns.
          if (Beside(a, b)) least = std::max(least, a.x + a.w + (EndsColumn(a) && IsText(b) ? 2 : 1));
          if (IsAncestor(a, b)) least = std::max(least, a.x + 2);
          if (Aligned(a, b)) least = std::max(least, a.x);
        }
        int x = Left(b);
        if (b.reflowed) x = reflowX_[b.control];
        if (flowList_ == &b) x = flowStart_;
        // What would run past the right edge moves left, as far as the
        // controls beside it allow.
        if (b.shape != Shape::Group && b.shape != Shape::List) x = std::min(x, Edge(b) - b.natural);
        x = std::max(x, least);
        const int oldW = b.w;
        if (x != b.x || round == 0) {
          changed |= x != b.x;
          b.x = x;
          SizeAt(b);
          changed |= oldW != b.w;
        }
        if (b.shape == Shape::Group) {
          int w = std::max(2, ScaledSize(b.design.width, sx_));
          for (const Item& c : items_) {
            if (IsAncestor(b, c)) w = std::max(w, c.x + c.w + 2 - b.x);
          }
          changed |= w != b.w;
          b.w = w;
        }
      }
      if (!changed) break;
    }
  }

  // Sets the controls left of the largest list in rows, in design order; a
  // bold label (a heading) begins a row. The list then starts below them.
  bool Flow() {
    flowList_ = nullptr;
    for (Item& item : items_) {
      if (item.shape != Shape::List) continue;
      if (flowList_ == nullptr ||
          item.design.width * item.design.height > flowList_->design.width * flowList_->design.height) {
        flowList_ = &item;
      }
    }
    if (flowList_ == nullptr) return false;
    const Rect l = flowList_->design;
    std::vector<Item*> column;
    for (Item& item : items_) {
      const Rect& d = item.design;
      if (&item == flowList_ || item.shape == Shape::Group || item.control->Parent() != nullptr) continue;
      if (d.left + d.width / 2 < l.left && d.top >= l.top - 8 && d.top < l.top + l.height) column.push_back(&item);
    }
    if (column.empty()) return false;
    std::stable_sort(column.begin(), column.end(),
                     [](const Item* a, const Item* b) { return a->design.top < b->design.top; });
    flowStart_ = cols_;
    for (const Item* item : column) flowStart_ = std::min(flowStart_, Scaled(item->design.left, sx_));
    int row = 0;
    int x = flowStart_;
    int bottom = 0;
    for (Item* item : column) {
      int w = item->shape == Shape::Line ? 1 : item->natural;
      if (item->shape != Shape::Line) w = std::min(w, cols_ - flowStart_);
      const bool heading = item->shape == Shape::Text && item->control->Bold();
      if (x > flowStart_ && (heading || x + w > cols_)) {
        ++row;
        x = flowStart_;
      }
      item->flowRow = row;
      item->flowX = x;
      item->effTop = column.front()->design.top + row;
      x += w + 1;
      bottom = std::max(bottom, item->effTop);
    }
    flowList_->effTop = bottom + 1;
    flowShift_ = std::max(0, Scaled(l.left, sx_) - flowStart_);
    return true;
  }

  // Texts that would wrap beside their row move below it, with the column
  // they stand in.
  void DecideReflow() {
    std::set<const Item*> moving;
    for (const Item& b : items_) {
      if (b.shape != Shape::Text && b.shape != Shape::Check) continue;
      bool hasLeft = false;
      for (const Item& a : items_) hasLeft |= &a != &b && Beside(a, b);
      if (hasLeft && b.x + b.natural > Edge(b)) moving.insert(&b);
    }
    if (moving.empty()) return;
    // The whole column goes: texts with nearly the same design left that
    // also stand beside something.
    std::set<const Item*> column = moving;
    for (const Item* m : moving) {
      for (const Item& c : items_) {
        if (c.shape != Shape::Text && c.shape != Shape::Check) continue;
        if (std::abs(c.design.left - m->design.left) > kAlignSlack) continue;
        for (const Item& a : items_) {
          if (&a != &c && Beside(a, c)) {
            column.insert(&c);
            break;
          }
        }
      }
    }
    int blockBottom = 0;
    int columnTop = 1 << 30;
    int start = 1 << 30;
    for (const Item* c : column) {
      columnTop = std::min(columnTop, c->design.top);
      for (const Item& a : items_) {
        if (&a == c || !Beside(a, *c)) continue;
        blockBottom = std::max(blockBottom, a.design.top + a.design.height);
        start = std::min(start, RowStart(a));
      }
    }
    for (const Item* c : column) {
      Item& item = const_cast<Item&>(*c);
      item.reflowed = true;
      item.effTop = blockBottom + 1 + (item.design.top - columnTop);
      reflowX_[item.control] = start;
    }
  }

  bool CellsOverlapX(const Item& a, const Item& b) const { return a.x < b.x + b.w && b.x < a.x + a.w; }

  void Vertical() {
    for (Item& item : items_) {
      item.lines.clear();
      switch (item.shape) {
        case Shape::Text:
          item.lines = WrapText(item.text, item.w);
          item.h = static_cast<int>(item.lines.size());
          break;
        case Shape::Check:
          item.lines = WrapText(item.text, item.w - 4);
          item.h = static_cast<int>(item.lines.size());
          break;
        case Shape::List: item.h = std::max(kListMinRows, ScaledSize(item.design.height, sy_)); break;
        case Shape::Memo: item.h = item.design.height >= 24 ? 2 : 1; break;
        case Shape::Group: item.h = 2; break;
        default: item.h = 1; break;
      }
      item.y = Scaled(item.effTop, sy_);
    }
    for (int round = 0; round < 64; ++round) {
      bool changed = false;
      for (Item& b : items_) {
        int least = Scaled(b.effTop, sy_);
        for (const Item& a : items_) {
          if (&a == &b) continue;
          if (IsAncestor(a, b)) {
            least = std::max(least, a.y + 1);
            continue;
          }
          // The rows of a flow stay rows.
          if (a.flowRow >= 0 && b.flowRow > a.flowRow) least = std::max(least, a.y + a.h);
          if (Related(a, b) || !CellsOverlapX(a, b)) continue;
          const bool above = a.effTop < b.effTop ||
                             (a.effTop == b.effTop && (&a < &b));
          if (above) least = std::max(least, a.y + a.h);
        }
        if (least != b.y) {
          b.y = least;
          changed = true;
        }
        if (b.shape == Shape::Group) {
          int h = 2;
          for (const Item& c : items_) {
            if (IsAncestor(b, c)) h = std::max(h, c.y + c.h + 1 - b.y);
          }
          changed |= h != b.h;
          b.h = h;
        }
      }
      // A row of a flow moves as one.
      std::map<int, int> rowY;
      for (const Item& item : items_) {
        if (item.flowRow >= 0) rowY[item.flowRow] = std::max(rowY[item.flowRow], item.y);
      }
      for (Item& item : items_) {
        if (item.flowRow >= 0 && item.y != rowY[item.flowRow]) {
          item.y = rowY[item.flowRow];
          changed = true;
        }
      }
      if (!changed) break;
    }
  }

  // The largest list takes the room left; what lies right of it (above or
  // beside it) or below it moves along.
  void Stretch() {
    Item* list = nullptr;
    for (Item& item : items_) {
      if (item.shape != Shape::List) continue;
      if (list == nullptr || item.design.width * item.design.height > list->design.width * list->design.height) {
        list = &item;
      }
    }
    if (list == nullptr) return;
    const Rect l = list->design;
    auto right = [&](const Item& item) {
      return &item != list && item.design.left >= l.left + l.width / 2 && item.effTop < l.top + l.height;
    };
    // What stands right, above the list, keeps to the right edge, row by row,
    // as far as nothing else in its row is in the way.
    std::map<int, int> rowRight;
    for (const Item& item : items_) {
      if (right(item)) rowRight[item.y] = std::max(rowRight[item.y], item.x + item.w);
    }
    for (auto& [y, used] : rowRight) {
      int shift = cols_ - used;
      for (const Item& other : items_) {
        if (right(other) || other.y > y || other.y + other.h <= y) continue;
        for (const Item& item : items_) {
          if (right(item) && item.y == y && other.x >= item.x + item.w) shift = std::min(shift, other.x - 1 - (item.x + item.w) + 1);
        }
      }
      if (shift <= 0) continue;
      for (Item& item : items_) {
        if (right(item) && item.y == y) item.x += shift;
      }
    }
    // Nothing stands right of the list but what is above or below it.
    int besideRight = cols_;
    for (const Item& item : items_) {
      if (&item == list || right(item) || item.x < list->x + list->w) continue;
      if (item.y < list->y + list->h && list->y < item.y + item.h) besideRight = std::min(besideRight, item.x - 1);
    }
    if (besideRight > list->x + list->w) list->w = besideRight - list->x;
    const int extraH = rows_ - UsedHeight();
    if (extraH > 0) {
      for (Item& item : items_) {
        if (&item != list && item.effTop >= l.top + l.height) item.y += extraH;
      }
      list->h += extraH;
    }
  }

  // Rows holding only buttons (a dialog's OK and Cancel) are centred in
  // the room their frame gives, with equal gaps.
  void CentreButtonRows() {
    std::map<std::pair<const Control*, int>, std::vector<Item*>> rows;
    for (Item& item : items_) {
      if (item.shape == Shape::Button) rows[{item.control->Parent(), item.y}].push_back(&item);
    }
    for (auto& [key, buttons] : rows) {
      const auto& [parent, y] = key;
      bool alone = true;
      for (const Item& other : items_) {
        if (other.shape == Shape::Button || other.shape == Shape::Group) continue;
        if (other.control->Parent() == parent && other.y <= y && y < other.y + other.h) alone = false;
      }
      if (!alone) continue;
      int from = 0;
      int to = cols_;
      if (parent != nullptr) {
        const auto it = index_.find(parent);
        if (it == index_.end()) continue;
        const Item& group = items_[it->second];
        from = group.x + 1;
        to = group.x + group.w - 1;
      }
      std::stable_sort(buttons.begin(), buttons.end(), [](const Item* a, const Item* b) { return a->x < b->x; });
      std::vector<std::string> labels;
      for (const Item* button : buttons) labels.push_back(button->text);
      const std::vector<int> at = CentredRow(labels, from, to - from);
      for (std::size_t i = 0; i < buttons.size(); ++i) buttons[i]->x = at[i];
    }
  }

  const Item* LargestList() const {
    const Item* list = nullptr;
    for (const Item& item : items_) {
      if (item.shape != Shape::List) continue;
      if (list == nullptr || item.design.width * item.design.height > list->design.width * list->design.height) {
        list = &item;
      }
    }
    return list;
  }

  bool Fits() const {
    for (const Item& item : items_) {
      if (item.x < 0 || item.y < 0 || item.x + item.w > Edge(item) || item.y + item.h > rows_) return false;
      if (item.w < item.minWidth) return false;
    }
    return true;
  }

  const Form& form_;
  const LayoutOptions& options_;
  std::vector<Item> items_;
  std::map<const Control*, std::size_t> index_;
  std::map<const Control*, int> reflowX_;
  Item* flowList_ = nullptr;
  int flowStart_ = 0;
  int flowShift_ = 0;
  int cols_ = 0;
  int rows_ = 0;
  double sx_ = kCellWidth;
  double sy_ = kCellHeight;
};

}  // namespace

const PlacedControl* FormLayout::Find(const Control& control) const {
  for (const PlacedControl& p : placed) {
    if (p.control == &control) return &p;
  }
  return nullptr;
}

std::string DrawnCaption(const Control& control, const LayoutOptions& options) {
  switch (control.GetKind()) {
    case Kind::Label:
    case Kind::UrlLabel:
    case Kind::Button:
    case Kind::SkinButton:
    case Kind::FlatButton:
    case Kind::CheckBox: {
      const auto key = options.keys.find(&control);
      const char letter = key == options.keys.end() ? 0 : key->second;
      return AnsiToUtf8(CaptionWithKey(control.Caption(), letter), options.codePage);
    }
    default: return {};
  }
}

FormLayout LayoutForm(const Form& form, CellRect area, const LayoutOptions& options) {
  FormLayout layout;
  layout.framed = options.framed;
  Layouter layouter(form, options);
  const int designW = std::max(form.ClientWidth(), 1);
  const int designH = std::max(form.ClientHeight(), 1);
  if (!options.framed) {
    layout.box = layout.client = area;
    const double sx = std::max(static_cast<double>(designW) / std::max(area.width, 1), kCellWidth);
    const double sy = std::max(static_cast<double>(designH) / std::max(area.height, 1), kCellHeight);
    auto fit = [&] {
      for (bool flow : {false, true}) {
        for (double fx : kSqueeze) {
          for (double fy : kSqueeze) {
            if (layouter.Run(area.width, area.height, sx * fx, sy * fy, true, flow)) return true;
          }
        }
      }
      return false;
    };
    if (fit()) {
      layout.fits = true;
      layout.placed = layouter.Placed(area.x, area.y);
      // A list that cannot show its rows takes those of the static texts
      // that stand below their own row, when all else still fits.
      const int shortBy = layouter.ListRowsShort();
      if (shortBy > 0 && layouter.LeaveOutReflowed() && fit() && layouter.ListRowsShort() < shortBy) {
        layout.placed = layouter.Placed(area.x, area.y);
      }
      return layout;
    }
    layouter.Run(area.width, area.height, sx, sy, true);
    layout.placed = layouter.Placed(area.x, area.y);
    return layout;
  }
  // A dialog: as wide as its design or its texts need, within the area.
  // Inside the frame, a blank column on either side.
  const int maxCols = std::max(area.width - 4, 1);
  const int maxRows = std::max(area.height - 2, 1);
  const double sx = kDialogCellWidth;
  const double sy = kDialogCellHeight;
  layouter.Run(1 << 12, 1 << 12, sx, sy, false);
  const int wanted = std::max((designW + 6) / 7, layouter.UsedWidth());
  const int cols = std::min(wanted, maxCols);
  for (double fx : kSqueeze) {
    for (double fy : kSqueeze) {
      if (!layouter.Run(cols, maxRows, sx * fx, sy * fy, false, false, true)) continue;
      const int inner = std::max(layouter.UsedHeight(), 1);
      const int width = cols + 4;
      const int height = inner + 2;
      layout.box = {area.x + (area.width - width) / 2, area.y + (area.height - height) / 2, width, height};
      layout.client = {layout.box.x + 2, layout.box.y + 1, cols, inner};
      layout.placed = layouter.Placed(layout.client.x, layout.client.y);
      layout.fits = true;
      return layout;
    }
  }
  layouter.Run(cols, maxRows, sx, sy, false);
  layout.box = {area.x, area.y, std::min(cols + 4, area.width), area.height};
  layout.client = {layout.box.x + 2, layout.box.y + 1, cols, maxRows};
  layout.placed = layouter.Placed(layout.client.x, layout.client.y);
  return layout;
}

std::vector<std::string> WrapText(std::string_view utf8, int width) {
  std::vector<std::string> lines;
  width = std::max(width, 1);
  std::size_t start = 0;
  for (;;) {
    std::size_t end = utf8.find_first_of("\r\n", start);
    std::string_view paragraph = utf8.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    std::vector<std::string> glyphs = Utf8Glyphs(paragraph);
    for (auto& glyph : glyphs) {
      // Control characters would move the terminal's cursor.
      if (glyph.size() == 1 && static_cast<unsigned char>(glyph[0]) < 0x20) glyph = " ";
    }
    std::size_t at = 0;
    do {
      std::size_t take = std::min<std::size_t>(static_cast<std::size_t>(width), glyphs.size() - at);
      if (at + take < glyphs.size()) {
        // Break after the last space that fits, when there is one; else
        // after a path's separator, so that a name stays whole.
        bool broken = false;
        for (std::size_t k = take; k > 0; --k) {
          if (glyphs[at + k - 1] == " ") {
            take = k;
            broken = true;
            break;
          }
        }
        for (std::size_t k = take; !broken && k > 1; --k) {
          const std::string& g = glyphs[at + k - 1];
          if (g == "\\" || g == "/") {
            take = k;
            break;
          }
        }
      }
      std::string line;
      for (std::size_t k = at; k < at + take; ++k) line += glyphs[k];
      lines.push_back(std::move(line));
      at += take;
      // A line does not begin with the space it broke at.
      while (at < glyphs.size() && glyphs[at] == " " && take == static_cast<std::size_t>(width)) ++at;
    } while (at < glyphs.size());
    if (end == std::string_view::npos) break;
    start = end + 1;
    if (utf8[end] == '\r' && start < utf8.size() && utf8[start] == '\n') ++start;
  }
  return lines;
}

std::string ElideMiddle(const std::string& utf8, int width) {
  const std::vector<std::string> glyphs = Utf8Glyphs(utf8);
  const int length = static_cast<int>(glyphs.size());
  if (length <= width) return utf8;
  if (width <= 1) return width == 1 ? "\u2026" : "";
  const int head = (width - 1) / 3;
  const int tail = width - 1 - head;
  std::string out;
  for (int i = 0; i < head; ++i) out += glyphs[static_cast<std::size_t>(i)];
  out += "\u2026";
  for (int i = length - tail; i < length; ++i) out += glyphs[static_cast<std::size_t>(i)];
  return out;
}

}  // namespace hv::ui::console

namespace hv::ui::console {

std::vector<int> CentredRow(const std::vector<std::string>& labels, int x, int width) {
  std::vector<int> out;
  const int count = static_cast<int>(labels.size());
  if (count == 0) return out;
  int used = 0;
  for (const std::string& label : labels) used += Length(label);
  int gap = (width - used) / (count + 1);
  int at = x + gap + ((width - used) - gap * (count + 1)) / 2;
  if (gap < 1) {
    gap = 1;
    at = x;
  }
  for (const std::string& label : labels) {
    out.push_back(at);
    at += Length(label) + gap;
  }
  return out;
}

}  // namespace hv::ui::console
