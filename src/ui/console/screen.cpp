#include "ui/console/screen.h"

#include <algorithm>

#include "ui/console/accelerators.h"
#include "ui/console/ansi_text.h"

namespace hv::ui::console {
namespace {

// Splits UTF-8 into code points, one string each.
std::vector<std::string> Glyphs(std::string_view utf8) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < utf8.size();) {
    std::size_t n = 1;
    const auto lead = static_cast<unsigned char>(utf8[i]);
    if (lead >= 0xF0) n = 4;
    else if (lead >= 0xE0) n = 3;
    else if (lead >= 0xC0) n = 2;
    n = std::min(n, utf8.size() - i);
    std::string glyph(utf8.substr(i, n));
    // Control characters would move the terminal's cursor.
    if (n == 1 && static_cast<unsigned char>(glyph[0]) < 0x20) glyph = " ";
    out.push_back(std::move(glyph));
    i += n;
  }
  return out;
}

std::string Sgr(std::uint8_t style) {
  std::string out = "\x1b[0";
  if (style & kBold) out += ";1";
  if (style & kDim) out += ";2";
  if (style & kUnderline) out += ";4";
  if (style & kReverse) out += ";7";
  return out + "m";
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

bool Canvas::Blank(int x, int y, int width) const {
  for (int col = std::max(x, 0); col < std::min(x + width, cols_); ++col) {
    if (y < 0 || y >= rows_) return true;
    if (cells_[static_cast<std::size_t>(y * cols_ + col)].glyph != " ") return false;
  }
  return true;
}

std::vector<std::string> Canvas::Lines(bool ansi) const {
  std::vector<std::string> lines;
  for (int row = 0; row < rows_; ++row) {
    std::string line;
    std::uint8_t current = kPlain;
    for (int col = 0; col < cols_; ++col) {
      const Cell& cell = cells_[static_cast<std::size_t>(row * cols_ + col)];
      if (ansi && cell.style != current) {
        line += Sgr(cell.style);
        current = cell.style;
      }
      line += cell.glyph;
    }
    if (ansi && current != kPlain) line += Sgr(kPlain);
    if (!ansi) line.erase(line.find_last_not_of(' ') + 1);
    lines.push_back(std::move(line));
  }
  return lines;
}

std::vector<std::string> WrapText(std::string_view utf8, int width) {
  std::vector<std::string> lines;
  width = std::max(width, 1);
  std::size_t start = 0;
  for (;;) {
    std::size_t end = utf8.find_first_of("\r\n", start);
    std::string_view paragraph = utf8.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    std::vector<std::string> glyphs = Glyphs(paragraph);
    std::size_t at = 0;
    do {
      std::size_t take = std::min<std::size_t>(static_cast<std::size_t>(width), glyphs.size() - at);
      if (at + take < glyphs.size()) {
        // Break after the last space that fits, when there is one.
        for (std::size_t k = take; k > 0; --k) {
          if (glyphs[at + k - 1] == " ") {
            take = k;
            break;
          }
        }
      }
      std::string line;
      for (std::size_t k = at; k < at + take; ++k) line += glyphs[k];
      lines.push_back(std::move(line));
      at += take;
    } while (at < glyphs.size());
    if (end == std::string_view::npos) break;
    start = end + 1;
    if (utf8[end] == '\r' && start < utf8.size() && utf8[start] == '\n') ++start;
  }
  return lines;
}

CellRect PlaceForm(const Form& form, const Canvas& canvas, bool framed) {
  if (!framed) return {0, 0, canvas.Cols(), canvas.Rows()};
  // Dialogs keep the main window's scale roughly: 7 x 16 pixels a cell.
  const int width = std::clamp((form.ClientWidth() + 6) / 7 + 2, 20, canvas.Cols());
  const int height = std::clamp((form.ClientHeight() + 15) / 16 + 2, 5, canvas.Rows());
  return {(canvas.Cols() - width) / 2, (canvas.Rows() - height) / 2, width, height};
}

namespace {

struct Scale {
  double sx = 7;
  double sy = 16;
  CellRect area;
  CellRect Map(const Rect& r) const {
    CellRect c;
    c.x = area.x + static_cast<int>(r.left / sx);
    c.y = area.y + static_cast<int>(r.top / sy);
    c.width = std::max(1, static_cast<int>(r.width / sx + 0.5));
    c.height = std::max(1, static_cast<int>(r.height / sy + 0.5));
    return c;
  }
};

bool Shown(const Control& control) {
  for (const Control* c = &control; c != nullptr; c = c->Parent()) {
    if (!c->Visible()) return false;
  }
  return true;
}

// Column widths in cells: what each column's texts need (header included),
// then the room left over given to the first column, or, when room is
// short, taken from the widest columns first; at least the scaled design
// width's share when it fits.
std::vector<int> FitColumns(const ListView& list, int available, int codePage, bool grid) {
  const auto& columns = list.Columns();
  const std::size_t count = std::max<std::size_t>(columns.size(), 1);
  std::vector<int> need(count, 1);
  auto measure = [&](std::size_t c, const std::string& ansi) {
    need[c] = std::max(need[c], static_cast<int>(Utf8Length(AnsiToUtf8(ansi, codePage))) + (grid ? 1 : 0));
  };
  for (std::size_t c = 0; c < columns.size(); ++c) measure(c, columns[c].caption);
  for (const auto& row : list.Rows()) {
    measure(0, row.caption);
    for (std::size_t c = 0; c + 1 < count && c < row.subItems.size(); ++c) measure(c + 1, row.subItems[c]);
  }
  int total = 0;
  for (int w : need) total += w;
  while (total > available) {
    auto widest = std::max_element(need.begin(), need.end());
    if (*widest <= 2) break;
    --*widest;
    --total;
  }
  if (total < available) need[0] += available - total;
  return need;
}

void PaintList(Canvas& canvas, const ListView& list, CellRect cell, int codePage) {
  const auto& columns = list.Columns();
  const bool grid = list.GridLines();
  const std::vector<int> widths = FitColumns(list, cell.width, codePage, grid);
  auto cellText = [&](int x, int y, int width, const std::string& ansi, Align align, std::uint8_t style) {
    std::string text = AnsiToUtf8(ansi, codePage);
    const int length = static_cast<int>(Utf8Length(text));
    int at = x;
    if (align == Align::Right && length < width) at = x + width - length;
    canvas.Text(at, y, text, style, width - (at - x));
  };
  auto row = [&](int y, const std::vector<std::string>& texts, std::uint8_t style) {
    int x = cell.x;
    for (std::size_t c = 0; c < widths.size(); ++c) {
      const int width = std::min(widths[c] - (grid ? 1 : 0), cell.x + cell.width - x);
      if (width <= 0) break;
      const Align align = c < columns.size() ? columns[c].align : Align::Left;
      cellText(x, y, width, c < texts.size() ? texts[c] : std::string(), align, style);
      x += widths[c];
      if (grid && x - 1 < cell.x + cell.width) canvas.Text(x - 1, y, "|", kDim);
    }
  };
  std::vector<std::string> header;
  for (const auto& column : columns) header.push_back(column.caption);
  row(cell.y, header, kBold | kUnderline);
  for (std::size_t i = 0; i < list.Rows().size(); ++i) {
    const int y = cell.y + 1 + static_cast<int>(i);
    if (y >= cell.y + cell.height) break;
    std::vector<std::string> texts{list.Rows()[i].caption};
    for (const auto& sub : list.Rows()[i].subItems) texts.push_back(sub);
    row(y, texts, kPlain);
  }
}

// Where a control goes: scaled, and inside the frame of a group box that
// holds it (small offsets would otherwise put it on the frame's edge).
CellRect Place(const Control& control, const Scale& scale) {
  CellRect cell = scale.Map(control.FormBounds());
  for (const Control* p = control.Parent(); p != nullptr; p = p->Parent()) {
    if (p->GetKind() != Kind::GroupBox && p->GetKind() != Kind::SkinGroupBox) continue;
    const CellRect frame = scale.Map(p->FormBounds());
    cell.x = std::max(cell.x, frame.x + 1);
    cell.y = std::max(cell.y, frame.y + 1);
  }
  return cell;
}

}  // namespace

void PaintForm(Canvas& canvas, const Form& form, CellRect area, const PaintOptions& options) {
  if (options.framed) {
    canvas.Frame(area.x, area.y, area.width, area.height, AnsiToUtf8(form.Caption(), options.codePage));
    area = {area.x + 1, area.y + 1, area.width - 2, area.height - 2};
  }
  Scale scale;
  scale.area = area;
  if (form.ClientWidth() > 0 && area.width > 0) scale.sx = static_cast<double>(form.ClientWidth()) / area.width;
  if (form.ClientHeight() > 0 && area.height > 0) scale.sy = static_cast<double>(form.ClientHeight()) / area.height;
  const int right = area.x + area.width;
  auto text = [&](const std::string& ansi) { return AnsiToUtf8(ansi, options.codePage); };

  for (const auto& component : form.Components()) {
    const Kind kind = component->GetKind();
    if (kind == Kind::Timer || kind == Kind::PopupMenu || kind == Kind::MenuItem) continue;
    const auto& control = static_cast<const Control&>(*component);
    if (!Shown(control)) continue;
    const CellRect cell = Place(control, scale);
    const auto key = options.keys.find(&control);
    const char letter = key == options.keys.end() ? 0 : key->second;
    std::uint8_t style = control.Usable() ? kPlain : kDim;
    if (&control == options.focus) style |= kReverse;
    switch (kind) {
      case Kind::Label:
      case Kind::UrlLabel: {
        std::string caption = text(CaptionWithKey(control.Caption(), letter));
        if (control.Bold()) style |= kBold;
        if (kind == Kind::UrlLabel) style |= kUnderline;
        const int length = static_cast<int>(Utf8Length(caption));
        int x = cell.x;
        if (control.Alignment() == Align::Right && control.Width() > 0) {
          x = std::max(area.x, cell.x + cell.width - length);
          // Characters are wider than the design font's: a right-aligned
          // value moves right rather than cover the caption before it.
          while (x + length < right && !canvas.Blank(x - 1, cell.y, length + 1)) ++x;
        }
        canvas.Text(x, cell.y, caption, style, right - x);
        break;
      }
      case Kind::Button:
      case Kind::SkinButton:
      case Kind::FlatButton:
        canvas.Text(cell.x, cell.y, text(CaptionWithKey(control.Caption(), letter)), style | kBold, right - cell.x);
        break;
      case Kind::CheckBox: {
        const bool checked = static_cast<const CheckBox&>(control).Checked();
        canvas.Text(cell.x, cell.y, std::string(checked ? "[x] " : "[ ] ") + text(CaptionWithKey(control.Caption(), letter)),
                    style, right - cell.x);
        break;
      }
      case Kind::GroupBox:
      case Kind::SkinGroupBox:
        canvas.Frame(cell.x, cell.y, cell.width, std::max(cell.height, 2), text(control.Caption()), kDim);
        break;
      case Kind::Panel:
      case Kind::ImagePanel: canvas.HLine(cell.x, cell.y, cell.width, kDim); break;
      case Kind::Image:
      case Kind::HoverImage:
      case Kind::ImageButton:
        // Pictures show nothing; the pressable ones a small button.
        if (IsPressable(control)) canvas.Text(cell.x, cell.y, kind == Kind::HoverImage ? "[x]" : "[_]", style);
        break;
      case Kind::ListView:
        PaintList(canvas, static_cast<const ListView&>(control),
                  {cell.x, cell.y, std::min(cell.width, right - cell.x), cell.height}, options.codePage);
        break;
      case Kind::Memo: {
        int y = cell.y;
        for (const std::string& line : WrapText(text(control.Caption()), std::min(cell.width, right - cell.x))) {
          if (y >= cell.y + std::max(cell.height, 1)) break;
          canvas.Text(cell.x, y++, line, style);
        }
        break;
      }
      case Kind::ProgressBar: {
        const auto& bar = static_cast<const ProgressBar&>(control);
        const std::string percent = bar.PercentText();
        const int inner = std::max(1, std::min(cell.width, right - cell.x) - 2);
        const long long span = static_cast<long long>(bar.Max()) - bar.Min();
        long long filled = span <= 0 ? 0 : (static_cast<long long>(bar.Position()) - bar.Min()) * inner / span;
        filled = std::clamp<long long>(filled, 0, inner);
        std::string body;
        for (int i = 0; i < inner; ++i) body += i < filled ? "\u2588" : "\u2591";
        canvas.Text(cell.x, cell.y, "[" + body + "]", style);
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
