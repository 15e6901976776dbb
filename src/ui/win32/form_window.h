#pragma once
// The native window of one form and the realisation of its components.
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "ui/component.h"
#include "ui/form.h"
#include "ui/win32/skin_paint.h"
#include "ui/win32/win_handles.h"

namespace w32ui {

class ToolkitImpl;

// How a component appears on screen.
enum class Realisation {
  None,      // timers, menus: no window, nothing painted
  Painted,   // drawn on the form's surface; the form routes the mouse to it
  Skinned,   // an owner-drawn child window
  ListView,  // the system's list view
  Memo,      // the system's edit control, read-only
};
Realisation RealisationOf(hv::ui::Kind kind);

class FormWindow {
 public:
  FormWindow(ToolkitImpl& toolkit, hv::ui::Form& form);
  ~FormWindow();
  FormWindow(const FormWindow&) = delete;
  FormWindow& operator=(const FormWindow&) = delete;

  // Creates the window (hidden) and its controls. False when Windows refused.
  bool Create(HWND owner);
  // Destroys the window; waiting UI-thread calls for it are cancelled first.
  void Destroy();

  HWND Handle() const { return window_; }
  hv::ui::Form& GetForm() const { return form_; }
  HWND ChildHandle(const hv::ui::Component& component) const;

  // The model changed (component null: the form itself).
  void Changed(hv::ui::Component* component);
  // Gives the keyboard focus to the first control in the tab order.
  void FocusFirst();

  // The form's font: plain, bold, underlined (links).
  HFONT FontFor(const hv::ui::Control& control) const;
  HFONT PlainFont() const { return font_.get(); }

 private:
  // One component and the state of its on-screen form.
  struct Slot {
    FormWindow* owner;
    std::size_t index;
    hv::ui::Component* component;
    Realisation how;
    HWND child = nullptr;  // Skinned, ListView, Memo
    RECT shown{};          // where a painted control was last drawn
    bool hot = false;
    bool pressed = false;
    bool keyPressed = false;
    bool tool = false;     // a tool tip is registered
    int timerInterval = 0; // the running timer's interval; 0 when stopped
    // What the list view shows, to update only what changed.
    std::vector<hv::ui::ListColumn> columns;
    std::vector<hv::ui::ListRow> rows;
    bool gridLines = false;
    bool listReady = false;
  };

  static LRESULT CALLBACK FormProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK SkinProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT HandleFormMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT HandleSkinMessage(Slot& slot, UINT msg, WPARAM wParam, LPARAM lParam);
  static bool RegisterSkinClass();
  bool RegisterFormClass(const std::string& className);

  // --- Children (form_children.cpp).
  Slot& AddSlot(hv::ui::Component& component);
  void CreateChild(Slot& slot);
  void OrderChildren();
  void SyncSlot(Slot& slot);
  void SyncChild(Slot& slot);
  void SyncPainted(Slot& slot);
  void SyncListView(Slot& slot);
  void SyncTool(Slot& slot);
  void SyncTimer(Slot& slot);
  void AutoSize(Slot& slot);
  void SyncForm();
  Slot* SlotOf(const hv::ui::Component* component) const;

  // --- Surface and mouse (form_window.cpp).
  // Paints the background and the painted controls that meet `area` (form
  // client coordinates; the DC's origin may be moved).
  void PaintSurface(HDC dc, const RECT& area);
  void PaintSlot(HDC dc, Slot& slot);
  void PaintSkinned(HDC dc, Slot& slot, const RECT& client);
  Slot* PaintedAt(POINT point) const;
  void SetHot(Slot* slot);
  void Click(Slot& slot);
  void InvalidateSlot(Slot& slot);

  ToolkitImpl& toolkit_;
  hv::ui::Form& form_;
  HWND window_ = nullptr;
  UniqueWindow tooltip_;
  UniqueFont font_;
  UniqueFont boldFont_;
  UniqueFont linkFont_;
  UniqueFont boldLinkFont_;
  // Fonts of controls with a height of their own, by (height, bold, link).
  mutable std::map<std::tuple<int, bool, bool>, UniqueFont> sizedFonts_;
  std::vector<std::unique_ptr<Slot>> slots_;
  Slot* hot_ = nullptr;      // painted control under the pointer
  Slot* pressed_ = nullptr;  // painted control a button went down on
  bool tracking_ = false;    // WM_MOUSELEAVE requested
  HWND lastFocus_ = nullptr;
  bool destroying_ = false;
};

}  // namespace w32ui
