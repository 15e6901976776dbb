#pragma once
// State shared by the toolkit and its windows: the UI thread, the form
// windows, the modal stack, the pictures, and the guard that keeps
// exceptions inside the window procedures.
#include <exception>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/form.h"
#include "ui/toolkit.h"
#include "ui/win32/pictures.h"
#include "ui/win32/ui_thread_calls.h"
#include "ui/win32/win_handles.h"

namespace w32ui {

class FormWindow;

class ToolkitImpl {
 public:
  explicit ToolkitImpl(hv::ui::Toolkit& facade);
  ~ToolkitImpl();
  ToolkitImpl(const ToolkitImpl&) = delete;
  ToolkitImpl& operator=(const ToolkitImpl&) = delete;

  hv::ui::Toolkit& Facade() const { return facade_; }
  UiThreadCalls& Calls() { return calls_; }
  PictureStore& Pictures() { return pictures_; }
  DWORD UiThread() const { return uiThread_; }

  // Runs a handler of the system's code; an exception that escapes it is
  // shown as the application's error and goes no further. False when one did.
  template <typename F>
  bool Guard(F&& handler) noexcept {
    try {
      handler();
      return true;
    } catch (const std::exception& error) {
      ShowError(error.what());
    } catch (...) {
      ShowError("An unexpected error occurred.");
    }
    return false;
  }
  void ShowError(const char* text) noexcept;

  FormWindow* WindowOf(const hv::ui::Form& form) const;
  // The form's window, created (hidden) when it has none; null on failure.
  FormWindow* EnsureWindow(hv::ui::Form& form);
  void DestroyWindow(hv::ui::Form& form);

  // Shows the form: FormShow when it was hidden, then the window, then
  // FormActivate once per window.
  void ShowForm(hv::ui::Form& form);
  void HideForm(hv::ui::Form& form);
  int RunModal(hv::ui::Form& form);
  void RunMain(hv::ui::Form& form);
  // Takes one message from the queue and dispatches it. False on WM_QUIT.
  bool PumpOne();
  // Dispatches a message taken from the queue; keys go through the dialog
  // manager first.
  void Dispatch(MSG& msg);

  hv::ui::Form* MainForm() const { return main_; }
  HWND MainHandle() const;
  // The window that should own a message box or a new dialog: the topmost
  // modal form, else the main window.
  HWND ActiveOwner() const;
  const std::string& AppTitle() const { return appTitle_; }
  void SetAppTitle(const std::string& title);

  // While a control pressed from the keyboard runs its click, the point
  // under it: a menu it opens at "the cursor" opens at the control, not
  // wherever the mouse happens to be.
  const POINT* KeyboardAnchor() const { return anchored_ ? &anchor_ : nullptr; }
  void SetKeyboardAnchor(const POINT* at) {
    anchored_ = at != nullptr;
    if (at != nullptr) anchor_ = *at;
  }

 private:
  struct Modal {
    hv::ui::Form* form;
    std::vector<HWND> disabled;  // windows disabled for this modal loop
  };
  void ReleaseModal(hv::ui::Form& form);

  hv::ui::Toolkit& facade_;
  DWORD uiThread_;
  UiThreadCalls calls_;
  PictureStore pictures_;
  std::map<const hv::ui::Form*, std::unique_ptr<FormWindow>> windows_;
  std::vector<Modal> modals_;
  hv::ui::Form* main_ = nullptr;
  std::string appTitle_;
  int quitCode_ = -1;  // a WM_QUIT met inside a modal loop, re-posted after it
  POINT anchor_{};
  bool anchored_ = false;
};

}  // namespace w32ui
