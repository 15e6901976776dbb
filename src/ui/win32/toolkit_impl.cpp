#include "ui/win32/toolkit_impl.h"

#include <algorithm>
#include <stdexcept>

#include "ui/messages.h"
#include "ui/win32/form_window.h"

namespace w32ui {

namespace {

constexpr char kProductTitle[] = "Talvix Hivora";

// The dialog manager's keyboard handling (Tab, Enter, Escape, mnemonics) for
// every form, the borderless main window included.
bool IsDialogKey(MSG& msg, const std::map<const hv::ui::Form*, std::unique_ptr<FormWindow>>& windows) {
  if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST || msg.hwnd == nullptr) return false;
  HWND root = ::GetAncestor(msg.hwnd, GA_ROOT);
  for (const auto& [form, window] : windows) {
    (void)form;
    if (window->Handle() == root) {
      return ::IsDialogMessageA(root, &msg) != 0;
    }
  }
  return false;
}

}  // namespace

ToolkitImpl::ToolkitImpl(hv::ui::Toolkit& facade)
    : facade_(facade),
      uiThread_(::GetCurrentThreadId()),
      calls_(::RegisterWindowMessageA("Talvix.Hivora.UiThreadCall")) {}

ToolkitImpl::~ToolkitImpl() {
  calls_.CancelAll();
  // A window still standing means its form is alive (a form's destructor
  // destroys its window); entries whose window went are left alone.
  for (auto& [form, window] : windows_) {
    if (window->Handle() == nullptr) continue;
    window->Destroy();
    const_cast<hv::ui::Form*>(form)->DetachWindow();
  }
  windows_.clear();
}

void ToolkitImpl::ShowError(const char* text) noexcept {
  try {
    ::MessageBoxA(ActiveOwner(), text, kProductTitle, MB_OK | MB_ICONERROR);
  } catch (...) {
    // Nothing more can be reported.
  }
}

FormWindow* ToolkitImpl::WindowOf(const hv::ui::Form& form) const {
  auto it = windows_.find(&form);
  return it != windows_.end() && it->second->Handle() != nullptr ? it->second.get() : nullptr;
}

FormWindow* ToolkitImpl::EnsureWindow(hv::ui::Form& form) {
  if (FormWindow* existing = WindowOf(form)) return existing;
  windows_.erase(&form);
  HWND owner = nullptr;
  if (form.OwnerForm() != nullptr && form.OwnerForm()->Handle() != nullptr) {
    owner = ToWin(form.OwnerForm()->Handle());
  } else if (&form != main_ && form.Border() != hv::ui::BorderStyle::None) {
    owner = ActiveOwner();
  }
  auto window = std::make_unique<FormWindow>(*this, form);
  if (!window->Create(owner)) return nullptr;
  FormWindow* raw = window.get();
  windows_[&form] = std::move(window);
  return raw;
}

void ToolkitImpl::DestroyWindow(hv::ui::Form& form) {
  auto it = windows_.find(&form);
  if (it == windows_.end()) {
    form.DetachWindow();
    return;
  }
  std::unique_ptr<FormWindow> window = std::move(it->second);
  windows_.erase(it);
  ReleaseModal(form);
  window->Destroy();
  form.DetachWindow();
  form.MarkVisible(false);
  form.activated = false;
}

void ToolkitImpl::ShowForm(hv::ui::Form& form) {
  FormWindow* window = EnsureWindow(form);
  if (window == nullptr) throw std::runtime_error("Cannot create the window " + form.Name() + ".");
  if (!form.Visible()) {
    form.MarkVisible(true);
    form.FormShow();
  }
  window = WindowOf(form);
  if (window == nullptr) return;
  // FormShow may have hidden the form again (an unattended run).
  if (form.Visible() && !::IsWindowVisible(window->Handle())) {
    ::ShowWindow(window->Handle(), SW_SHOW);
    ::UpdateWindow(window->Handle());
  }
  if (!form.activated) {
    form.activated = true;
    form.FormActivate();
  }
}

void ToolkitImpl::HideForm(hv::ui::Form& form) {
  // A closing modal form gives the windows it disabled back before it
  // disappears, so that activation returns to its owner, not to another
  // program.
  if (form.Closed()) ReleaseModal(form);
  form.MarkVisible(false);
  if (FormWindow* window = WindowOf(form)) ::ShowWindow(window->Handle(), SW_HIDE);
}

void ToolkitImpl::ReleaseModal(hv::ui::Form& form) {
  for (auto& modal : modals_) {
    if (modal.form != &form) continue;
    for (auto it = modal.disabled.rbegin(); it != modal.disabled.rend(); ++it) {
      if (::IsWindow(*it)) ::EnableWindow(*it, TRUE);
    }
    modal.disabled.clear();
  }
}

int ToolkitImpl::RunModal(hv::ui::Form& form) {
  form.ResetForShowing();
  FormWindow* window = EnsureWindow(form);
  if (window == nullptr) throw std::runtime_error("Cannot create the window " + form.Name() + ".");
  // Every other window of the program waits while the dialog is up.
  Modal modal{&form, {}};
  for (const auto& [other, otherWindow] : windows_) {
    HWND handle = otherWindow->Handle();
    if (other == &form || handle == nullptr || !::IsWindowEnabled(handle)) continue;
    ::EnableWindow(handle, FALSE);
    modal.disabled.push_back(handle);
  }
  modals_.push_back(std::move(modal));

  auto endModal = [&] {
    ReleaseModal(form);
    modals_.erase(std::remove_if(modals_.begin(), modals_.end(), [&](const Modal& m) { return m.form == &form; }),
                  modals_.end());
    DestroyWindow(form);
  };
  try {
    ShowForm(form);
  } catch (...) {
    // The dialog never came up: its error belongs to the caller, as the
    // caller's own would.
    form.MarkClosed();
    endModal();
    throw;
  }
  if (FormWindow* shown = WindowOf(form)) shown->FocusFirst();
  bool quit = false;
  while (form.ModalResult() == hv::ui::kMrNone && !form.Closed() && WindowOf(form) != nullptr) {
    if (!PumpOne()) {
      quit = true;
      break;
    }
  }
  if (!form.Closed()) Guard([&] { form.Close(); });
  endModal();
  if (quit) ::PostQuitMessage(quitCode_);
  return form.ModalResult();
}

void ToolkitImpl::RunMain(hv::ui::Form& form) {
  main_ = &form;
  if (!Guard([&] { ShowForm(form); })) {
    // FormShow failed part way: the window still comes up, as the error
    // box has told the user what went wrong.
    if (FormWindow* window = WindowOf(form); window != nullptr && form.Visible()) {
      ::ShowWindow(window->Handle(), SW_SHOW);
    }
  }
  while (!form.Closed() && WindowOf(form) != nullptr) {
    if (!PumpOne()) break;
  }
  if (!form.Closed()) Guard([&] { form.Close(); });
  DestroyWindow(form);
  main_ = nullptr;
}

bool ToolkitImpl::PumpOne() {
  MSG msg{};
  const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
  if (got == 0 || got == -1) {
    quitCode_ = got == 0 ? static_cast<int>(msg.wParam) : 0;
    return false;
  }
  Dispatch(msg);
  return true;
}

void ToolkitImpl::Dispatch(MSG& msg) {
  if (IsDialogKey(msg, windows_)) return;
  ::TranslateMessage(&msg);
  ::DispatchMessageA(&msg);
}

HWND ToolkitImpl::MainHandle() const {
  if (main_ == nullptr) return nullptr;
  FormWindow* window = WindowOf(*main_);
  return window != nullptr ? window->Handle() : nullptr;
}

HWND ToolkitImpl::ActiveOwner() const {
  for (auto it = modals_.rbegin(); it != modals_.rend(); ++it) {
    if (FormWindow* window = WindowOf(*it->form)) return window->Handle();
  }
  return MainHandle();
}

void ToolkitImpl::SetAppTitle(const std::string& title) {
  appTitle_ = title;
  if (HWND main = MainHandle()) ::SetWindowTextA(main, title.c_str());
}

}  // namespace w32ui
