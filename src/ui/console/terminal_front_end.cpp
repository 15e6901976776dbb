#include "ui/console/terminal_front_end.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ui/console/accelerators.h"
#include "ui/console/ansi_text.h"
#include "ui/console/console_toolkit.h"
#include "ui/console/focus_rules.h"
#include "ui/console/hint_bar.h"
#include "ui/console/make_console_toolkit.h"
#include "ui/console/message_box_rules.h"
#include "ui/console/layout.h"
#include "ui/console/screen.h"
#include "ui/console/screen_texts.h"
#include "ui/console/terminal.h"
#include "ui/console/terminal_look.h"
#include "ui/messages.h"
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
  // The button Esc gives; none: Esc does nothing.
  std::optional<int> escape;
  // `q` answers Yes (the exit question: `q` typed twice leaves).
  bool quitKey = false;
  // The list of keys (F1): F1 is not offered again inside it.
  bool keysBox = false;
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
      : tk_(toolkit), session_(std::move(session)), look_(LookFromEnvironment()) {
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
    box.escape = EscapeButton(flags);
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
        case Key::Code::Interrupt:
          // The close box: Yes/No boxes cannot be dismissed.
          if (overlay.escape) finish(*overlay.escape);
          break;
        case Key::Code::F1:
          if (!overlay.keysBox) ShowKeys();
          break;
        case Key::Code::Char:
          if (overlay.quitKey && AsciiLower(key.ch) == 'q') {
            finish(kMrYes);
            break;
          }
          for (int button : overlay.buttons) {
            if (AsciiLower(ButtonText(button)[0]) == AsciiLower(key.ch)) {
              finish(button);
              break;
            }
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
      case Key::Code::F1: ShowKeys(); break;
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

  // The focused control of `form`, kept valid: the one the user moved to
  // while it is still usable, else where the form's focus starts.
  Control* Focus(const Form& form) {
    const std::vector<Control*> controls = Focusables(form);
    Control*& focus = focus_[&form];
    if (std::find(controls.begin(), controls.end(), focus) == controls.end()) focus = FirstFocus(form);
    return focus;
  }
  void SetFocus(const Form& form, Control* control) { focus_[&form] = control; }
  // A dialog shown again starts where its focus starts.
  void ForgetClosedForms() {
    const std::vector<Form*> stack = tk_.FormStack();
    std::erase_if(focus_, [&stack](const auto& entry) {
      return std::find(stack.begin(), stack.end(), entry.first) == stack.end();
    });
  }

  std::string Text(const ScreenText& text) const {
    return tk_.Notes().text ? tk_.Notes().text(text.key, text.english) : std::string(text.english);
  }
  // A message box button's word, in the user's language.
  std::string ButtonText(int button) const {
    const std::string name = ButtonName(button);
    for (const ScreenText& text : kScreenTexts) {
      if (name == text.english && std::string_view(text.key).starts_with("Terminal_Button_")) return Text(text);
    }
    return name;
  }
  std::string Caption(const Control& control) const {
    return AnsiToUtf8(StripAccelerator(control.Caption()).text, tk_.Options().codePage);
  }

  // Whether leaving the main window would lose what it shows: a list
  // holding figures.
  static bool ResultsShown(const Form& form) {
    for (const auto& component : form.Components()) {
      if (component->GetKind() != Kind::ListView) continue;
      for (const ListRow& row : static_cast<const ListView&>(*component).Rows()) {
        for (const std::string& text : row.subItems) {
          if (!text.empty()) return true;
        }
      }
    }
    return false;
  }

  // Esc, `q` or the close box on the main window: with results on screen
  // the user is asked once; `q` at the question (so `q` typed twice) and
  // Ctrl-C leave without one.
  void LeaveMain(Form& form) {
    if (ResultsShown(form)) {
      Overlay box;
      box.type = Overlay::Type::Box;
      box.caption = AnsiToUtf8(tk_.ApplicationTitle(), tk_.Options().codePage);
      box.text = Text(kScreenExitQuestion);
      box.buttons = {kMrYes, kMrNo};
      box.escape = kMrNo;
      box.quitKey = true;
      Show(box);
      if (!box.done || box.result != kMrYes) return;
    }
    form.Close();
  }

  // Every key of the screen in front of the user, one a line.
  void ShowKeys() {
    const HintSet hints = Hints(true);
    int keysWidth = 0;
    for (const KeyHint& hint : hints.keys) keysWidth = std::max(keysWidth, static_cast<int>(Utf8Length(hint.keys)));
    std::string text;
    for (const KeyHint& hint : hints.keys) {
      if (!text.empty()) text += "\n";
      text += hint.keys + std::string(static_cast<std::size_t>(keysWidth - static_cast<int>(Utf8Length(hint.keys)) + 2), ' ') +
              hint.action;
    }
    Overlay box;
    box.type = Overlay::Type::Box;
    box.caption = Text(kScreenKeysTitle);
    box.text = text;
    box.buttons = {kMrOk};
    box.escape = kMrOk;
    box.keysBox = true;
    Show(box);
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
    ForgetClosedForms();
    const bool main = form == tk_.MainForm();
    const std::vector<Control*> controls = Focusables(*form);
    Control* focus = Focus(*form);
    if (focus != nullptr && focus->GetKind() == Kind::ListView && ListKey(static_cast<ListView&>(*focus), key)) return;
    auto move = [&](int step) {
      if (controls.empty()) return;
      const auto it = std::find(controls.begin(), controls.end(), focus);
      const int at = it == controls.end() ? 0 : static_cast<int>(it - controls.begin());
      const int count = static_cast<int>(controls.size());
      SetFocus(*form, controls[static_cast<std::size_t>((at + step + count) % count)]);
    };
    // Pressing the main window's close box leaves it as Esc does.
    auto press = [&](Control& control) {
      if (main && control.GetKind() == Kind::HoverImage) {
        LeaveMain(*form);
        return;
      }
      tk_.ClickControl(control);
    };
    switch (key.code) {
      case Key::Code::Tab:
      case Key::Code::Down:
      case Key::Code::Right: move(+1); break;
      case Key::Code::BackTab:
      case Key::Code::Up:
      case Key::Code::Left: move(-1); break;
      case Key::Code::Enter:
        if (focus == nullptr) break;
        if (focus->GetKind() == Kind::ListView) {
          if (Control* button = DefaultButtonOf(*form)) press(*button);
          break;
        }
        press(*focus);
        break;
      case Key::Code::F1: ShowKeys(); break;
      case Key::Code::Interrupt:
        if (main) {
          form->Close();
          break;
        }
        [[fallthrough]];
      case Key::Code::Escape: {
        if (main) {
          LeaveMain(*form);
          break;
        }
        // A dialog backs out with its cancel button (the progress dialog's
        // Stop): closing it around work that goes on would hide that work.
        const EscapeAction action = EscapeFor(*form);
        if (action.type == EscapeAction::Type::Press) {
          SetFocus(*form, action.control);
          press(*action.control);
        } else if (action.type == EscapeAction::Type::Close) {
          form->Close();
        }
        break;
      }
      case Key::Code::Char: {
        const char c = AsciiLower(key.ch);
        if (c == 'q' && main) {
          LeaveMain(*form);
          break;
        }
        if (c == ' ') {
          if (focus != nullptr && focus->GetKind() != Kind::ListView) press(*focus);
          break;
        }
        for (const auto& [control, letter] : AssignAccelerators(*form, Reserved(*form))) {
          if (letter != c) continue;
          auto* target = const_cast<Control*>(control);
          SetFocus(*form, target);
          press(*target);
          break;
        }
        break;
      }
      default: break;
    }
  }

  static Control* DefaultButtonOf(const Form& form) {
    for (Control* control : Focusables(form)) {
      if (control->Default() && control->GetKind() != Kind::ListView) return control;
    }
    return nullptr;
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
        const std::string word = ButtonText(button);
        labels.push_back(" " + CaptionWithKey(word, AsciiLower(word[0])) + " ");
        buttons += static_cast<int>(Utf8Length(labels.back())) + 2;
      }
      int longest = static_cast<int>(Utf8Length(overlay.caption)) + 4;
      for (const std::string& line : WrapText(overlay.text, 1 << 16)) {
        longest = std::max(longest, static_cast<int>(Utf8Length(line)));
      }
      // The text has a blank column on each side inside the frame.
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
      canvas.Box(x, y, width, height, ElideMiddle(overlay.caption, width - 6));
      for (std::size_t i = 0; i < lines.size(); ++i) canvas.Text(x + 2, y + 1 + static_cast<int>(i), lines[i]);
      // The buttons centred on their row, with equal gaps between them and
      // at both ends.
      const std::vector<int> at = CentredRow(labels, x + 1, width - 2);
      for (std::size_t i = 0; i < labels.size(); ++i) {
        const std::uint8_t style = static_cast<int>(i) == overlay.focus ? (kBold | kReverse) : kBold;
        canvas.Text(at[i], y + height - 2, labels[i], style);
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
    canvas.Box(x, y, boxWidth, height, "");
    for (int i = 0; i < count; ++i) {
      const MenuItem& item = *overlay.items[static_cast<std::size_t>(i)];
      const int column = i / perColumn;
      const int row = y + 1 + i % perColumn;
      const int cx = x + 1 + column * width;
      if (item.IsSeparator()) {
        if (columns == 1) canvas.Separator(x, row, boxWidth);
        else canvas.HLine(cx, row, width - 1);
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
    bool mainShown = false;
    if (tk_.Minimized()) {
      for (std::size_t i = 0; const std::string& line : WrapText(Text(kScreenMinimised), std::max(1, cols - 2))) {
        canvas.Text(1, 1 + static_cast<int>(i++), line);
      }
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
        if (form == tk_.MainForm()) {
          mainShown = true;
          DrawTitleNote(canvas, *form, layout);
          // The window's top row is its title bar.
          canvas.Tint(0, layout.client.y, canvas.Cols(), 1, kTitle);
        }
        if (form == active) activeLayout_ = layout;
      }
      if (tooSmall) {
        canvas = Canvas(cols, std::max(1, rows - 1));
        const std::string text = Text(kScreenTooSmall) + " (" +
                                 std::to_string(cols) + " x " + std::to_string(rows) + "). " +
                                 Text(kScreenMakeLarger);
        const std::vector<std::string> lines = WrapText(text, std::max(1, cols - 2));
        for (std::size_t i = 0; i < lines.size(); ++i) canvas.Text(1, 1 + static_cast<int>(i), lines[i], kBold);
      } else {
        for (const Overlay* overlay : overlays_) DrawOverlay(canvas, *overlay);
      }
    }
    tooSmall_ = tooSmall;
    const HintSet hints = Hints(false);
    status = FitHints(hints.note, hints.keys, cols);
    Canvas footer(cols, 1);
    footer.Fill(0, 0, cols, 1, kReverse);
    footer.Text(0, 0, status, kReverse);
    std::string out = sizeChanged_ ? "\x1b[2J\x1b[H" : "\x1b[H";
    sizeChanged_ = false;
    for (const std::string& line : canvas.Lines(true, look_)) out += line + "\x1b[K\r\n";
    out += footer.Lines(true, look_).front() + "\x1b[K";
    session_->Write(out);
    lastScreen_ = canvas.Lines(false);
    if (mainShown && !tooSmall) AfterMainWindowDrawn();
  }

  // For scripts/bench-startup: with HIVORA_EXIT_AFTER_FIRST_FRAME=FILE, the first frame that shows
  // the main window whole is followed by the steady clock's time in nanoseconds (CLOCK_MONOTONIC,
  // as another process reads it) written into FILE, and the window is closed as at a restart.
  void AfterMainWindowDrawn() {
    if (firstFrameTold_) return;
    const char* file = std::getenv("HIVORA_EXIT_AFTER_FIRST_FRAME");
    if (file == nullptr || file[0] == '\0') return;
    firstFrameTold_ = true;
    const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
    if (std::FILE* f = std::fopen(file, "w")) {
      std::fprintf(f, "%lld\n", static_cast<long long>(now));
      std::fclose(f);
    }
    tk_.MainForm()->PostMessage(kWmClose, 0, 0);
  }

  struct HintSet {
    std::string note;  // the focused control's own hint
    std::vector<KeyHint> keys;
  };
  // What the keys do on the screen in front of the user, most important
  // first; with `all`, also the ones only the list of keys (F1) names.
  HintSet Hints(bool all) {
    HintSet out;
    auto add = [&out](std::string keys, std::string action, int priority) {
      out.keys.push_back({std::move(keys), std::move(action), priority});
    };
    const std::string next = Text(kScreenNext);
    const std::string help = Text(kScreenAllKeys);
    if (tk_.Minimized()) {
      add(Text(kScreenAnyKey), Text(kScreenRestore), 0);
      return out;
    }
    if (tooSmall_ && overlays_.empty()) {
      add("q", Text(kScreenExit), 0);
      return out;
    }
    if (!overlays_.empty()) {
      const Overlay& overlay = *overlays_.back();
      if (overlay.type == Overlay::Type::Menu) {
        add("Enter", Text(kScreenChoose), 1);
        add(Text(kScreenUpDown), Text(kScreenMove), 2);
        add(Text(kScreenLetter), Text(kScreenChoose), 3);
        add("Esc", Text(kScreenClose), 1);
      } else {
        if (!overlay.buttons.empty()) {
          add("Enter", ButtonText(overlay.buttons[static_cast<std::size_t>(overlay.focus)]), 1);
        }
        if (overlay.buttons.size() > 1) add("Tab", next, 2);
        if (overlay.buttons.size() > 1) {
          std::string letters;
          for (int button : overlay.buttons) {
            letters += (letters.empty() ? "" : "/") + std::string(1, AsciiLower(ButtonText(button)[0]));
          }
          add(letters, Text(kScreenAnswer), 3);
        }
        if (overlay.escape) add("Esc", ButtonText(*overlay.escape), 1);
        if (overlay.quitKey) add("q", Text(kScreenExit), 4);
      }
      if (!overlay.keysBox) add("F1", help, 0);
      return out;
    }
    Form* form = tk_.ActiveForm();
    if (form == nullptr) return out;
    const bool main = form == tk_.MainForm();
    const Control* focus = Focus(*form);
    if (focus != nullptr && !focus->Hint().empty()) out.note = AnsiToUtf8(focus->Hint(), tk_.Options().codePage);
    const bool list = focus != nullptr && focus->GetKind() == Kind::ListView;
    const bool check = focus != nullptr && focus->GetKind() == Kind::CheckBox;
    if (list) {
      add(Text(kScreenListKeys), Text(kScreenSelect), 1);
      if (const Control* button = DefaultButtonOf(*form)) add("Enter", Caption(*button), 2);
    } else if (check) {
      add(Text(kScreenSpace), Text(kScreenToggle), 1);
    } else if (focus != nullptr) {
      add("Enter", main ? Text(kScreenPress) : Caption(*focus), 1);
    }
    if (Focusables(*form).size() > 1) {
      add("Tab", next, 2);
      if (all) add("Shift-Tab", Text(kScreenPrevious), 5);
    }
    if (!AssignAccelerators(*form, Reserved(*form)).empty()) {
      add(Text(kScreenLetter), Text(kScreenPress), 4);
    }
    if (main) {
      add("q", Text(kScreenExit), 3);
      if (all) add("Esc", Text(kScreenExit), 5);
      if (all) add("Ctrl-C", Text(kScreenExitAtOnce), 5);
    } else {
      const EscapeAction action = EscapeFor(*form);
      if (action.type == EscapeAction::Type::Press) add("Esc", Caption(*action.control), 1);
      else if (action.type == EscapeAction::Type::Close) add("Esc", Text(kScreenClose), 1);
    }
    add("F1", help, 0);
    return out;
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
  const Look look_;
  std::unique_ptr<KeyReader> reader_;
  std::vector<Overlay*> overlays_;
  std::map<const Form*, Control*> focus_;
  FormLayout activeLayout_;
  CellRect menuAt_{};
  std::map<const ListView*, ListState> lists_;
  std::map<const ListView*, int> pageRows_;
  std::vector<std::string> lastScreen_;
  bool tooSmall_ = false;
  bool sizeChanged_ = false;
  bool dirty_ = true;
  bool firstFrameTold_ = false;
  Clock::time_point lastDraw_{};
};

}  // namespace

std::unique_ptr<FrontEnd> MakeTerminalFrontEnd(ConsoleToolkit& toolkit) {
  auto session = TerminalSession::Open();
  if (!session) throw ConsoleSetupError("the interactive mode needs a terminal on stdin and stdout");
  return std::make_unique<TerminalFrontEnd>(toolkit, std::move(session));
}

}  // namespace hv::ui::console
