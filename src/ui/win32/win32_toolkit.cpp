#include "ui/win32/win32_toolkit.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "ui/win32/form_window.h"
#include "ui/win32/toolkit_impl.h"
#include "ui/win32/win_handles.h"

#include <commctrl.h>

// Inside the hv::ui member functions below, unqualified HWND is the platform
// interface's handle; the real one is spelt ::HWND.
namespace hv::ui {

using w32ui::FromWin;
using w32ui::ToWin;

namespace {

void InitCommonControlsOnce() {
  INITCOMMONCONTROLSEX init{sizeof(init), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&init);
}

// The button Enter would press in a box of these MB_* flags: the first, or
// the one MB_DEFBUTTONn names when the box has it.
int DefaultAnswer(UINT flags) {
  static const std::vector<int> kButtons[] = {{IDOK},          {IDOK, IDCANCEL},   {IDABORT, IDRETRY, IDIGNORE},
                                              {IDYES, IDNO, IDCANCEL}, {IDYES, IDNO}, {IDRETRY, IDCANCEL}};
  const UINT type = flags & MB_TYPEMASK;
  const std::vector<int>& buttons = type < 6 ? kButtons[type] : kButtons[0];
  const std::size_t index = (flags & MB_DEFMASK) >> 8;
  return index < buttons.size() ? buttons[index] : buttons.front();
}

}  // namespace

Win32Toolkit::Win32Toolkit() : impl_(std::make_unique<w32ui::ToolkitImpl>(*this)) { InitCommonControlsOnce(); }

Win32Toolkit::~Win32Toolkit() = default;

void Win32Toolkit::ShowForm(Form& form) { impl_->ShowForm(form); }

void Win32Toolkit::HideForm(Form& form) { impl_->HideForm(form); }

int Win32Toolkit::RunModal(Form& form) { return impl_->RunModal(form); }

void Win32Toolkit::RunMain(Form& mainForm) { impl_->RunMain(mainForm); }

void Win32Toolkit::DestroyWindow(Form& form) { impl_->DestroyWindow(form); }

void Win32Toolkit::FormChanged(Form& form, Component* component) {
  if (w32ui::FormWindow* window = impl_->WindowOf(form)) window->Changed(component);
}

void Win32Toolkit::MinimizeApplication() {
  if (::HWND main = impl_->MainHandle()) ::ShowWindow(main, SW_MINIMIZE);
}

void Win32Toolkit::HideApplication() {
  // The taskbar button belongs to the main window and goes with it.
  if (Form* main = impl_->MainForm()) impl_->HideForm(*main);
}

void Win32Toolkit::SetApplicationTitle(const std::string& title) { impl_->SetAppTitle(title); }

BOOL Win32Toolkit::PostMessageA(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (window == nullptr) return FALSE;
  return ::PostMessageA(ToWin(window), msg, static_cast<::WPARAM>(wParam), static_cast<::LPARAM>(lParam));
}

bool Win32Toolkit::SendToUiThread(HWND window, std::function<void()> fn) {
  if (window == nullptr) return false;
  if (::GetCurrentThreadId() == impl_->UiThread()) {
    // Already on the UI thread: waiting for the queue would deadlock.
    if (!::IsWindow(ToWin(window))) return false;
    impl_->Guard(fn);
    return true;
  }
  return impl_->Calls().Send(ToWin(window), std::move(fn));
}

int Win32Toolkit::MessageBoxA(Form* owner, const std::string& text, const std::string& caption, UINT flags) {
  if (Diverted(text)) return DefaultAnswer(flags);
  ::HWND parent = owner != nullptr && owner->Handle() != nullptr ? ToWin(owner->Handle()) : impl_->ActiveOwner();
  return ::MessageBoxA(parent, text.c_str(), caption.c_str(), flags);
}

void Win32Toolkit::Popup(PopupMenu& menu, Point screenPoint) {
  const auto& items = menu.Items();
  w32ui::UniqueMenu handle(::CreatePopupMenu());
  if (!handle) return;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const MenuItem& item = *items[i];
    if (!item.Visible()) continue;
    if (item.IsSeparator()) {
      ::AppendMenuA(handle.get(), MF_SEPARATOR, 0, nullptr);
      continue;
    }
    UINT flags = MF_STRING;
    if (item.Checked()) flags |= MF_CHECKED;
    if (!item.Enabled()) flags |= MF_GRAYED;
    ::AppendMenuA(handle.get(), flags, i + 1, item.Caption().c_str());
  }
  ::HWND owner = menu.Owner().Handle() != nullptr ? ToWin(menu.Owner().Handle()) : impl_->ActiveOwner();
  // The menu closes properly on a click elsewhere only when its owner is
  // the foreground window.
  ::SetForegroundWindow(owner);
  const UINT chosen = static_cast<UINT>(::TrackPopupMenu(
      handle.get(), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, screenPoint.x,
      screenPoint.y, 0, owner, nullptr));
  ::PostMessageA(owner, WM_NULL, 0, 0);
  if (chosen >= 1 && chosen <= items.size()) items[chosen - 1]->Click();
}

Point Win32Toolkit::GetCursorPos() {
  if (const POINT* anchor = impl_->KeyboardAnchor()) return {anchor->x, anchor->y};
  POINT p{};
  ::GetCursorPos(&p);
  return {p.x, p.y};
}

namespace {

// The width of `text` in `font`, or, before the form has a window, in a font
// made as the window would make it: the layouts measure their labels while
// they are built.
int MeasureText(HFONT font, const FontSpec& face, int height, bool bold, const std::string& text) {
  w32ui::UniqueFont own;
  if (font == nullptr) {
    own.reset(::CreateFontA(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                            face.face.c_str()));
    font = own.get();
  }
  w32ui::WindowDc dc(nullptr);
  w32ui::Selected selected(dc.get(), font);
  SIZE size{};
  ::GetTextExtentPoint32A(dc.get(), text.c_str(), static_cast<int>(text.size()), &size);
  return size.cx;
}

}  // namespace

int Win32Toolkit::TextWidth(const Form& form, const std::string& text) {
  w32ui::FormWindow* window = impl_->WindowOf(form);
  const FontSpec& face = form.Font();
  return MeasureText(window != nullptr ? window->PlainFont() : nullptr, face, face.height, face.bold, text);
}

int Win32Toolkit::ControlTextWidth(const Form& form, const Control& control, const std::string& text) {
  w32ui::FormWindow* window = impl_->WindowOf(form);
  const FontSpec& face = form.Font();
  const int height = control.FontHeight() != 0 ? control.FontHeight() : face.height;
  return MeasureText(window != nullptr ? window->FontFor(control) : nullptr, face, height,
                     face.bold || control.Bold(), text);
}

void Win32Toolkit::ShowApplicationError(const std::string& text) {
  if (Diverted(text)) return;
  impl_->ShowError(text.c_str());
}

std::int64_t Win32Toolkit::TickCount() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

HWND Win32Toolkit::FindWindowA(const char* className) { return FromWin(::FindWindowA(className, nullptr)); }

BOOL Win32Toolkit::SetForegroundWindow(HWND window) { return ::SetForegroundWindow(ToWin(window)); }

BOOL Win32Toolkit::IsIconic(HWND window) { return ::IsIconic(ToWin(window)); }

BOOL Win32Toolkit::ShowWindow(HWND window, int cmd) { return ::ShowWindow(ToWin(window), cmd); }

HWND Win32Toolkit::GetLastActivePopup(HWND window) { return FromWin(::GetLastActivePopup(ToWin(window))); }

BOOL Win32Toolkit::IsWindowVisible(HWND window) { return ::IsWindowVisible(ToWin(window)); }

BOOL Win32Toolkit::IsWindowEnabled(HWND window) { return ::IsWindowEnabled(ToWin(window)); }

HWND Win32Toolkit::ApplicationHandle() { return FromWin(impl_->MainHandle()); }

bool Win32Toolkit::PumpUntil(const std::function<bool()>& done, int timeoutMs) {
  const std::int64_t end = TickCount() + timeoutMs;
  while (!done()) {
    const std::int64_t left = end - TickCount();
    if (left <= 0) return false;
    // Wait for a message or the deadline, then handle what arrived.
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<std::int64_t>(left, 50)),
                                QS_ALLINPUT);
    MSG msg{};
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        ::PostQuitMessage(static_cast<int>(msg.wParam));
        return done();
      }
      impl_->Dispatch(msg);
      if (done()) return true;
    }
  }
  return true;
}

HWND Win32Toolkit::ControlHandle(const Form& form, const Component& component) const {
  w32ui::FormWindow* window = impl_->WindowOf(form);
  return window != nullptr ? FromWin(window->ChildHandle(component)) : nullptr;
}

}  // namespace hv::ui
