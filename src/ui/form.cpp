#include "ui/form.h"

#include "ui/toolkit.h"

namespace hv::ui {

Form::Form(Toolkit& toolkit, std::string name, Form* owner)
    : toolkit_(toolkit), owner_(owner), name_(std::move(name)) {}

Form::~Form() {
  if (handle_ != nullptr) toolkit_.DestroyWindow(*this);
}

void Form::SetCaption(std::string caption) {
  caption_ = std::move(caption);
  Changed(nullptr);
}

void Form::SetClientSize(int width, int height) {
  clientWidth_ = width;
  clientHeight_ = height;
  Changed(nullptr);
}

Component* Form::FindComponent(std::string_view name) const {
  for (const auto& c : components_) {
    if (c->Name() == name) return c.get();
  }
  return nullptr;
}

int Form::ShowModal() { return toolkit_.RunModal(*this); }
void Form::Show() { toolkit_.ShowForm(*this); }
void Form::Hide() { toolkit_.HideForm(*this); }

void Form::Close() {
  if (closed_) return;
  closed_ = true;
  FormClose();
  if (modalResult_ == kMrNone) modalResult_ = kMrCancel;
  toolkit_.HideForm(*this);
}

void Form::SetModalResult(int result) { modalResult_ = result; }

bool Form::PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  HWND handle = handle_;
  return handle != nullptr && toolkit_.PostMessageA(handle, msg, wParam, lParam) != 0;
}

void Form::CreateParams(CreateParamsRec& params) { params.windowClassName = "T" + name_; }

bool Form::HandleMessage(UINT msg, WPARAM, LPARAM) {
  if (msg == kWmClose) {
    Close();
    return true;
  }
  return false;
}

void Form::Changed(Component* component) {
  if (handle_ != nullptr) toolkit_.FormChanged(*this, component);
}

}  // namespace hv::ui
