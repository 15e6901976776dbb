#pragma once
// The native Win32 toolkit: every form a top-level window, every windowed
// control a child window, a posted message a PostMessage.
//
// Labels, pictures, flat buttons, link labels, group boxes and bevel panels
// have no window of their own: the form paints them and routes the mouse to
// them, so the borderless main window's hit test sees them (a press on one
// does not drag the window). The skinned windowed controls (push buttons,
// check boxes, the image button, line panels, progress bars) are owner-drawn
// child windows; the list view and the memo are the system's controls.
//
// This header does not include <windows.h>; it can be used by code that must
// not see the Win32 macros.
#include <memory>

#include "ui/toolkit.h"

namespace w32ui {
class ToolkitImpl;
}

namespace hv::ui {

class Win32Toolkit final : public Toolkit {
 public:
  // Call on the thread that will run the windows (the UI thread).
  Win32Toolkit();
  ~Win32Toolkit() override;
  Win32Toolkit(const Win32Toolkit&) = delete;
  Win32Toolkit& operator=(const Win32Toolkit&) = delete;

  void ShowForm(Form& form) override;
  void HideForm(Form& form) override;
  int RunModal(Form& form) override;
  void RunMain(Form& mainForm) override;
  void DestroyWindow(Form& form) override;
  void FormChanged(Form& form, Component* component) override;
  void MinimizeApplication() override;
  void HideApplication() override;
  void SetApplicationTitle(const std::string& title) override;

  BOOL PostMessageA(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) override;
  bool SendToUiThread(HWND window, std::function<void()> fn) override;

  int MessageBoxA(Form* owner, const std::string& text, const std::string& caption,
                  UINT flags) override;
  void Popup(PopupMenu& menu, Point screenPoint) override;
  Point GetCursorPos() override;
  int TextWidth(const Form& form, const std::string& text) override;
  int ControlTextWidth(const Form& form, const Control& control, const std::string& text) override;
  void ShowApplicationError(const std::string& text) override;

  std::int64_t TickCount() override;

  HWND FindWindowA(const char* className) override;
  BOOL SetForegroundWindow(HWND window) override;
  BOOL IsIconic(HWND window) override;
  BOOL ShowWindow(HWND window, int cmd) override;
  HWND GetLastActivePopup(HWND window) override;
  BOOL IsWindowVisible(HWND window) override;
  BOOL IsWindowEnabled(HWND window) override;
  HWND ApplicationHandle() override;

  // --- For tests and tools.
  // Runs the message loop until `done` answers true or `timeoutMs` passed;
  // true when `done` answered true.
  bool PumpUntil(const std::function<bool()>& done, int timeoutMs);
  // The native window of a form's windowed control (null for painted ones).
  HWND ControlHandle(const Form& form, const Component& component) const;

 private:
  std::unique_ptr<w32ui::ToolkitImpl> impl_;
};

}  // namespace hv::ui
