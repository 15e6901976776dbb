#include "ui/console/terminal_front_end.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "ui/console/accelerators.h"
#include "ui/console/ansi_text.h"
#include "ui/console/console_toolkit.h"
#include "ui/console/make_console_toolkit.h"
#include "ui/console/message_box_rules.h"
#include "ui/console/screen.h"
#include "ui/console/terminal.h"

namespace hv::ui::console {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Redraws follow changes at most this often: a scan changes the bar many
// times a second.
constexpr auto kRedrawInterval = 40ms;
constexpr auto kIdleWait = 250ms;

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

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

class TerminalFrontEnd final : public FrontEnd {
 public:
  TerminalFrontEnd(ConsoleToolkit& toolkit, std::unique_ptr<TerminalSession> session)
      : tk_(toolkit), session_(std::move(session)) {
    reader_ = std::make_unique<KeyReader>([this](Key key) { tk_.PostTask([this, key] { OnKey(key); }); });
  }
  ~TerminalFrontEnd() override { reader_.reset(); }

  void Changed() override { dirty_ = true; }

  std::chrono::milliseconds Idle() override {
    if (session_->TakeResized()) dirty_ = true;
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
            if (Lower(ButtonName(button)[0]) == Lower(key.ch)) finish(button);
          }
          break;
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
              Lower(caption.text[caption.marked]) == Lower(key.ch)) {
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
    const std::vector<Control*> controls = PressableControls(form);
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
    const std::vector<Control*> controls = PressableControls(*form);
    Control* focus = Focus(*form);
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
        if (focus != nullptr) tk_.ClickControl(*focus);
        break;
      case Key::Code::Escape:
      case Key::Code::Interrupt: form->Close(); break;
      case Key::Code::Char: {
        const char c = Lower(key.ch);
        if (c == 'q' && form == tk_.MainForm()) {
          form->Close();
          break;
        }
        if (c == ' ') {
          if (focus != nullptr) tk_.ClickControl(*focus);
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
    }
  }

  void DrawOverlay(Canvas& canvas, const Overlay& overlay) {
    if (overlay.type == Overlay::Type::Box) {
      const int width = std::clamp(static_cast<int>(std::max(Utf8Length(overlay.text), Utf8Length(overlay.caption))) + 6,
                                   24, std::max(24, canvas.Cols() - 4));
      const std::vector<std::string> lines = WrapText(overlay.text, width - 4);
      const int height = static_cast<int>(lines.size()) + 4;
      const int x = (canvas.Cols() - width) / 2;
      const int y = std::max(0, (canvas.Rows() - height) / 2);
      canvas.Frame(x, y, width, height, overlay.caption);
      for (std::size_t i = 0; i < lines.size(); ++i) canvas.Text(x + 2, y + 1 + static_cast<int>(i), lines[i]);
      int bx = x + width - 2;
      std::vector<std::string> labels;
      for (int button : overlay.buttons) labels.push_back(CaptionWithKey(ButtonName(button), Lower(ButtonName(button)[0])));
      for (const auto& label : labels) bx -= static_cast<int>(label.size()) + 2;
      for (std::size_t i = 0; i < labels.size(); ++i) {
        const std::uint8_t style = static_cast<int>(i) == overlay.focus ? (kBold | kReverse) : kBold;
        canvas.Text(bx, y + height - 2, " " + labels[i] + " ", style);
        bx += static_cast<int>(labels[i].size()) + 2;
      }
      return;
    }
    int width = 12;
    for (const MenuItem* item : overlay.items) {
      width = std::max(width, static_cast<int>(Utf8Length(AnsiToUtf8(item->Caption(), tk_.Options().codePage))) + 8);
    }
    const int height = static_cast<int>(overlay.items.size()) + 2;
    // The pointer is where the user last pressed, in the active form's pixels.
    const int px = activeArea_.x + static_cast<int>(overlay.at.x / activeScaleX_);
    const int py = activeArea_.y + static_cast<int>(overlay.at.y / activeScaleY_);
    const int x = std::clamp(px, 0, std::max(0, canvas.Cols() - width));
    const int y = std::clamp(py, 0, std::max(0, canvas.Rows() - height));
    canvas.Frame(x, y, width, height, "");
    for (std::size_t i = 0; i < overlay.items.size(); ++i) {
      const MenuItem& item = *overlay.items[i];
      const int row = y + 1 + static_cast<int>(i);
      if (item.IsSeparator()) {
        canvas.HLine(x + 1, row, width - 2, kDim);
        canvas.Text(x, row, "\u251c");
        canvas.Text(x + width - 1, row, "\u2524");
        continue;
      }
      const StrippedCaption caption = StripAccelerator(item.Caption());
      const char key = caption.marked == std::string::npos ? 0 : Lower(caption.text[caption.marked]);
      std::uint8_t style = item.Enabled() ? kPlain : kDim;
      if (static_cast<int>(i) == overlay.focus) style |= kReverse;
      canvas.Text(x + 1, row,
                  std::string(item.Checked() ? " * " : "   ") +
                      AnsiToUtf8(CaptionWithKey(item.Caption(), key), tk_.Options().codePage),
                  style, width - 2);
    }
  }

  void Draw() {
    const int cols = session_->Cols();
    const int rows = session_->Rows();
    Canvas canvas(cols, std::max(1, rows - 1));
    Form* active = tk_.ActiveForm();
    std::string status;
    if (tk_.Minimized()) {
      canvas.Text(1, 1, tk_.ApplicationTitle() + " is minimised. Press any key to restore it.");
    } else {
      for (Form* form : tk_.FormStack()) {
        if (!form->Visible()) continue;
        const bool framed = form->Border() != BorderStyle::None;
        CellRect area = PlaceForm(*form, canvas, framed);
        if (!framed) {
          // About 6 x 9 pixels a cell at most, so that a large terminal does
          // not stretch the window.
          area.width = std::min(area.width, (form->ClientWidth() + 5) / 6);
          area.height = std::min(area.height, (form->ClientHeight() + 8) / 9);
        }
        PaintOptions options;
        options.codePage = tk_.Options().codePage;
        options.framed = framed;
        if (form == active && overlays_.empty()) {
          options.focus = Focus(*form);
          options.keys = AssignAccelerators(*form, Reserved(*form));
        }
        PaintForm(canvas, *form, area, options);
        if (form == active) {
          const CellRect client = framed ? CellRect{area.x + 1, area.y + 1, area.width - 2, area.height - 2} : area;
          activeArea_ = client;
          activeScaleX_ = client.width > 0 && form->ClientWidth() > 0 ? double(form->ClientWidth()) / client.width : 7;
          activeScaleY_ = client.height > 0 && form->ClientHeight() > 0 ? double(form->ClientHeight()) / client.height : 16;
        }
      }
      for (const Overlay* overlay : overlays_) DrawOverlay(canvas, *overlay);
    }
    if (!overlays_.empty()) {
      status = "Enter: choose  Tab: next  Esc: cancel";
    } else if (active != nullptr) {
      const Control* focus = Focus(*active);
      if (focus != nullptr && !focus->Hint().empty()) status = AnsiToUtf8(focus->Hint(), tk_.Options().codePage) + "  |  ";
      status += "letter: press  Tab: next  Enter: press  Esc: close";
      if (active == tk_.MainForm()) status += "  q: exit";
    }
    Canvas footer(cols, 1);
    footer.Fill(0, 0, cols, 1, kReverse);
    footer.Text(0, 0, status, kReverse);
    std::string out = "\x1b[H";
    for (const std::string& line : canvas.Lines(true)) out += line + "\x1b[K\r\n";
    out += footer.Lines(true).front() + "\x1b[K";
    session_->Write(out);
  }

  ConsoleToolkit& tk_;
  std::unique_ptr<TerminalSession> session_;
  std::unique_ptr<KeyReader> reader_;
  std::vector<Overlay*> overlays_;
  Control* focus_ = nullptr;
  CellRect activeArea_{};
  double activeScaleX_ = 7;
  double activeScaleY_ = 16;
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
