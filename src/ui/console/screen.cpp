#include "ui/console/screen.h"

#include <algorithm>
#include <utility>

#include "ui/console/ansi_text.h"

namespace hv::ui::console {
namespace {

// The code points of `utf8`, with control characters as spaces: they would
// move the terminal's cursor.
std::vector<std::string> Glyphs(std::string_view utf8) {
  std::vector<std::string> out = Utf8Glyphs(utf8);
  for (std::string& glyph : out) {
    if (glyph.size() == 1 && static_cast<unsigned char>(glyph[0]) < 0x20) glyph = " ";
  }
  return out;
}

std::string Sgr(std::uint8_t style, const Look& look) {
  std::string out = "\x1b[0";
  if (style & kBold) out += ";1";
  if ((style & kDim) && look.dim && !look.colour) out += ";2";
  if (style & kUnderline) out += ";4";
  if (!look.colour) {
    if (style & kReverse) out += ";7";
    return out + "m";
  }
  // The palette: focus and selection black on cyan, title bars white on
  // blue, list headers cyan, the progress bar green, disabled text grey.
  if (style & kReverse) out += ";30;46";
  else if (style & kTitle) out += ";1;37;44";
  else if (style & kHeader) out += ";36";
  else if (style & kBar) out += ";32";
  else if (style & kDim) out += look.dim ? ";90" : ";34";
  return out + "m";
}

// The cell's glyph in ASCII: frames of + - |, marks by their nearest
// letter, anything else not ASCII as '?'.
std::string AsciiGlyph(const std::string& glyph) {
  if (glyph.size() == 1) return glyph;
  static const std::pair<const char*, const char*> kMap[] = {
      {"\u2500", "-"}, {"\u2502", "|"}, {"\u250c", "+"}, {"\u2510", "+"}, {"\u2514", "+"}, {"\u2518", "+"},
      {"\u251c", "+"}, {"\u2524", "+"}, {"\u2026", "~"}, {"\u2192", ">"}, {"\u2191", "^"}, {"\u2193", "v"},
      {"\u2588", "#"}, {"\u2591", "."}, {"\u2014", "-"}, {"\u00a9", "c"}};
  for (const auto& [from, to] : kMap) {
    if (glyph == from) return to;
  }
  return "?";
}

}  // namespace

Canvas::Canvas(int cols, int rows)
    : cols_(std::max(cols, 1)), rows_(std::max(rows, 1)), cells_(static_cast<std::size_t>(cols_ * rows_)) {}

Canvas::Cell* Canvas::At(int x, int y) {
  if (x < 0 || y < 0 || x >= cols_ || y >= rows_) return nullptr;
  return &cells_[static_cast<std::size_t>(y * cols_ + x)];
}

void Canvas::Text(int x, int y, std::string_view utf8, std::uint8_t style, int maxWidth) {
  int written = 0;
  for (const std::string& glyph : Glyphs(utf8)) {
    if (maxWidth >= 0 && written >= maxWidth) break;
    if (Cell* cell = At(x + written, y)) *cell = {glyph, style};
    ++written;
  }
}

void Canvas::Fill(int x, int y, int width, int height, std::uint8_t style) {
  for (int row = y; row < y + height; ++row) {
    for (int col = x; col < x + width; ++col) {
      if (Cell* cell = At(col, row)) *cell = {" ", style};
    }
  }
}

void Canvas::HLine(int x, int y, int width, std::uint8_t style) {
  for (int col = x; col < x + width; ++col) {
    if (Cell* cell = At(col, y)) *cell = {"\u2500", style};
  }
}

void Canvas::Frame(int x, int y, int width, int height, std::string_view title, std::uint8_t style) {
  if (width < 2 || height < 2) return;
  Fill(x, y, width, height);
  HLine(x + 1, y, width - 2, style);
  HLine(x + 1, y + height - 1, width - 2, style);
  for (int row = y + 1; row < y + height - 1; ++row) {
    if (Cell* cell = At(x, row)) *cell = {"\u2502", style};
    if (Cell* cell = At(x + width - 1, row)) *cell = {"\u2502", style};
  }
  if (Cell* c = At(x, y)) *c = {"\u250c", style};
  if (Cell* c = At(x + width - 1, y)) *c = {"\u2510", style};
  if (Cell* c = At(x, y + height - 1)) *c = {"\u2514", style};
  if (Cell* c = At(x + width - 1, y + height - 1)) *c = {"\u2518", style};
  if (!title.empty()) Text(x + 2, y, " " + std::string(title) + " ", style | kBold, width - 4);
}

void Canvas::Separator(int x, int y, int width, std::uint8_t style) {
  if (width < 2) return;
  HLine(x + 1, y, width - 2, style);
  if (Cell* c = At(x, y)) *c = {"\u251c", style};
  if (Cell* c = At(x + width - 1, y)) *c = {"\u2524", style};
}

void Canvas::Box(int x, int y, int width, int height, std::string_view title, std::uint8_t style) {
  Fill(x - 1, y - 1, width + 2, height + 2);
  Frame(x, y, width, height, title, style);
}

bool Canvas::Blank(int x, int y, int width) const {
  for (int col = std::max(x, 0); col < std::min(x + width, cols_); ++col) {
    if (y < 0 || y >= rows_) return true;
    if (cells_[static_cast<std::size_t>(y * cols_ + col)].glyph != " ") return false;
  }
  return true;
}

void Canvas::Tint(int x, int y, int width, int height, std::uint8_t bits) {
  for (int row = y; row < y + height; ++row) {
    for (int col = x; col < x + width; ++col) {
      if (Cell* cell = At(col, row)) cell->style |= bits;
    }
  }
}

std::vector<std::string> Canvas::Lines(bool ansi, const Look& look) const {
  std::vector<std::string> lines;
  for (int row = 0; row < rows_; ++row) {
    std::string line;
    std::uint8_t current = kPlain;
    for (int col = 0; col < cols_; ++col) {
      const Cell& cell = cells_[static_cast<std::size_t>(row * cols_ + col)];
      if (ansi && cell.style != current) {
        line += Sgr(cell.style, look);
        current = cell.style;
      }
      line += look.ascii ? AsciiGlyph(cell.glyph) : cell.glyph;
    }
    if (ansi && current != kPlain) line += Sgr(kPlain, look);
    if (!ansi) line.erase(line.find_last_not_of(' ') + 1);
    lines.push_back(std::move(line));
  }
  return lines;
}

int ListPageRows(const CellRect& cell, bool withInfo) { return std::max(1, cell.height - 1 - (withInfo ? 1 : 0)); }

namespace {

// Column widths in cells: what each column's texts need (header included);
// when room is short, taken from the first column (whose names are
// shortened in their middle) and then from the widest. Room left over stays
// right of the last column, so that each figure stays near its name.
std::vector<int> FitColumns(const ListView& list, int available, int codePage, bool grid) {
  const auto& columns = list.Columns();
  const std::size_t count = std::max<std::size_t>(columns.size(), 1);
  std::vector<int> need(count, 1);
  auto measure = [&](std::size_t c, const std::string& ansi) {
    need[c] = std::max(need[c], static_cast<int>(Utf8Length(AnsiToUtf8(ansi, codePage))) + 1);
  };
  for (std::size_t c = 0; c < columns.size(); ++c) measure(c, columns[c].caption);
  for (const auto& row : list.Rows()) {
    measure(0, row.caption);
    for (std::size_t c = 0; c + 1 < count && c < row.subItems.size(); ++c) measure(c + 1, row.subItems[c]);
  }
  (void)grid;
  int total = 0;
  for (int w : need) total += w;
  while (total > available) {
    auto victim = need[0] > 12 ? need.begin() : std::max_element(need.begin(), need.end());
    if (*victim <= 2) break;
    --*victim;
    --total;
  }
  // A blank cell between the longest name and the figures, where there is room.
  if (total < available) ++need[0];
  return need;
}

void PaintList(Canvas& canvas, const ListView& list, CellRect cell, int codePage, const ListState& state) {
  const auto& columns = list.Columns();
  const bool grid = list.GridLines();
  const std::vector<int> widths = FitColumns(list, cell.width, codePage, grid);
  auto cellText = [&](int x, int y, int width, const std::string& ansi, Align align, bool elide, std::uint8_t style) {
    std::string text = AnsiToUtf8(ansi, codePage);
    if (elide) text = ElideMiddle(text, width);
    const int length = static_cast<int>(Utf8Length(text));
    int at = x;
    if (align == Align::Right && length < width) at = x + width - length;
    canvas.Text(at, y, text, style, width - (at - x));
  };
  auto row = [&](int y, const std::vector<std::string>& texts, std::uint8_t style) {
    int x = cell.x;
    if (style & kReverse) canvas.Fill(cell.x, y, cell.width, 1, style);
    for (std::size_t c = 0; c < widths.size(); ++c) {
      const int width = std::min(widths[c] - 1, cell.x + cell.width - x);
      if (width <= 0) break;
      const Align align = c < columns.size() ? columns[c].align : Align::Left;
      cellText(x, y, width, c < texts.size() ? texts[c] : std::string(), align, c == 0, style);
      x += widths[c];
      if (grid && x - 1 < cell.x + cell.width && c + 1 < widths.size()) canvas.Text(x - 1, y, "|", kDim);
    }
  };
  std::vector<std::string> header;
  for (const auto& column : columns) header.push_back(column.caption);
  row(cell.y, header, kBold | kUnderline | kHeader);
  const bool withInfo = !state.info.empty();
  const int page = ListPageRows(cell, withInfo);
  const int count = static_cast<int>(list.Rows().size());
  const int top = std::clamp(state.top, 0, std::max(0, count - page));
  for (int i = 0; i < page && top + i < count; ++i) {
    const auto& data = list.Rows()[static_cast<std::size_t>(top + i)];
    std::vector<std::string> texts{data.caption};
    for (const auto& sub : data.subItems) texts.push_back(sub);
    std::uint8_t style = kPlain;
    if (top + i == state.selected) style = state.focused ? kReverse : kUnderline;
    row(cell.y + 1 + i, texts, style);
  }
  // Rows out of sight are marked, so that the user knows to scroll.
  if (top > 0) canvas.Text(cell.x + cell.width - 1, cell.y + 1, "\u2191", kBold);
  if (top + page < count) canvas.Text(cell.x + cell.width - 1, cell.y + page, "\u2193", kBold);
  if (withInfo) canvas.Text(cell.x, cell.y + cell.height - 1, ElideMiddle(state.info, cell.width), kDim, cell.width);
}

}  // namespace

FormLayout PaintForm(Canvas& canvas, const Form& form, CellRect area, const PaintOptions& options) {
  LayoutOptions layoutOptions;
  layoutOptions.codePage = options.codePage;
  layoutOptions.keys = options.keys;
  layoutOptions.framed = options.framed;
  FormLayout layout = LayoutForm(form, area, layoutOptions);
  PaintLayout(canvas, form, layout, options);
  return layout;
}

void PaintLayout(Canvas& canvas, const Form& form, const FormLayout& layout, const PaintOptions& options) {
  if (layout.framed) {
    const CellRect& b = layout.box;
    canvas.Box(b.x, b.y, b.width, b.height, AnsiToUtf8(form.Caption(), options.codePage));
    // The frame's top edge is the dialog's title bar.
    canvas.Tint(b.x, b.y, b.width, 1, kTitle);
  }
  // Frames first, so that what they hold is drawn over them.
  for (const PlacedControl& placed : layout.placed) {
    const Kind kind = placed.control->GetKind();
    if (kind != Kind::GroupBox && kind != Kind::SkinGroupBox) continue;
    const CellRect& cell = placed.cell;
    canvas.Frame(cell.x, cell.y, cell.width, std::max(cell.height, 2),
                 AnsiToUtf8(placed.control->Caption(), options.codePage), kDim);
  }
  for (const PlacedControl& placed : layout.placed) {
    const Control& control = *placed.control;
    const Kind kind = control.GetKind();
    const CellRect& cell = placed.cell;
    std::uint8_t style = control.Usable() ? kPlain : kDim;
    if (&control == options.focus) style |= kReverse;
    switch (kind) {
      case Kind::Label:
      case Kind::UrlLabel: {
        if (control.Bold()) style |= kBold;
        if (kind == Kind::UrlLabel) style |= kUnderline;
        const bool right = control.Alignment() == Align::Right;
        for (std::size_t i = 0; i < placed.lines.size(); ++i) {
          const std::string& line = placed.lines[i];
          const int length = static_cast<int>(Utf8Length(line));
          const int x = right ? cell.x + std::max(0, cell.width - length) : cell.x;
          canvas.Text(x, cell.y + static_cast<int>(i), line, style, cell.width);
        }
        break;
      }
      case Kind::Button:
      case Kind::SkinButton:
      case Kind::FlatButton:
        canvas.Text(cell.x, cell.y, DrawnCaption(control, {options.codePage, options.keys, false}), style | kBold,
                    cell.width);
        break;
      case Kind::CheckBox: {
        const bool checked = static_cast<const CheckBox&>(control).Checked();
        for (std::size_t i = 0; i < placed.lines.size(); ++i) {
          const std::string box = i == 0 ? (checked ? "[x] " : "[ ] ") : "    ";
          canvas.Text(cell.x, cell.y + static_cast<int>(i), box + placed.lines[i], style, cell.width);
        }
        break;
      }
      case Kind::Panel:
      case Kind::ImagePanel:
        // A dialog's own separator runs across it, joined to its frame.
        if (layout.framed && control.Parent() == nullptr) {
          canvas.Separator(layout.box.x, cell.y, layout.box.width);
        } else {
          canvas.HLine(cell.x, cell.y, cell.width, kDim);
        }
        break;
      case Kind::Image:
      case Kind::HoverImage:
      case Kind::ImageButton: canvas.Text(cell.x, cell.y, kind == Kind::HoverImage ? "[x]" : "[_]", style); break;
      case Kind::ListView: {
        const auto& list = static_cast<const ListView&>(control);
        const auto state = options.lists.find(&list);
        PaintList(canvas, list, cell, options.codePage, state == options.lists.end() ? ListState{} : state->second);
        break;
      }
      case Kind::Memo: {
        int y = cell.y;
        for (const std::string& line : WrapText(AnsiToUtf8(control.Caption(), options.codePage), cell.width)) {
          if (y >= cell.y + cell.height) break;
          canvas.Text(cell.x, y++, line, style, cell.width);
        }
        break;
      }
      case Kind::ProgressBar: {
        const auto& bar = static_cast<const ProgressBar&>(control);
        const std::string percent = bar.PercentText();
        const int inner = std::max(1, cell.width - 2);
        const long long span = static_cast<long long>(bar.Max()) - bar.Min();
        long long filled = span <= 0 ? 0 : (static_cast<long long>(bar.Position()) - bar.Min()) * inner / span;
        filled = std::clamp<long long>(filled, 0, inner);
        std::string body;
        for (int i = 0; i < inner; ++i) body += i < filled ? "\u2588" : "\u2591";
        canvas.Text(cell.x, cell.y, "[" + body + "]", style);
        canvas.Tint(cell.x + 1, cell.y, static_cast<int>(filled), 1, kBar);
        if (bar.ShowPercent()) {
          const int at = cell.x + 1 + (inner - static_cast<int>(percent.size())) / 2;
          canvas.Text(at, cell.y, percent, kBold | kReverse);
        }
        break;
      }
      default: break;
    }
  }
}

}  // namespace hv::ui::console
