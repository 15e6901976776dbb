#pragma once
// A toolkit with no loop of its own, for tests that drive a form's handlers
// directly: windows are numbers, posted messages are recorded, message boxes
// are recorded and answered OK, text is 6 pixels a character.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/form.h"
#include "ui/toolkit.h"

namespace hv::test {

class StubToolkit : public ui::Toolkit {
 public:
  struct Posted {
    HWND window;
    UINT msg;
    ui::WPARAM wParam;
    ui::LPARAM lParam;
  };
  struct Box {
    std::string text, caption;
    UINT flags;
  };

  std::vector<Posted> posted;
  std::vector<Box> boxes;
  std::vector<std::string> errors;
  std::vector<std::string> popups;
  int minimized = 0;
  HWND nextHandle = reinterpret_cast<HWND>(std::uintptr_t{0x100});

  void ShowForm(ui::Form& form) override {
    if (form.Handle() == nullptr) {
      form.AttachWindow(nextHandle);
      nextHandle = reinterpret_cast<HWND>(reinterpret_cast<std::uintptr_t>(nextHandle) + 1);
      form.MarkVisible(true);
      form.FormShow();
      if (!form.activated) {
        form.activated = true;
        form.FormActivate();
      }
      return;
    }
    form.MarkVisible(true);
  }
  void HideForm(ui::Form& form) override { form.MarkVisible(false); }
  int RunModal(ui::Form& form) override {
    ShowForm(form);
    return form.ModalResult();
  }
  void RunMain(ui::Form& form) override { ShowForm(form); }
  void DestroyWindow(ui::Form& form) override { form.DetachWindow(); }
  void FormChanged(ui::Form&, ui::Component*) override {}
  void MinimizeApplication() override { ++minimized; }
  void HideApplication() override {}
  void SetApplicationTitle(const std::string& t) override { title = t; }
  BOOL PostMessageA(HWND window, UINT msg, ui::WPARAM w, ui::LPARAM l) override {
    posted.push_back({window, msg, w, l});
    return 1;
  }
  bool SendToUiThread(HWND, std::function<void()> fn) override {
    fn();
    return true;
  }
  int MessageBoxA(ui::Form*, const std::string& text, const std::string& caption,
                  UINT flags) override {
    boxes.push_back({text, caption, flags});
    return ui::kMrOk;
  }
  void Popup(ui::PopupMenu& menu, ui::Point p) override {
    popups.push_back(menu.Name() + "@" + std::to_string(p.x) + "," + std::to_string(p.y));
  }
  ui::Point GetCursorPos() override { return {40, 50}; }
  int TextWidth(const ui::Form&, const std::string& text) override {
    return 6 * static_cast<int>(text.size());
  }
  // Bold text is a pixel a character wider.
  int ControlTextWidth(const ui::Form& form, const ui::Control& control, const std::string& text) override {
    return TextWidth(form, text) + (control.Bold() ? static_cast<int>(text.size()) : 0);
  }
  void ShowApplicationError(const std::string& text) override { errors.push_back(text); }
  std::int64_t TickCount() override { return 0; }
  HWND FindWindowA(const char* className) override {
    lastFind = className;
    return found;
  }
  BOOL SetForegroundWindow(HWND w) override {
    foreground.push_back(w);
    return 1;
  }
  BOOL IsIconic(HWND) override { return iconic; }
  BOOL ShowWindow(HWND w, int cmd) override {
    shown.push_back({w, cmd});
    iconic = 0;
    return 1;
  }
  // The window itself when nothing was set, as user32 answers for a window
  // without popups.
  HWND GetLastActivePopup(HWND w) override {
    lastPopupOf.push_back(w);
    return lastPopup != nullptr ? lastPopup : w;
  }
  BOOL IsWindowVisible(HWND) override { return 1; }
  BOOL IsWindowEnabled(HWND) override { return 1; }
  HWND ApplicationHandle() override { return appHandle; }

  std::string title;
  std::string lastFind;
  HWND found = nullptr;
  BOOL iconic = 0;
  HWND appHandle = reinterpret_cast<HWND>(std::uintptr_t{0x1});
  HWND lastPopup = nullptr;
  std::vector<HWND> lastPopupOf;
  std::vector<HWND> foreground;
  std::vector<std::pair<HWND, int>> shown;
};

}  // namespace hv::test
