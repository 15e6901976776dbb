#include "ui/console/terminal_front_end.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "ui/console/accelerators.h"
#include "ui/console/ansi_text.h"
#include "ui/console/console_toolkit.h"
#include "ui/console/make_console_toolkit.h"
#include "ui/console/message_box_rules.h"
#include "ui/console/layout.h"
#include "ui/console/screen.h"
#include "ui/console/terminal.h"
#include "regf/text_case.h"

namespace hv::ui::console {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Redraws follow changes at most this often: a scan changes the bar many
// times a second.
constexpr auto kRedrawInterval = 40ms;
constexpr auto kIdleWait = 250ms;


// A message box or a pop-up menu shown over the forms, waiting for a key.
struct Overlay {
  enum class Type { Box, Menu } type = Type::Box;
  std::string caption;  // UTF-8
  std::string text;     // UTF-8
  std::vector<int> buttons;
  std::vector<MenuItem*> items;
  Point at;
  int focus = 0;
  bool done = false;
  int result = 0;
  MenuItem* chosen = nullptr;
};

bool Selectable(const MenuItem& item) { return item.Visible() && item.Enabled() && !item.IsSeparator(); }

// What Tab moves between: the pressable controls and the lists, in
// component order.
std::vector<Control*> Focusables(const Form& form) {
  const std::vector<Control*> pressable = PressableControls(form);
  std::vector<Control*> out;
  for (const auto& component : form.Components()) {
    const Kind kind = component->GetKind();
    if (kind == Kind::Timer || kind == Kind::PopupMenu || kind == Kind::MenuItem) continue;
    auto* control = static_cast<Control*>(component.get());
    const bool list = kind == Kind::ListView && control->Usable();
    if (list || std::find(pressable.begin(), pressable.end(), control) != pressable.end()) out.push_back(control);
  }
  return out;
}

constexpr const char* kTooSmall = "The terminal is too small for this window";

class TerminalFrontEnd final : public FrontEnd {
 public:
  TerminalFrontEnd(ConsoleToolkit& toolkit, std::unique_ptr<TerminalSession> session)
      : tk_(toolkit), session_(std::move(session)) {
    reader_ = std::make_unique<KeyReader>([this](Key key) { tk_.PostTask([this, key] { OnKey(key); }); });
  }
  ~TerminalFrontEnd() override { reader_.reset(); }

  void Changed() override { dirty_ = true; }

  std::chrono::milliseconds Idle() override {
    if (session_->TakeResized()) {
      dirty_ = true;
      sizeChanged_ = true;
    }
    if (!dirty_) return kIdleWait;
    const auto now = Clock::now();
    if (now - lastDraw_ < kRedrawInterval) {
      return std::chrono::duration_cast<std::chrono::milliseconds>(kRedrawInterval - (now - lastDraw_)) + 1ms;
    }
    Draw();
    dirty_ = false;
    lastDraw_ = now;
    return kIdleWait;
  }

  int MessageBox(const std::string& text, const std::string& caption, UINT flags) override {
    Overlay box;
    box.type = Overlay::Type::Box;
    box.caption = AnsiToUtf8(caption, tk_.Options().codePage);
    box.text = AnsiToUtf8(text, tk_.Options().codePage);
    box.buttons = MessageBoxButtons(flags);
    const int preset = DefaultButton(flags);
    box.focus = static_cast<int>(std::find(box.buttons.begin(), box.buttons.end(), preset) - box.buttons.begin());
    Show(box);
    return box.done ? box.result : preset;
  }

  MenuItem* Popup(PopupMenu& menu) override {
    Overlay list;
    list.type = Overlay::Type::Menu;
    for (MenuItem* item : menu.Items()) {
      if (item->Visible()) list.items.push_back(item);
    }
    list.at = tk_.GetCursorPos();
    menuAt_ = {0, 0, 0, 0};
    for (const PlacedControl& placed : activeLayout_.placed) {
      const Rect r = placed.control->FormBounds();
      if (list.at.x >= r.left && list.at.x < r.left + r.width && list.at.y >= r.top && list.at.y < r.top + r.height &&
          placed.control->GetKind() != Kind::Image) {
        menuAt_ = {placed.cell.x, placed.cell.y + 1, 0, 0};
      }
    }
    list.focus = -1;
    MoveMenuFocus(list, +1);
    if (list.focus < 0) return nullptr;
    Show(list);
    return list.chosen;
  }

 private:
  void Show(Overlay& overlay) {
    overlays_.push_back(&overlay);
    dirty_ = true;
    tk_.RunLoopUntil([&overlay] { return overlay.done; });
    std::erase(overlays_, &overlay);
    dirty_ = true;
  }

  static void MoveMenuFocus(Overlay& menu, int step) {
    const int count = static_cast<int>(menu.items.size());
    for (int i = 1; i <= count; ++i) {
      const int at = ((menu.focus < 0 ? (step > 0 ? -1 : 0) : menu.focus) + step * i + count * 2) % count;
      if (Selectable(*menu.items[static_cast<std::size_t>(at)])) {
        menu.focus = at;
        return;
      }
    }
  }

  void OverlayKey(Overlay& overlay, Key key) {
    if (overlay.type == Overlay::Type::Box) {
      const int count = static_cast<int>(overlay.buttons.size());
      auto finish = [&overlay](int button) {
        overlay.result = button;
        overlay.done = true;
      };
      switch (key.code) {
        case Key::Code::Tab:
        case Key::Code::Right:
        case Key::Code::Down: overlay.focus = (overlay.focus + 1) % count; break;
        case Key::Code::BackTab:
        case Key::Code::Left:
        case Key::Code::Up: overlay.focus = (overlay.focus + count - 1) % count; break;
        case Key::Code::Enter: finish(overlay.buttons[static_cast<std::size_t>(overlay.focus)]); break;
        case Key::Code::Escape:
        case Key::Code::Interrupt: {
          // The close box: Yes/No boxes cannot be dismissed.
          UINT flags = 0;
          if (overlay.buttons.size() == 2 && overlay.buttons[0] == kMrYes) flags = kMbYesNo;
          else if (overlay.buttons.size() == 2) flags = 1;
          else if (overlay.buttons.size() == 3 && overlay.buttons[0] == kMrYes) flags = 3;
          if (auto button = EscapeButton(flags)) finish(*button);
          break;
        }
        case Key::Code::Char:
          for (int button : overlay.buttons) {
            if (AsciiLower(ButtonName(button)[0]) == AsciiLower(key.ch)) finish(button);
          }
          break;
        default: break;
      }
      return;
    }
    switch (key.code) {
      case Key::Code::Tab:
      case Key::Code::Down: MoveMenuFocus(overlay, +1); break;
      case Key::Code::BackTab:
      case Key::Code::Up: MoveMenuFocus(overlay, -1); break;
      case Key::Code::Enter:
        overlay.chosen = overlay.items[static_cast<std::size_t>(overlay.focus)];
        overlay.done = true;
        break;
      case Key::Code::Escape:
      case Key::Code::Interrupt: overlay.done = true; break;
      case Key::Code::Char:
        for (MenuItem* item : overlay.items) {
          const StrippedCaption caption = StripAccelerator(item->Caption());
          if (Selectable(*item) && caption.marked != std::string::npos &&
              AsciiLower(caption.text[caption.marked]) == AsciiLower(key.ch)) {
            overlay.chosen = item;
            overlay.done = true;
            break;
          }
        }
        break;
      default: break;
    }
  }

  // The focused control of the active form, kept valid: a pressable, usable
  // control of that form, else its first one.
  Control* Focus(const Form& form) {
    const std::vector<Control*> controls = Focusables(form);
    for (Control* control : controls) {
      if (control == focus_) return control;
    }
    focus_ = controls.empty() ? nullptr : controls.front();
    return focus_;
  }

  std::string Reserved(const Form& form) const { return &form == tk_.MainForm() ? "q" : ""; }

  void OnKey(Key key) {
    dirty_ = true;
    if (!overlays_.empty()) {
      OverlayKey(*overlays_.back(), key);
      return;
    }
    if (tk_.Minimized()) {
      tk_.ShowWindow(tk_.ApplicationHandle(), kSwRestore);
      return;
    }
    Form* form = tk_.ActiveForm();
    if (form == nullptr) return;
    const std::vector<Control*> controls = Focusables(*form);
    Control* focus = Focus(*form);
    if (focus != nullptr && focus->GetKind() == Kind::ListView && ListKey(static_cast<ListView&>(*focus), key)) return;
    auto move = [&](int step) {
      if (controls.empty()) return;
      const auto it = std::find(controls.begin(), controls.end(), focus);
      const int at = it == controls.end() ? 0 : static_cast<int>(it - controls.begin());
      const int count = static_cast<int>(controls.size());
      focus_ = controls[static_cast<std::size_t>((at + step + count) % count)];
    };
    switch (key.code) {
      case Key::Code::Tab:
      case Key::Code::Down:
      case Key::Code::Right: move(+1); break;
      case Key::Code::BackTab:
      case Key::Code::Up:
      case Key::Code::Left: move(-1); break;
      case Key::Code::Enter:
        if (focus != nullptr && focus->GetKind() != Kind::ListView) tk_.ClickControl(*focus);
        break;
      case Key::Code::Escape:
      case Key::Code::Interrupt: form->Close(); break;
      case Key::Code::Char: {
        const char c = AsciiLower(key.ch);
        if (c == 'q' && form == tk_.MainForm()) {
          form->Close();
          break;
        }
        if (c == ' ') {
          if (focus != nullptr && focus->GetKind() != Kind::ListView) tk_.ClickControl(*focus);
          break;
        }
        for (const auto& [control, letter] : AssignAccelerators(*form, Reserved(*form))) {
          if (letter != c) continue;
          focus_ = const_cast<Control*>(control);
          tk_.ClickControl(*focus_);
          break;
        }
        break;
      }
      default: break;
    }
  }

  // The selection keys of a focused list; false for the keys it leaves to
  // the form.
  bool ListKey(ListView& list, Key key) {
    ListState& state = lists_[&list];
    const int count = static_cast<int>(list.Rows().size());
    const int page = std::max(1, pageRows_[&list]);
    int selected = std::max(state.selected, 0);
    switch (key.code) {
      case Key::Code::Up: selected -= 1; break;
      case Key::Code::Down: selected += 1; break;
      case Key::Code::PageUp: selected -= page; break;
      case Key::Code::PageDown: selected += page; break;
      case Key::Code::Home: selected = 0; break;
      case Key::Code::End: selected = count - 1; break;
      default: return false;
    }
    state.selected = std::clamp(selected, 0, std::max(0, count - 1));
    if (state.selected < state.top) state.top = state.selected;
    if (state.selected >= state.top + page) state.top = state.selected - page + 1;
    return true;
  }

  void DrawOverlay(Canvas& canvas, const Overlay& overlay) {
    if (overlay.type == Overlay::Type::Box) {
      // As wide as the longest line of the text needs, within the screen;
      // the text wraps to the box.
      std::vector<std::string> labels;
      int buttons = 0;
      for (int button : overlay.buttons) {
        labels.push_back(CaptionWithKey(ButtonName(button), AsciiLower(ButtonName(button)[0])));
        buttons += static_cast<int>(labels.back().size()) + 2;
      }
      int longest = static_cast<int>(Utf8Length(overlay.caption)) + 4;
      for (const std::string& line : WrapText(overlay.text, 1 << 16)) {
        longest = std::max(longest, static_cast<int>(Utf8Length(line)));
      }
      const int width = std::min(std::max({longest + 4, buttons + 4, 24}), canvas.Cols());
      std::vector<std::string> lines = WrapText(overlay.text, width - 4);
      const int room = std::max(1, canvas.Rows() - 4);
      if (static_cast<int>(lines.size()) > room) {
        lines.resize(static_cast<std::size_t>(room));
        lines.back() = "\u2026";
      }
      const int height = static_cast<int>(lines.size()) + 4;
      const int x = std::max(0, (canvas.Cols() - width) / 2);
      const int y = std::max(0, (canvas.Rows() - height) / 2);
      canvas.Frame(x, y, width, height, ElideMiddle(overlay.caption, width - 6));
      for (std::size_t i = 0; i < lines.size(); ++i) canvas.Text(x + 2, y + 1 + static_cast<int>(i), lines[i]);
      int bx = x + width - 2 - buttons;
      for (std::size_t i = 0; i < labels.size(); ++i) {
        const std::uint8_t style = static_cast<int>(i) == overlay.focus ? (kBold | kReverse) : kBold;
        canvas.Text(bx, y + height - 2, " " + labels[i] + " ", style);
        bx += static_cast<int>(labels[i].size()) + 2;
      }
      return;
    }
    int width = 12;
    for (const MenuItem* item : overlay.items) {
      width = std::max(width, static_cast<int>(Utf8Length(AnsiToUtf8(item->Caption(), tk_.Options().codePage))) + 6);
    }
    // A menu taller than the screen is shown in columns.
    const int count = static_cast<int>(overlay.items.size());
    const int perColumn = std::max(1, std::min(count, canvas.Rows() - 2));
    const int columns = (count + perColumn - 1) / perColumn;
    const int boxWidth = std::min(canvas.Cols(), width * columns + 2);
    const int height = perColumn + 2;
    const int x = std::clamp(menuAt_.x, 0, std::max(0, canvas.Cols() - boxWidth));
    const int y = std::clamp(menuAt_.y, 0, std::max(0, canvas.Rows() - height));
    canvas.Frame(x, y, boxWidth, height, "");
    for (int i = 0; i < count; ++i) {
      const MenuItem& item = *overlay.items[static_cast<std::size_t>(i)];
      const int column = i / perColumn;
      const int row = y + 1 + i % perColumn;
      const int cx = x + 1 + column * width;
      if (item.IsSeparator()) {
        canvas.HLine(cx, row, width - 1, kDim);
        continue;
      }
      const StrippedCaption caption = StripAccelerator(item.Caption());
      const char key = caption.marked == std::string::npos ? 0 : AsciiLower(caption.text[caption.marked]);
      std::uint8_t style = item.Enabled() ? kPlain : kDim;
      if (i == overlay.focus) style |= kReverse;
      canvas.Text(cx, row,
                  std::string(item.Checked() ? " * " : "   ") +
                      AnsiToUtf8(CaptionWithKey(item.Caption(), key), tk_.Options().codePage),
                  style, width - 1);
    }
  }

  void Draw() {
    const int cols = session_->Cols();
    const int rows = session_->Rows();
    Canvas canvas(cols, std::max(1, rows - 1));
    Form* active = tk_.ActiveForm();
    std::string status;
    bool tooSmall = false;
    if (tk_.Minimized()) {
      canvas.Text(1, 1, tk_.ApplicationTitle() + " is minimised. Press any key to restore it.");
    } else {
      for (Form* form : tk_.FormStack()) {
        if (!form->Visible()) continue;
        PaintOptions options;
        options.codePage = tk_.Options().codePage;
        options.framed = form->Border() != BorderStyle::None;
        if (form == active && overlays_.empty()) {
          options.focus = Focus(*form);
          options.keys = AssignAccelerators(*form, Reserved(*form));
        }
        LayoutOptions layoutOptions{options.codePage, options.keys, options.framed};
        const FormLayout layout = LayoutForm(*form, {0, 0, canvas.Cols(), canvas.Rows()}, layoutOptions);
        if (!layout.fits) {
          tooSmall = true;
          break;
        }
        NoteLists(*form, layout, options);
        PaintLayout(canvas, *form, layout, options);
        if (form == tk_.MainForm()) DrawTitleNote(canvas, *form, layout);
        if (form == active) activeLayout_ = layout;
      }
      if (tooSmall) {
        canvas = Canvas(cols, std::max(1, rows - 1));
        const std::string text = std::string(kTooSmall) + " (" + std::to_string(cols) + " x " +
                                 std::to_string(rows) + "). Please make it larger: at least 60 x 18.";
        const std::vector<std::string> lines = WrapText(text, std::max(1, cols - 2));
        for (std::size_t i = 0; i < lines.size(); ++i) canvas.Text(1, 1 + static_cast<int>(i), lines[i], kBold);
      } else {
        for (const Overlay* overlay : overlays_) DrawOverlay(canvas, *overlay);
      }
    }
    if (tooSmall) {
      status = "q: exit";
    } else if (!overlays_.empty()) {
      status = "Enter: choose  Tab: next  Esc: cancel";
    } else if (active != nullptr) {
      const Control* focus = Focus(*active);
      if (focus != nullptr && !focus->Hint().empty()) status = AnsiToUtf8(focus->Hint(), tk_.Options().codePage) + "  |  ";
      if (focus != nullptr && focus->GetKind() == Kind::ListView) status += "Up/Down/PgUp/PgDn: select  ";
      status += "letter: press  Tab: next  Enter: press  Esc: close";
      if (active == tk_.MainForm()) status += "  q: exit";
    }
    Canvas footer(cols, 1);
    footer.Fill(0, 0, cols, 1, kReverse);
    footer.Text(0, 0, status, kReverse);
    std::string out = sizeChanged_ ? "\x1b[2J\x1b[H" : "\x1b[H";
    sizeChanged_ = false;
    for (const std::string& line : canvas.Lines(true)) out += line + "\x1b[K\r\n";
    out += footer.Lines(true).front() + "\x1b[K";
    session_->Write(out);
    lastScreen_ = canvas.Lines(false);
  }

  // The lists' selection, scrolling and information line.
  void NoteLists(const Form& form, const FormLayout& layout, PaintOptions& options) {
    for (const PlacedControl& placed : layout.placed) {
      if (placed.control->GetKind() != Kind::ListView) continue;
      const auto* list = static_cast<const ListView*>(placed.control);
      ListState& state = lists_[list];
      const int count = static_cast<int>(list->Rows().size());
      if (state.selected < 0 && count > 0) state.selected = 0;
      state.selected = std::min(state.selected, count - 1);
      state.focused = options.focus == list;
      state.info.clear();
      if (tk_.Notes().rowInfo && state.selected >= 0) state.info = tk_.Notes().rowInfo(*list, state.selected);
      const int page = ListPageRows(placed.cell, !state.info.empty());
      pageRows_[list] = page;
      if (state.selected >= state.top + page) state.top = state.selected - page + 1;
      state.top = std::clamp(state.top, 0, std::max(0, count - page));
      options.lists[list] = state;
    }
    (void)form;
  }

  // The installation, after the main window's title, where the title row
  // has room.
  void DrawTitleNote(Canvas& canvas, const Form& form, const FormLayout& layout) {
    if (!tk_.Notes().title) return;
    const std::string note = tk_.Notes().title();
    if (note.empty()) return;
    const PlacedControl* title = nullptr;
    for (const PlacedControl& placed : layout.placed) {
      if (placed.control->GetKind() == Kind::Label && (title == nullptr || placed.cell.y < title->cell.y)) {
        title = &placed;
      }
    }
    (void)form;
    if (title == nullptr) return;
    const int y = title->cell.y;
    const int from = title->cell.x + title->cell.width + 1;
    int to = from;
    while (to < canvas.Cols() && canvas.Blank(to, y, 1)) ++to;
    const int room = to - from - 1;
    if (room < 8) return;
    canvas.Text(from, y, ElideMiddle("\u2014 " + note, room), kBold);
  }

  ConsoleToolkit& tk_;
  std::unique_ptr<TerminalSession> session_;
  std::unique_ptr<KeyReader> reader_;
  std::vector<Overlay*> overlays_;
  Control* focus_ = nullptr;
  FormLayout activeLayout_;
  CellRect menuAt_{};
  std::map<const ListView*, ListState> lists_;
  std::map<const ListView*, int> pageRows_;
  std::vector<std::string> lastScreen_;
  bool sizeChanged_ = false;
  bool dirty_ = true;
  Clock::time_point lastDraw_{};
};

}  // namespace

std::unique_ptr<FrontEnd> MakeTerminalFrontEnd(ConsoleToolkit& toolkit) {
  auto session = TerminalSession::Open();
  if (!session) throw ConsoleSetupError("the interactive mode needs a terminal on stdin and stdout");
  return std::make_unique<TerminalFrontEnd>(toolkit, std::move(session));
}

}  // namespace hv::ui::console
