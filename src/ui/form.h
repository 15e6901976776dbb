#pragma once
// A form: a top-level window (main window or dialog) that owns its
// components in order, has event handlers, a modal result, and receives
// posted messages.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"
#include "ui/component.h"
#include "ui/messages.h"

namespace hv::ui {

class Toolkit;

enum class BorderStyle {
  None,                  // no border, no title bar (the main window)
  Dialog,                // fixed dialog frame with title bar and close box
  DialogNoSystemMenu,    // fixed dialog frame, no system menu, no close box
};

enum class FormPosition { ScreenCenter, OwnerCenter };

struct FontSpec {
  std::string face = "MS Sans Serif";
  int height = -11;  // pixels; negative: character height
  bool bold = false;
};

// Parameters of the form's window, adjustable before it is created.
struct CreateParamsRec {
  std::string windowClassName;  // at most 63 characters
};

class Form {
 public:
  // `owner` is the form that owns this one (dialogs: the main window), or null.
  Form(Toolkit& toolkit, std::string name, Form* owner);
  virtual ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  Toolkit& Tk() const { return toolkit_; }
  Form* OwnerForm() const { return owner_; }
  const std::string& Name() const { return name_; }

  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption);
  int ClientWidth() const { return clientWidth_; }
  int ClientHeight() const { return clientHeight_; }
  void SetClientSize(int width, int height);
  BorderStyle Border() const { return border_; }
  void SetBorder(BorderStyle border) { border_ = border; }
  FormPosition Position() const { return position_; }
  void SetPosition(FormPosition position) { position_ = position; }
  const FontSpec& Font() const { return font_; }
  void SetFont(FontSpec font) { font_ = std::move(font); }

  // Components, in the form's order (creation order).
  const std::vector<std::unique_ptr<Component>>& Components() const { return components_; }
  Component* FindComponent(std::string_view name) const;
  template <typename T, typename... Args>
  T& Add(Args&&... args) {
    auto component = std::make_unique<T>(*this, std::forward<Args>(args)...);
    T& ref = *component;
    components_.push_back(std::move(component));
    return ref;
  }

  // --- Window life. The toolkit calls the handlers below.
  // Shows the form modally and returns its modal result once it closed.
  int ShowModal();
  void Show();
  void Hide();
  bool Visible() const { return visible_; }
  // Closes the form as its title bar's close box would: FormClose runs, a
  // modal loop ends (with kMrCancel when no result was set), the window goes.
  void Close();
  bool Closed() const { return closed_; }

  int ModalResult() const { return modalResult_; }
  // A non-zero result ends the modal loop once the current handler returned.
  void SetModalResult(int result);

  // The window handle while the form has a window, else null (UI thread).
  // A worker is given the handle before it starts and posts through
  // Toolkit::PostMessageA; posting to a window that is gone does nothing.
  HWND Handle() const { return handle_; }
  // UI thread. False when the form has no window.
  bool PostMessage(UINT msg, WPARAM wParam, LPARAM lParam);

  // --- Handlers, overridden by concrete forms.
  virtual void CreateParams(CreateParamsRec& params);
  virtual void FormShow() {}
  virtual void FormActivate() {}
  // Runs for every way of closing.
  virtual void FormClose() {}
  // A posted or sent message; true when handled. The default handles
  // kWmClose by closing the form.
  virtual bool HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  // Hit test of the borderless window at a point in window coordinates:
  // the default result as computed by the system, or a changed one.
  virtual int HitTest(Point windowPoint, int defaultResult) { (void)windowPoint; return defaultResult; }

  // --- For toolkits.
  void AttachWindow(HWND handle) { handle_ = handle; }
  void DetachWindow() { handle_ = nullptr; }
  void MarkVisible(bool visible) { visible_ = visible; }
  void MarkClosed() { closed_ = true; }
  void ResetForShowing() { closed_ = false; modalResult_ = kMrNone; }
  // Called by components and by the form itself when something shown changed.
  void Changed(Component* component);
  // Whether FormActivate already ran for the current window.
  bool activated = false;

 private:
  Toolkit& toolkit_;
  Form* owner_;
  std::string name_;
  std::string caption_;
  int clientWidth_ = 0;
  int clientHeight_ = 0;
  BorderStyle border_ = BorderStyle::Dialog;
  FormPosition position_ = FormPosition::OwnerCenter;
  FontSpec font_;
  std::vector<std::unique_ptr<Component>> components_;
  HWND handle_ = nullptr;
  bool visible_ = false;
  bool closed_ = false;
  int modalResult_ = kMrNone;
};

}  // namespace hv::ui
