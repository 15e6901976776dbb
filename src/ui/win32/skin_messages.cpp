// The procedure of the owner-drawn controls (buttons, check boxes, the image
// button, line panels, progress bars, a dialog's links): one handler per message.
#include "ui/win32/form_window.h"

#include "ui/win32/toolkit_impl.h"

namespace w32ui {

using hv::ui::Control;
using hv::ui::Kind;

namespace {

POINT PointOf(LPARAM lParam) { return {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))}; }

template <typename Slot>
Control& ControlOf(const Slot& slot) {
  return static_cast<Control&>(*slot.component);
}

// Line panels and progress bars only show something.
bool Clickable(const Control& control) {
  return control.GetKind() != Kind::ImagePanel && control.GetKind() != Kind::ProgressBar;
}

bool Inside(HWND window, POINT p) {
  RECT client{};
  ::GetClientRect(window, &client);
  return ::PtInRect(&client, p) != 0;
}

}  // namespace

LRESULT FormWindow::HandleSkinMessage(Slot& slot, UINT msg, WPARAM wParam, LPARAM lParam) {
  const Message m{msg, wParam, lParam};
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      return OnSkinPaint(slot, m);
    case WM_SETCURSOR:
      return OnSkinSetCursor(slot, m);
    case WM_MOUSEMOVE:
      return OnSkinMouseMove(slot, m);
    case WM_MOUSELEAVE:
      return OnSkinMouseLeave(slot, m);
    case WM_LBUTTONDOWN:
      return OnSkinLButtonDown(slot, m);
    case WM_LBUTTONUP:
      return OnSkinLButtonUp(slot, m);
    case WM_CAPTURECHANGED:
      return OnSkinCaptureChanged(slot, m);
    case WM_GETDLGCODE:
      return OnSkinGetDlgCode(slot, m);
    case WM_KEYDOWN:
      return OnSkinKeyDown(slot, m);
    case WM_KEYUP:
      return OnSkinKeyUp(slot, m);
    case BM_CLICK:
      return OnSkinBmClick(slot, m);
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      return OnSkinFocus(slot, m);
    case WM_ENABLE:
      ::InvalidateRect(slot.child, nullptr, FALSE);
      return 0;
    default:
      return DefaultSkinProc(slot, m);
  }
}

LRESULT FormWindow::DefaultSkinProc(Slot& slot, const Message& m) {
  return ::DefWindowProcA(slot.child, m.msg, m.wParam, m.lParam);
}

LRESULT FormWindow::OnSkinPaint(Slot& slot, const Message&) {
  PaintDc paint(slot.child);
  RECT client{};
  ::GetClientRect(slot.child, &client);
  BackBuffer buffer(paint.get(), client.right, client.bottom);
  PaintSkinned(buffer.get(), slot, client);
  buffer.CopyTo(paint.get(), 0, 0);
  return 0;
}

LRESULT FormWindow::OnSkinSetCursor(Slot& slot, const Message& m) {
  if (LOWORD(m.lParam) != HTCLIENT) return DefaultSkinProc(slot, m);
  const Control& control = ControlOf(slot);
  const bool hand = (control.HandCursor() || control.GetKind() == Kind::UrlLabel) && Clickable(control);
  ::SetCursor(::LoadCursorA(nullptr, MAKEINTRESOURCEA(hand ? 32649 : 32512)));
  return TRUE;
}

LRESULT FormWindow::OnSkinMouseMove(Slot& slot, const Message& m) {
  if (!slot.hot) {
    TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, slot.child, 0};
    ::TrackMouseEvent(&track);
    slot.hot = true;
    ::InvalidateRect(slot.child, nullptr, FALSE);
  }
  if (slot.pressed) {
    const bool inside = Inside(slot.child, PointOf(m.lParam));
    if (inside != slot.hot) {
      slot.hot = inside;
      ::InvalidateRect(slot.child, nullptr, FALSE);
    }
  }
  return 0;
}

LRESULT FormWindow::OnSkinMouseLeave(Slot& slot, const Message&) {
  if (!slot.pressed) {
    if (slot.hot && slot.component->GetKind() == Kind::UrlLabel) {
      // A link once hovered keeps its "visited" colour.
      auto& link = static_cast<hv::ui::LinkLabel&>(*slot.component);
      toolkit_.Guard([&] { link.SetFontColor(link.LinkColor); });
    }
    slot.hot = false;
    ::InvalidateRect(slot.child, nullptr, FALSE);
  }
  return 0;
}

LRESULT FormWindow::OnSkinLButtonDown(Slot& slot, const Message&) {
  if (!Clickable(ControlOf(slot))) return 0;
  if ((::GetWindowLongA(slot.child, GWL_STYLE) & WS_TABSTOP) != 0) ::SetFocus(slot.child);
  slot.pressed = true;
  slot.hot = true;
  ::SetCapture(slot.child);
  ::InvalidateRect(slot.child, nullptr, FALSE);
  return 0;
}

LRESULT FormWindow::OnSkinLButtonUp(Slot& slot, const Message& m) {
  if (!slot.pressed) return 0;
  slot.pressed = false;
  ::ReleaseCapture();
  const bool inside = Inside(slot.child, PointOf(m.lParam));
  slot.hot = inside;
  ::InvalidateRect(slot.child, nullptr, FALSE);
  if (inside) Click(slot);
  return 0;
}

LRESULT FormWindow::OnSkinCaptureChanged(Slot& slot, const Message&) {
  if (slot.pressed) {
    slot.pressed = false;
    ::InvalidateRect(slot.child, nullptr, FALSE);
  }
  return 0;
}

LRESULT FormWindow::OnSkinGetDlgCode(Slot& slot, const Message& m) {
  // Push buttons say whether they are the default one, as the system's
  // buttons do, so that the dialog manager finds and moves the default.
  LRESULT code = DLGC_BUTTON;
  if (IsPushButton(slot)) code |= ShowsDefault(slot) ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON;
  const auto* key = reinterpret_cast<const MSG*>(m.lParam);
  const bool checkBox = ControlOf(slot).GetKind() == Kind::CheckBox;
  if (key != nullptr && (key->message == WM_KEYDOWN || key->message == WM_KEYUP) &&
      (key->wParam == VK_SPACE || (key->wParam == VK_RETURN && !checkBox))) {
    code |= DLGC_WANTMESSAGE;
  }
  return code;
}

LRESULT FormWindow::OnSkinKeyDown(Slot& slot, const Message& m) {
  const Control& control = ControlOf(slot);
  if (!Clickable(control)) return DefaultSkinProc(slot, m);
  if (m.wParam == VK_SPACE && !slot.keyPressed) {
    slot.keyPressed = slot.pressed = slot.hot = true;
    ::InvalidateRect(slot.child, nullptr, FALSE);
    return 0;
  }
  if (m.wParam == VK_RETURN && control.GetKind() != Kind::CheckBox) {
    KeyboardClick(slot);
    return 0;
  }
  return DefaultSkinProc(slot, m);
}

LRESULT FormWindow::OnSkinKeyUp(Slot& slot, const Message& m) {
  if (m.wParam != VK_SPACE || !slot.keyPressed) return DefaultSkinProc(slot, m);
  slot.keyPressed = slot.pressed = false;
  slot.hot = false;
  ::InvalidateRect(slot.child, nullptr, FALSE);
  KeyboardClick(slot);
  return 0;
}

LRESULT FormWindow::OnSkinBmClick(Slot& slot, const Message&) {
  // The dialog manager's answer to the control's mnemonic.
  const Control& control = ControlOf(slot);
  if (Clickable(control) && control.EnabledWithParents()) KeyboardClick(slot);
  return 0;
}

LRESULT FormWindow::OnSkinFocus(Slot& slot, const Message& m) {
  if (m.msg == WM_KILLFOCUS && slot.keyPressed) slot.keyPressed = slot.pressed = false;
  ::InvalidateRect(slot.child, nullptr, FALSE);
  // The default frame moves with the focus.
  InvalidatePushButtons();
  return 0;
}

}  // namespace w32ui
