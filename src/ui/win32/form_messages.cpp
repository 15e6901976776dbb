// The form window's procedure: one handler per message.
#include "ui/win32/form_window.h"

// After <windows.h>, which the toolkit headers bring in.
#include <commctrl.h>

#include <algorithm>

#include "ui/messages.h"
#include "ui/win32/toolkit_impl.h"

namespace w32ui {

using hv::ui::Control;
using hv::ui::Kind;

namespace {

POINT PointOf(LPARAM lParam) { return {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))}; }

}  // namespace

LRESULT FormWindow::HandleFormMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  const Message m{msg, wParam, lParam};
  if (msg == toolkit_.Calls().Message()) return OnUiThreadCall(m);
  switch (msg) {
    case WM_CLOSE:
    case WM_SYSCOMMAND:
      return OnFormCommand(m);
    case WM_NCHITTEST:
      return OnNcHitTest(m);
    case WM_CONTEXTMENU:
      return OnContextMenu(m);
    case WM_NCLBUTTONDBLCLK:
      return OnNcLButtonDblClk(m);
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      return OnPaint(m);
    case WM_PRINTCLIENT:
      return OnPrintClient(m);
    case WM_SETCURSOR:
      return OnSetCursor(m);
    case WM_MOUSEMOVE:
      return OnMouseMove(m);
    case WM_MOUSELEAVE:
      return OnMouseLeave(m);
    case WM_LBUTTONDOWN:
      return OnLButtonDown(m);
    case WM_LBUTTONUP:
      return OnLButtonUp(m);
    case WM_CAPTURECHANGED:
      return OnCaptureChanged(m);
    case WM_TIMER:
      return OnTimer(m);
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
      return OnCtlColor(m);
    case WM_ACTIVATE:
      return OnActivate(m);
    case WM_SETFOCUS:
      return OnSetFocus(m);
    case WM_COMMAND:
      return OnCommand(m);
    case WM_NOTIFY:
      return OnNotify(m);
    case DM_GETDEFID:
      return OnGetDefId(m);
    default:
      return OnOtherMessage(m);
  }
}

LRESULT FormWindow::DefaultFormProc(const Message& m) { return ::DefWindowProcA(window_, m.msg, m.wParam, m.lParam); }

LRESULT FormWindow::OnUiThreadCall(const Message& m) {
  toolkit_.Calls().Run(m.lParam, [&](const std::function<void()>& fn) { toolkit_.Guard(fn); });
  return 0;
}

LRESULT FormWindow::OnFormCommand(const Message& m) {
  bool handled = false;
  toolkit_.Guard([&] {
    handled = form_.HandleMessage(m.msg, static_cast<hv::ui::WPARAM>(m.wParam), static_cast<hv::ui::LPARAM>(m.lParam));
  });
  // The window is never destroyed by the system's default close: the
  // toolkit destroys it when the form's loop has ended.
  if (handled || m.msg == WM_CLOSE) return 0;
  return DefaultFormProc(m);
}

LRESULT FormWindow::OnNcHitTest(const Message& m) {
  int result = static_cast<int>(DefaultFormProc(m));
  RECT frame{};
  ::GetWindowRect(window_, &frame);
  const POINT screen = PointOf(m.lParam);
  const hv::ui::Point point{screen.x - frame.left, screen.y - frame.top};
  toolkit_.Guard([&] { result = form_.HitTest(point, result); });
  return result;
}

LRESULT FormWindow::OnContextMenu(const Message& m) {
  // A right click on a control with a pop-up menu opens it at the pointer
  // (also over the drag area, where the system would otherwise offer its
  // window menu). -1: opened from the keyboard.
  if (m.lParam == -1) return DefaultFormProc(m);
  const POINT screen = PointOf(m.lParam);
  POINT p = screen;
  ::ScreenToClient(window_, &p);
  const Slot* slot = PaintedAt(p);
  hv::ui::PopupMenu* menu = slot != nullptr ? static_cast<const Control*>(slot->component)->ContextMenu() : nullptr;
  if (menu == nullptr) return DefaultFormProc(m);
  toolkit_.Guard([&] { form_.Tk().Popup(*menu, {screen.x, screen.y}); });
  return 0;
}

LRESULT FormWindow::OnNcLButtonDblClk(const Message& m) {
  // A double click on the drag area must not maximise the borderless window.
  if (m.wParam == HTCAPTION && form_.Border() == hv::ui::BorderStyle::None) return 0;
  return DefaultFormProc(m);
}

LRESULT FormWindow::OnPaint(const Message&) {
  PaintDc paint(window_);
  RECT client{};
  ::GetClientRect(window_, &client);
  BackBuffer buffer(paint.get(), client.right, client.bottom);
  PaintSurface(buffer.get(), client);
  buffer.CopyTo(paint.get(), 0, 0);
  return 0;
}

LRESULT FormWindow::OnPrintClient(const Message& m) {
  RECT client{};
  ::GetClientRect(window_, &client);
  PaintSurface(reinterpret_cast<HDC>(m.wParam), client);
  return 0;
}

LRESULT FormWindow::OnSetCursor(const Message& m) {
  if (reinterpret_cast<HWND>(m.wParam) != window_ || LOWORD(m.lParam) != HTCLIENT) return DefaultFormProc(m);
  POINT p{};
  ::GetCursorPos(&p);
  ::ScreenToClient(window_, &p);
  const Slot* slot = PaintedAt(p);
  const auto* control = slot != nullptr ? static_cast<const Control*>(slot->component) : nullptr;
  const bool hand = control != nullptr && control->HandCursor() && control->EnabledWithParents();
  ::SetCursor(::LoadCursorA(nullptr, MAKEINTRESOURCEA(hand ? 32649 /* IDC_HAND */ : 32512)));
  return TRUE;
}

LRESULT FormWindow::OnMouseMove(const Message& m) {
  if (!tracking_) {
    TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, window_, 0};
    tracking_ = ::TrackMouseEvent(&track) != 0;
  }
  SetHot(PaintedAt(PointOf(m.lParam)));
  return 0;
}

LRESULT FormWindow::OnMouseLeave(const Message&) {
  tracking_ = false;
  if (pressed_ == nullptr) SetHot(nullptr);
  return 0;
}

LRESULT FormWindow::OnLButtonDown(const Message& m) {
  Slot* slot = PaintedAt(PointOf(m.lParam));
  if (slot != nullptr && static_cast<Control*>(slot->component)->EnabledWithParents()) {
    pressed_ = slot;
    slot->pressed = true;
    SetHot(slot);
    ::SetCapture(window_);
    InvalidateSlot(*slot);
  }
  return 0;
}

LRESULT FormWindow::OnLButtonUp(const Message& m) {
  Slot* slot = pressed_;
  if (slot == nullptr) return 0;
  pressed_ = nullptr;
  slot->pressed = false;
  ::ReleaseCapture();
  const bool inside = PaintedAt(PointOf(m.lParam)) == slot;
  SetHot(inside ? slot : nullptr);
  InvalidateSlot(*slot);
  if (inside) Click(*slot);
  return 0;
}

LRESULT FormWindow::OnCaptureChanged(const Message&) {
  if (pressed_ != nullptr) {
    pressed_->pressed = false;
    InvalidateSlot(*pressed_);
    pressed_ = nullptr;
  }
  return 0;
}

LRESULT FormWindow::OnTimer(const Message& m) {
  const std::size_t index = static_cast<std::size_t>(m.wParam) - 1;
  if (index < slots_.size() && slots_[index]->component->GetKind() == Kind::Timer) {
    auto& timer = static_cast<hv::ui::Timer&>(*slots_[index]->component);
    if (timer.Enabled() && timer.OnTimer) toolkit_.Guard([&] { timer.OnTimer(); });
  }
  return 0;
}

LRESULT FormWindow::OnCtlColor(const Message& m) {
  // The memo sits on the button face colour, without a border.
  HDC dc = reinterpret_cast<HDC>(m.wParam);
  ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
  ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
  return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
}

LRESULT FormWindow::OnActivate(const Message& m) {
  if (LOWORD(m.wParam) == WA_INACTIVE) {
    HWND focus = ::GetFocus();
    if (focus != nullptr && ::IsChild(window_, focus)) lastFocus_ = focus;
  }
  return DefaultFormProc(m);
}

LRESULT FormWindow::OnSetFocus(const Message&) {
  if (lastFocus_ != nullptr && ::IsWindow(lastFocus_) && ::IsChild(window_, lastFocus_) &&
      ::IsWindowVisible(lastFocus_) && ::IsWindowEnabled(lastFocus_)) {
    ::SetFocus(lastFocus_);
  } else {
    FocusFirst();
  }
  return 0;
}

LRESULT FormWindow::OnCommand(const Message& m) {
  // Only the dialog manager sends commands here: Escape (IDCANCEL), and
  // Enter for the default button (its id, from DM_GETDEFID).
  if (LOWORD(m.wParam) == IDCANCEL && HIWORD(m.wParam) == 0) {
    // Escape presses the Cancel button; without one, a dialog with a close
    // box closes as the close box does.
    if (Slot* cancel = SlotWith(&Control::Cancel)) {
      Click(*cancel);
    } else if (form_.Border() == hv::ui::BorderStyle::Dialog) {
      return OnFormCommand({WM_CLOSE, 0, 0});
    }
    return 0;
  }
  if (HIWORD(m.wParam) == BN_CLICKED) {
    if (Slot* slot = SlotById(LOWORD(m.wParam)); slot != nullptr && IsPushButton(*slot)) Click(*slot);
  }
  return 0;
}

LRESULT FormWindow::OnGetDefId(const Message&) {
  const Slot* slot = SlotWith(&Control::Default);
  if (slot == nullptr) return 0;
  return MAKELRESULT(slot->index + kFirstControlId, DC_HASDEFID);
}

LRESULT FormWindow::OnNotify(const Message& m) {
  const auto* header = reinterpret_cast<const NMHDR*>(m.lParam);
  if (header == nullptr) return DefaultFormProc(m);
  // A list's first column resized by the user: its names are shortened
  // again to the new width.
  if (header->code == HDN_ITEMCHANGEDA || header->code == HDN_ITEMCHANGEDW) {
    const auto* change = reinterpret_cast<const NMHEADERA*>(m.lParam);
    for (const auto& slot : slots_) {
      if (slot->child == nullptr || slot->how != Realisation::ListView) continue;
      if (slot->child != header->hwndFrom && slot->child != ::GetParent(header->hwndFrom)) continue;
      if (change->iItem == 0) {
        const int width = static_cast<int>(::SendMessageA(slot->child, LVM_GETCOLUMNWIDTH, 0, 0));
        if (width > 0) ReshortenList(*slot, width);
      }
      break;
    }
    return DefaultFormProc(m);
  }
  if (header->code != LVN_GETINFOTIPA) return DefaultFormProc(m);
  // A list row gives the tip its model gives it; without one, a name shown
  // shortened gives its whole self.
  auto* tip = reinterpret_cast<NMLVGETINFOTIPA*>(m.lParam);
  for (const auto& slot : slots_) {
    if (slot->child != header->hwndFrom) continue;
    const std::size_t item = static_cast<std::size_t>(tip->iItem);
    if (tip->iSubItem != 0 || item >= slot->rows.size() || item >= slot->shownCaptions.size()) break;
    const hv::ui::ListRow& row = slot->rows[item];
    const std::string& whole = row.tip.empty() ? row.caption : row.tip;
    if (row.tip.empty() && whole == slot->shownCaptions[item]) break;
    if (tip->pszText == nullptr || tip->cchTextMax <= 0) break;
    const std::size_t n = std::min(whole.size(), static_cast<std::size_t>(tip->cchTextMax - 1));
    whole.copy(tip->pszText, n);
    tip->pszText[n] = '\0';
    break;
  }
  return 0;
}

LRESULT FormWindow::OnOtherMessage(const Message& m) {
  // The forms' own messages (activation, unattended modes, workers' news).
  if (m.msg >= WM_USER && m.msg < 0xC000) {
    bool handled = false;
    toolkit_.Guard([&] {
      handled =
          form_.HandleMessage(m.msg, static_cast<hv::ui::WPARAM>(m.wParam), static_cast<hv::ui::LPARAM>(m.lParam));
    });
    if (handled) return 0;
  }
  return DefaultFormProc(m);
}

}  // namespace w32ui
