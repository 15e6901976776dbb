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

// Child-window ids are the component's index plus this; the dialog
// manager's own command ids (IDOK, IDCANCEL) stay below it.
inline constexpr int kFirstControlId = 100;

// How a component appears on screen.
enum class Realisation {
  None,      // timers, menus: no window, nothing painted
  Painted,   // drawn on the form's surface; the form routes the mouse to it
  Skinned,   // an owner-drawn child window
  ListView,  // the system's list view
  Memo,      // the system's edit control, read-only
};
Realisation RealisationOf(hv::ui::Kind kind);

// A link label, or a label with the hand cursor: a link by its look (blue
// and underlined), and in a dialog a stop of the keyboard's Tab.
bool LooksLikeLink(const hv::ui::Control& control);

// The text of a window or control, whole.
std::string WindowText(HWND window);

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
    std::vector<std::string> shownCaptions;  // the first column as shown
    bool gridLines = false;
    bool listReady = false;
  };

  // A message as the window procedure received it.
  struct Message {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
  };

  static LRESULT CALLBACK FormProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK SkinProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
  // --- The form's messages (form_messages.cpp), one handler each; a
  // handler that leaves a message to the system returns DefaultFormProc.
  LRESULT HandleFormMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT DefaultFormProc(const Message& m);
  LRESULT OnUiThreadCall(const Message& m);
  LRESULT OnFormCommand(const Message& m);  // WM_CLOSE, WM_SYSCOMMAND: the form's say
  LRESULT OnNcHitTest(const Message& m);
  LRESULT OnContextMenu(const Message& m);
  LRESULT OnNcLButtonDblClk(const Message& m);
  LRESULT OnPaint(const Message& m);
  LRESULT OnPrintClient(const Message& m);
  LRESULT OnSetCursor(const Message& m);
  LRESULT OnMouseMove(const Message& m);
  LRESULT OnMouseLeave(const Message& m);
  LRESULT OnLButtonDown(const Message& m);
  LRESULT OnLButtonUp(const Message& m);
  LRESULT OnCaptureChanged(const Message& m);
  LRESULT OnTimer(const Message& m);
  LRESULT OnCtlColor(const Message& m);
  LRESULT OnActivate(const Message& m);
  LRESULT OnSetFocus(const Message& m);
  LRESULT OnCommand(const Message& m);
  LRESULT OnNotify(const Message& m);
  LRESULT OnGetDefId(const Message& m);
  LRESULT OnOtherMessage(const Message& m);

  // --- The owner-drawn controls' messages (skin_messages.cpp).
  LRESULT HandleSkinMessage(Slot& slot, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT DefaultSkinProc(Slot& slot, const Message& m);
  LRESULT OnSkinPaint(Slot& slot, const Message& m);
  LRESULT OnSkinSetCursor(Slot& slot, const Message& m);
  LRESULT OnSkinMouseMove(Slot& slot, const Message& m);
  LRESULT OnSkinMouseLeave(Slot& slot, const Message& m);
  LRESULT OnSkinLButtonDown(Slot& slot, const Message& m);
  LRESULT OnSkinLButtonUp(Slot& slot, const Message& m);
  LRESULT OnSkinCaptureChanged(Slot& slot, const Message& m);
  LRESULT OnSkinGetDlgCode(Slot& slot, const Message& m);
  LRESULT OnSkinKeyDown(Slot& slot, const Message& m);
  LRESULT OnSkinKeyUp(Slot& slot, const Message& m);
  LRESULT OnSkinBmClick(Slot& slot, const Message& m);
  LRESULT OnSkinFocus(Slot& slot, const Message& m);  // WM_SETFOCUS, WM_KILLFOCUS
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
  // The first column's names shortened again to the column's `width` (pixels).
  void ReshortenList(Slot& slot, int width);
  // A memo's text as shown.
  std::string MemoText(Slot& slot);
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
  // A click from the keyboard (Enter, Space, the control's letter).
  void KeyboardClick(Slot& slot);
  // Push buttons: Enter presses the default one when the focus is on no
  // push button; the focused one is the default while it has the focus.
  static bool IsPushButton(const Slot& slot);
  bool ShowsDefault(const Slot& slot) const;
  // The first usable push button whose `flag` (Default, Cancel) is set.
  Slot* SlotWith(bool (hv::ui::Control::*flag)() const) const;
  // The control with the child-window id `id` (kFirstControlId + index).
  Slot* SlotById(int id) const;
  void InvalidatePushButtons();
  // Gives the flat buttons their keyboard letters as window texts.
  void SyncMnemonics();
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
