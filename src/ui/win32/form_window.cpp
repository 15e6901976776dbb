#include "ui/win32/form_window.h"

// After <windows.h>, which the toolkit headers bring in.
#include <commctrl.h>

#include <algorithm>

#include "ui/messages.h"
#include "ui/win32/pictures.h"
#include "ui/win32/toolkit_impl.h"

namespace w32ui {

using hv::ui::Control;
using hv::ui::Kind;

namespace {

constexpr char kSkinClass[] = "HivoraSkinControl";

HINSTANCE Module() { return ::GetModuleHandleA(nullptr); }

RECT ToRect(const hv::ui::Rect& r) { return RECT{r.left, r.top, r.left + r.width, r.top + r.height}; }

UniqueFont MakeFont(const hv::ui::FontSpec& font, bool bold, bool underline) {
  return UniqueFont(::CreateFontA(font.height, 0, 0, 0, (bold || font.bold) ? FW_BOLD : FW_NORMAL, FALSE,
                                  underline ? TRUE : FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                  CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                                  font.face.c_str()));
}

// Window styles of each border style. The borderless main window keeps a
// system menu and a minimise box (not drawn without a caption) so that its
// taskbar button can minimise and restore it.
void StylesFor(hv::ui::BorderStyle border, bool owned, DWORD& style, DWORD& exStyle) {
  switch (border) {
    case hv::ui::BorderStyle::None:
      style = WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
      exStyle = owned ? 0 : WS_EX_APPWINDOW;
      break;
    case hv::ui::BorderStyle::Dialog:
      style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN | DS_MODALFRAME;
      exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
      break;
    case hv::ui::BorderStyle::DialogNoSystemMenu:
      style = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN | DS_MODALFRAME;
      exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
      break;
  }
}

RECT WorkArea() {
  RECT area{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  return area;
}

// Top-left corner of a window of size w x h centred on `owner` (when shown
// and not minimised) or on the work area, kept on the work area.
POINT CentredOn(HWND owner, bool onOwner, int w, int h) {
  const RECT area = WorkArea();
  RECT base = area;
  if (onOwner && owner != nullptr && ::IsWindowVisible(owner) && !::IsIconic(owner)) {
    ::GetWindowRect(owner, &base);
  }
  POINT p{base.left + (base.right - base.left - w) / 2, base.top + (base.bottom - base.top - h) / 2};
  p.x = std::max(area.left, std::min(p.x, area.right - w));
  p.y = std::max(area.top, std::min(p.y, area.bottom - h));
  return p;
}

}  // namespace

std::string WindowText(HWND window) {
  const int length = ::GetWindowTextLengthA(window);
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  const int got = ::GetWindowTextA(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(std::max(got, 0)));
  return text;
}

Realisation RealisationOf(Kind kind) {
  switch (kind) {
    case Kind::Label:
    case Kind::UrlLabel:
    case Kind::Image:
    case Kind::HoverImage:
    case Kind::GroupBox:
    case Kind::SkinGroupBox:
    case Kind::Panel:
      return Realisation::Painted;
    case Kind::Button:
    case Kind::SkinButton:
    case Kind::FlatButton:
    case Kind::CheckBox:
    case Kind::ImageButton:
    case Kind::ImagePanel:
    case Kind::ProgressBar:
      return Realisation::Skinned;
    case Kind::ListView:
      return Realisation::ListView;
    case Kind::Memo:
      return Realisation::Memo;
    case Kind::Timer:
    case Kind::PopupMenu:
    case Kind::MenuItem:
      return Realisation::None;
  }
  return Realisation::None;
}

FormWindow::FormWindow(ToolkitImpl& toolkit, hv::ui::Form& form) : toolkit_(toolkit), form_(form) {}

FormWindow::~FormWindow() { Destroy(); }

bool FormWindow::RegisterSkinClass() {
  WNDCLASSEXA existing{};
  existing.cbSize = sizeof(existing);
  if (::GetClassInfoExA(Module(), kSkinClass, &existing)) return true;
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = SkinProc;
  wc.hInstance = Module();
  wc.hCursor = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512) /* IDC_ARROW */);
  wc.lpszClassName = kSkinClass;
  return ::RegisterClassExA(&wc) != 0;
}

bool FormWindow::RegisterFormClass(const std::string& className) {
  WNDCLASSEXA existing{};
  existing.cbSize = sizeof(existing);
  if (::GetClassInfoExA(Module(), className.c_str(), &existing)) return true;
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = FormProc;
  wc.hInstance = Module();
  wc.hIcon = toolkit_.Pictures().Icon(32);
  wc.hIconSm = toolkit_.Pictures().Icon(16);
  wc.hCursor = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512) /* IDC_ARROW */);
  wc.lpszClassName = className.c_str();
  return ::RegisterClassExA(&wc) != 0;
}

bool FormWindow::Create(HWND owner) {
  if (window_ != nullptr) return true;
  hv::ui::CreateParamsRec params;
  toolkit_.Guard([&] { form_.CreateParams(params); });
  if (params.windowClassName.empty()) params.windowClassName = "T" + form_.Name();
  // The system's class-name field holds 63 characters and a NUL.
  if (params.windowClassName.size() > 63) params.windowClassName.resize(63);
  if (!RegisterSkinClass() || !RegisterFormClass(params.windowClassName)) return false;

  DWORD style = 0, exStyle = 0;
  StylesFor(form_.Border(), owner != nullptr, style, exStyle);
  RECT frame{0, 0, form_.ClientWidth(), form_.ClientHeight()};
  ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  const int w = frame.right - frame.left, h = frame.bottom - frame.top;
  const POINT at = CentredOn(owner, form_.Position() == hv::ui::FormPosition::OwnerCenter, w, h);
  const bool borderless = form_.Border() == hv::ui::BorderStyle::None;
  const std::string title =
      borderless && !toolkit_.AppTitle().empty() ? toolkit_.AppTitle() : form_.Caption();

  HWND created = ::CreateWindowExA(exStyle, params.windowClassName.c_str(), title.c_str(), style, at.x,
                                   at.y, w, h, owner, nullptr, Module(), this);
  if (created == nullptr) return false;
  window_ = created;
  form_.AttachWindow(FromWin(window_));
  toolkit_.Calls().Open(window_);

  font_ = MakeFont(form_.Font(), false, false);
  boldFont_ = MakeFont(form_.Font(), true, false);
  linkFont_ = MakeFont(form_.Font(), false, true);
  boldLinkFont_ = MakeFont(form_.Font(), true, true);

  tooltip_.reset(::CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                                   WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr,
                                   Module(), nullptr));

  for (const auto& component : form_.Components()) AddSlot(*component);
  OrderChildren();
  return true;
}

void FormWindow::Destroy() {
  if (window_ == nullptr || destroying_) return;
  destroying_ = true;
  HWND window = window_;
  toolkit_.Calls().CancelFor(window);
  for (auto& slot : slots_) {
    if (slot->timerInterval != 0) ::KillTimer(window, slot->index + 1);
    slot->timerInterval = 0;
  }
  tooltip_.reset();
  ::DestroyWindow(window);
  sizedFonts_.clear();
  window_ = nullptr;
  hot_ = pressed_ = nullptr;
  slots_.clear();
  destroying_ = false;
}

HWND FormWindow::ChildHandle(const hv::ui::Component& component) const {
  const Slot* slot = SlotOf(&component);
  return slot != nullptr ? slot->child : nullptr;
}

bool LooksLikeLink(const Control& control) {
  return control.GetKind() == Kind::UrlLabel || (control.GetKind() == Kind::Label && control.HandCursor());
}

HFONT FormWindow::FontFor(const Control& control) const {
  const bool link = LooksLikeLink(control);
  if (control.FontHeight() != 0) {
    UniqueFont& font = sizedFonts_[{control.FontHeight(), control.Bold(), link}];
    if (!font) {
      hv::ui::FontSpec face = form_.Font();
      face.height = control.FontHeight();
      font = MakeFont(face, control.Bold(), link);
    }
    return font.get();
  }
  if (control.Bold()) return link ? boldLinkFont_.get() : boldFont_.get();
  return link ? linkFont_.get() : font_.get();
}

// --- Window procedures.

LRESULT CALLBACK FormWindow::FormProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    auto* self = static_cast<FormWindow*>(create->lpCreateParams);
    ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->window_ = window;
  }
  auto* self = reinterpret_cast<FormWindow*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self == nullptr || self->window_ != window) return ::DefWindowProcA(window, msg, wParam, lParam);
  if (msg == WM_NCDESTROY) {
    ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    self->toolkit_.Calls().CancelFor(window);
    if (!self->destroying_) {
      // Destroyed from outside the toolkit (the session ends): forget it.
      self->window_ = nullptr;
      self->hot_ = self->pressed_ = nullptr;
      self->form_.DetachWindow();
    }
    return ::DefWindowProcA(window, msg, wParam, lParam);
  }
  return self->HandleFormMessage(msg, wParam, lParam);
}

LRESULT CALLBACK FormWindow::SkinProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* slot = reinterpret_cast<Slot*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  if (slot == nullptr) return ::DefWindowProcA(window, msg, wParam, lParam);
  if (msg == WM_NCDESTROY) {
    ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    slot->child = nullptr;
    return ::DefWindowProcA(window, msg, wParam, lParam);
  }
  if (slot->child == nullptr) slot->child = window;
  return slot->owner->HandleSkinMessage(*slot, msg, wParam, lParam);
}

// --- Painting.

void FormWindow::PaintSurface(HDC dc, const RECT& area) {
  FillSolid(dc, area, ::GetSysColor(COLOR_BTNFACE));
  for (auto& slot : slots_) {
    if (slot->how != Realisation::Painted) continue;
    const auto& control = static_cast<const Control&>(*slot->component);
    if (!control.Showing()) continue;
    RECT r = ToRect(control.FormBounds());
    if (control.GetKind() == Kind::HoverImage) ::InflateRect(&r, 2, 2);
    RECT meet{};
    if (!::IntersectRect(&meet, &r, &area)) continue;
    PaintSlot(dc, *slot);
  }
}

void FormWindow::PaintSlot(HDC dc, Slot& slot) {
  auto& control = static_cast<Control&>(*slot.component);
  RECT r = ToRect(control.FormBounds());
  const ControlState state{slot.hot, slot.pressed, control.EnabledWithParents(), false};
  switch (control.GetKind()) {
    case Kind::Image:
    case Kind::HoverImage: {
      const PictureSet set = PicturesFor(form_, control);
      const bool down = slot.pressed && slot.hot;
      const Picture picture = down ? set.pressed : slot.hot ? set.hover : set.normal;
      // The hover picture follows the pointer's press by 2 pixels.
      if (control.GetKind() == Kind::HoverImage && down) ::OffsetRect(&r, 2, 2);
      if (!DrawPicture(dc, toolkit_.Pictures(), picture, r) && picture == Picture::Background) {
        FillGradient(dc, r, RGB(0xFF, 0xFF, 0xFF), RGB(0xE3, 0xEA, 0xF3));
      }
      break;
    }
    case Kind::Label: {
      COLORREF color = state.enabled ? ::GetSysColor(COLOR_WINDOWTEXT) : ::GetSysColor(COLOR_GRAYTEXT);
      if (state.enabled && LooksLikeLink(control)) color = RGB(0, 0, 0xFF);
      PaintText(dc, r, control.Caption(), FontFor(control), color, control.Alignment());
      break;
    }
    case Kind::UrlLabel: {
      const auto& link = static_cast<const hv::ui::LinkLabel&>(control);
      const std::uint32_t color = slot.hot ? link.HoverColor : link.FontColor();
      PaintText(dc, r, control.Caption(), FontFor(control), static_cast<COLORREF>(color),
                control.Alignment());
      break;
    }
    case Kind::GroupBox:
    case Kind::SkinGroupBox:
      PaintGroupBox(dc, r, control.Caption(), FontFor(control));
      break;
    case Kind::Panel:
      PaintBevel(dc, r);
      break;
    default:
      break;
  }
}

void FormWindow::PaintSkinned(HDC dc, Slot& slot, const RECT& client) {
  auto& control = static_cast<Control&>(*slot.component);
  // What lies under the control: the form's surface, so that rounded
  // corners and check box captions show the background.
  const hv::ui::Rect b = control.FormBounds();
  POINT old{};
  ::SetViewportOrgEx(dc, -b.left, -b.top, &old);
  PaintSurface(dc, ToRect(b));
  ::SetViewportOrgEx(dc, old.x, old.y, nullptr);

  // Keyboard cues follow the window's state: hidden until the keyboard is
  // used, where the system's setting says so.
  const auto uiState = static_cast<UINT>(::SendMessageA(slot.child, WM_QUERYUISTATE, 0, 0));
  ControlState state{slot.hot, slot.pressed, control.EnabledWithParents(),
                     ::GetFocus() == slot.child && (uiState & UISF_HIDEFOCUS) == 0};
  state.isDefault = ShowsDefault(slot);
  state.hideAccel = (uiState & UISF_HIDEACCEL) != 0;
  const Palette& palette = PaletteFor(control.Style());
  switch (control.GetKind()) {
    case Kind::Button:
    case Kind::SkinButton:
      PaintSkinButton(dc, client, control.Caption(), FontFor(control), palette, state);
      break;
    case Kind::FlatButton:
      // The window text carries the keyboard letter's marker.
      PaintFlatButton(dc, client, WindowText(slot.child), FontFor(control), control.BorderColor(), state);
      break;
    case Kind::CheckBox:
      // As a flat button's, the window text carries the keyboard letter.
      PaintCheckBox(dc, client, WindowText(slot.child), FontFor(control), palette,
                    static_cast<hv::ui::CheckBox&>(control).Checked(), state);
      break;
    case Kind::ImageButton: {
      const PictureSet set = PicturesFor(form_, control);
      const bool down = slot.pressed && slot.hot;
      const Picture picture = down ? set.pressed : slot.hot ? set.hover : set.normal;
      if (!DrawPicture(dc, toolkit_.Pictures(), picture, client)) {
        PaintSkinButton(dc, client, control.Caption(), FontFor(control), palette, state);
      }
      break;
    }
    case Kind::ImagePanel: {
      const std::uint32_t color = control.BorderColor();
      FillSolid(dc, client, color != 0 ? static_cast<COLORREF>(color) : ::GetSysColor(COLOR_ACTIVECAPTION));
      break;
    }
    case Kind::Label:
    case Kind::UrlLabel: {
      // A dialog's link: painted as on the surface, with the focus frame
      // around its text when the keyboard is on it.
      COLORREF color = RGB(0, 0, 0xFF);
      if (control.GetKind() == Kind::UrlLabel) {
        const auto& link = static_cast<const hv::ui::LinkLabel&>(control);
        color = static_cast<COLORREF>(slot.hot ? link.HoverColor : link.FontColor());
      }
      if (!state.enabled) color = ::GetSysColor(COLOR_GRAYTEXT);
      PaintText(dc, client, control.Caption(), FontFor(control), color, control.Alignment());
      if (state.focused) ::DrawFocusRect(dc, &client);
      break;
    }
    case Kind::ProgressBar: {
      const auto& bar = static_cast<const hv::ui::ProgressBar&>(control);
      const double span = static_cast<double>(bar.Max()) - bar.Min();
      const double fraction = span > 0 ? (static_cast<double>(bar.Position()) - bar.Min()) / span : 0.0;
      PaintProgressBar(dc, client, fraction, bar.ShowPercent() ? bar.PercentText() : std::string(),
                       FontFor(control), palette);
      break;
    }
    default:
      break;
  }
}

// --- Mouse on painted controls.

FormWindow::Slot* FormWindow::PaintedAt(POINT point) const {
  for (auto it = slots_.rbegin(); it != slots_.rend(); ++it) {
    Slot& slot = **it;
    if (slot.how != Realisation::Painted) continue;
    const Kind kind = slot.component->GetKind();
    if (kind == Kind::GroupBox || kind == Kind::SkinGroupBox || kind == Kind::Panel) continue;
    const auto& control = static_cast<const Control&>(*slot.component);
    if (!control.Showing()) continue;
    const RECT r = ToRect(control.FormBounds());
    if (::PtInRect(&r, point)) return &slot;
  }
  return nullptr;
}

void FormWindow::SetHot(Slot* slot) {
  if (pressed_ != nullptr && slot != pressed_) slot = nullptr;  // only the pressed one lights
  if (slot == hot_) return;
  Slot* previous = hot_;
  hot_ = slot;
  if (previous != nullptr) {
    previous->hot = false;
    InvalidateSlot(*previous);
    if (previous->component->GetKind() == Kind::UrlLabel) {
      // A link once hovered keeps its "visited" colour.
      auto& link = static_cast<hv::ui::LinkLabel&>(*previous->component);
      toolkit_.Guard([&] { link.SetFontColor(link.LinkColor); });
    }
  }
  if (slot != nullptr) {
    slot->hot = true;
    InvalidateSlot(*slot);
  }
}

bool FormWindow::IsPushButton(const Slot& slot) {
  const Kind kind = slot.component->GetKind();
  return (kind == Kind::Button || kind == Kind::SkinButton) && slot.child != nullptr;
}

bool FormWindow::ShowsDefault(const Slot& slot) const {
  if (!IsPushButton(slot)) return false;
  // A focused push button is the default while it has the focus.
  const HWND focus = ::GetFocus();
  for (const auto& other : slots_) {
    if (other->child == focus && IsPushButton(*other)) return other.get() == &slot;
  }
  return static_cast<const Control&>(*slot.component).Default();
}

FormWindow::Slot* FormWindow::SlotWith(bool (Control::*flag)() const) const {
  for (const auto& slot : slots_) {
    if (!IsPushButton(*slot)) continue;
    const auto& control = static_cast<const Control&>(*slot->component);
    if ((control.*flag)() && control.Usable()) return slot.get();
  }
  return nullptr;
}

FormWindow::Slot* FormWindow::SlotById(int id) const {
  const int index = id - kFirstControlId;
  return index >= 0 && static_cast<std::size_t>(index) < slots_.size() ? slots_[index].get() : nullptr;
}

void FormWindow::Click(Slot& slot) {
  auto& control = static_cast<Control&>(*slot.component);
  if (!control.EnabledWithParents()) return;
  toolkit_.Guard([&] { control.Click(); });
}

void FormWindow::KeyboardClick(Slot& slot) {
  // The control's lower left corner, where a menu below it begins.
  RECT r{};
  if (slot.child == nullptr || !::GetWindowRect(slot.child, &r)) {
    Click(slot);
    return;
  }
  const POINT at{r.left, r.bottom};
  const POINT* outer = toolkit_.KeyboardAnchor();
  const POINT saved = outer != nullptr ? *outer : POINT{};
  const bool hadOuter = outer != nullptr;
  toolkit_.SetKeyboardAnchor(&at);
  Click(slot);
  toolkit_.SetKeyboardAnchor(hadOuter ? &saved : nullptr);
}

void FormWindow::InvalidateSlot(Slot& slot) {
  if (window_ == nullptr) return;
  if (slot.child != nullptr) {
    ::InvalidateRect(slot.child, nullptr, FALSE);
    return;
  }
  RECT r = slot.shown;
  ::InflateRect(&r, 3, 3);  // the hover picture's shift
  ::InvalidateRect(window_, &r, FALSE);
}

}  // namespace w32ui
