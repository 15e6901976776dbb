#pragma once
// The toolkit interface: what a GUI backend provides to realise forms.
//
// Two backends: the terminal (ui/console) and native Win32 windows
// (ui/win32). A form is a window, a component a child window, a posted
// message a PostMessage; the calls below map one to one onto Win32.
#include <cstdint>
#include <functional>
#include <string>

#include "platform/types.h"
#include "ui/component.h"
#include "ui/messages.h"

namespace hv::ui {

class Form;

class Toolkit {
 public:
  virtual ~Toolkit() = default;

  // --- Forms. All on the UI thread.
  // Creates the form's window (CreateParams consulted) if it has none, shows
  // it, and runs FormShow then (once per window) FormActivate.
  virtual void ShowForm(Form& form) = 0;
  virtual void HideForm(Form& form) = 0;
  // Shows the form and runs a message loop until its modal result is set or
  // it is closed; destroys its window and returns the modal result.
  virtual int RunModal(Form& form) = 0;
  // Shows the main form and runs the message loop until it is closed.
  virtual void RunMain(Form& mainForm) = 0;
  // Destroys the form's window: messages posted to it are dropped and
  // pending SendToUiThread calls for it return false.
  virtual void DestroyWindow(Form& form) = 0;
  // Something shown changed (component null: the form itself).
  virtual void FormChanged(Form& form, Component* component) = 0;
  // Minimise / restore the application (taskbar button).
  virtual void MinimizeApplication() = 0;
  // Hides the main window's taskbar button (unattended modes).
  virtual void HideApplication() = 0;
  virtual void SetApplicationTitle(const std::string& title) = 0;

  // --- Messages.
  // Any thread. Queues the message for the window's form; FALSE when the
  // window does not exist (any more).
  virtual BOOL PostMessageA(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) = 0;
  // From a worker: runs `fn` on the UI thread and waits until it ran. Returns
  // false, without running it, when the window is destroyed first, so that a
  // worker blocked here never deadlocks a closing dialog.
  virtual bool SendToUiThread(HWND window, std::function<void()> fn) = 0;

  // --- Dialog services (UI thread).
  // MessageBoxA: returns the button pressed (kMrOk, kMrYes, kMrNo...).
  virtual int MessageBoxA(Form* owner, const std::string& text, const std::string& caption,
                          UINT flags) = 0;
  // Pops up a menu with its top-left corner at a screen point; the chosen
  // item's Click runs before this returns.
  virtual void Popup(PopupMenu& menu, Point screenPoint) = 0;
  virtual Point GetCursorPos() = 0;
  // Width in pixels of `text` in the form's font.
  virtual int TextWidth(const Form& form, const std::string& text) = 0;
  // Width in pixels of `text` in the font `control` draws with (bold, its
  // own height); toolkits whose text has one size answer TextWidth.
  virtual int ControlTextWidth(const Form& form, const Control& control, const std::string& text) {
    (void)control;
    return TextWidth(form, text);
  }
  // Shows an error that escaped a handler, as the application's top-level
  // handler does: a message box with the product's caption.
  virtual void ShowApplicationError(const std::string& text) = 0;

  // Unattended runs, where nobody could press a button: every message box
  // and application error goes to `sink` instead of the screen, and the
  // box's default answer is taken, as after OK. Empty: boxes are shown.
  using MessageSink = std::function<void(const std::string& text)>;
  void DivertMessages(MessageSink sink) { messageSink_ = std::move(sink); }

  // --- Milliseconds since an arbitrary start, on the toolkit's clock (a
  // virtual clock in tests).
  virtual std::int64_t TickCount() = 0;

  // --- Other instances (user32 shape): find a top-level window of another
  // running instance by its window class name, and bring it forward.
  virtual HWND FindWindowA(const char* className) = 0;
  virtual BOOL SetForegroundWindow(HWND window) = 0;
  virtual BOOL IsIconic(HWND window) = 0;
  virtual BOOL ShowWindow(HWND window, int cmd) = 0;
  virtual HWND GetLastActivePopup(HWND window) = 0;
  virtual BOOL IsWindowVisible(HWND window) = 0;
  virtual BOOL IsWindowEnabled(HWND window) = 0;
  // The application's own window (the taskbar button's owner).
  virtual HWND ApplicationHandle() = 0;
 protected:
  // For the backends' MessageBoxA and ShowApplicationError: true when the
  // message went to the sink (DivertMessages) and must not be shown.
  bool Diverted(const std::string& text) {
    if (!messageSink_) return false;
    messageSink_(text);
    return true;
  }

 private:
  MessageSink messageSink_;
};

}  // namespace hv::ui
