#include "ui/console/console_toolkit.h"

#include <algorithm>
#include <exception>
#include <ostream>

#include "platform/worker_thread.h"
#include "ui/console/ansi_text.h"
#include "ui/console/form_dump.h"
#include "ui/console/instance_endpoint.h"
#include "ui/console/message_box_rules.h"

namespace hv::ui::console {
namespace {

const HWND kApplicationWindow = reinterpret_cast<HWND>(std::uintptr_t{1});
constexpr std::uintptr_t kFirstRemote = 0x40000000;
// How often a loop waiting for workers looks again: their end is not
// signalled to the UI thread.
constexpr std::chrono::milliseconds kPoll{5};
constexpr std::chrono::milliseconds kLongWait{250};

bool IsRemote(HWND window) { return reinterpret_cast<std::uintptr_t>(window) >= kFirstRemote; }

}  // namespace

ConsoleToolkit::ConsoleToolkit(ConsoleOptions options)
    : options_(std::move(options)), start_(std::chrono::steady_clock::now()), appTitle_("Talvix Hivora") {}

ConsoleToolkit::~ConsoleToolkit() {
  frontEnd_.reset();
  endpoint_.reset();
  // Forms that outlive the toolkit must not call back into it, and a worker
  // still blocked in SendToUiThread must be let go.
  for (auto& [handle, info] : windows_) {
    queue_.DestroyWindowHandle(handle);
    info.form->DetachWindow();
    info.form->MarkVisible(false);
  }
}

std::int64_t ConsoleToolkit::Now() const {
  if (options_.virtualClock) return virtualNow_;
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count();
}

// --- Forms.

void ConsoleToolkit::CreateWindowFor(Form& form) {
  CreateParamsRec params;
  form.CreateParams(params);
  const HWND handle = queue_.CreateWindowHandle();
  windows_[handle] = WindowInfo{&form, params.windowClassName};
  form.AttachWindow(handle);
  form.activated = false;
  if (mainForm_ == nullptr && form.OwnerForm() == nullptr) mainForm_ = &form;
  timers_.Sync(form, Now());
  if (&form == mainForm_ && options_.singleInstance && !endpoint_) {
    const std::string path = EndpointPath(params.windowClassName);
    if (!path.empty()) {
      endpoint_ = EndpointServer::Create(path, [this, handle](UINT msg, WPARAM wParam, LPARAM lParam) {
        queue_.Post(handle, msg, wParam, lParam);
      });
      if (endpoint_) endpointOwner_ = handle;
    }
  }
}

void ConsoleToolkit::ShowForm(Form& form) {
  if (form.Handle() == nullptr) CreateWindowFor(form);
  if (!form.Visible()) {
    form.MarkVisible(true);
    if (frontEnd_) frontEnd_->Changed();
    form.FormShow();
  }
  if (!form.activated && form.Handle() != nullptr) {
    form.activated = true;
    form.FormActivate();
  }
}

void ConsoleToolkit::HideForm(Form& form) {
  form.MarkVisible(false);
  if (frontEnd_) frontEnd_->Changed();
}

int ConsoleToolkit::RunModal(Form& form) {
  form.ResetForShowing();
  modal_.push_back(&form);
  Guard([&] { ShowForm(form); });
  RunLoop([&] { return form.ModalResult() != kMrNone || form.Closed() || form.Handle() == nullptr; }, true,
          std::nullopt);
  // FormClose runs for every way a modal loop ends; a result already set is kept.
  if (!form.Closed()) Guard([&] { form.Close(); });
  std::erase(modal_, &form);
  DestroyWindow(form);
  if (frontEnd_) frontEnd_->Changed();
  return form.ModalResult();
}

void ConsoleToolkit::RunMain(Form& mainForm) {
  if (mainForm_ == nullptr || mainForm_->Handle() == nullptr) mainForm_ = &mainForm;
  Guard([&] { ShowForm(mainForm); });
  RunLoop([&] { return mainForm.Closed() || mainForm.Handle() == nullptr; }, true, std::nullopt);
  DestroyWindow(mainForm);
}

void ConsoleToolkit::DestroyWindow(Form& form) {
  const HWND handle = form.Handle();
  if (handle == nullptr) return;
  queue_.DestroyWindowHandle(handle);
  timers_.Remove(form);
  windows_.erase(handle);
  if (endpointOwner_ == handle) {
    endpoint_.reset();
    endpointOwner_ = nullptr;
  }
  form.DetachWindow();
  form.MarkVisible(false);
  form.activated = false;
  std::erase(modal_, &form);
  if (mainForm_ == &form) mainForm_ = nullptr;
  if (frontEnd_) frontEnd_->Changed();
}

void ConsoleToolkit::FormChanged(Form& form, Component* component) {
  if (component != nullptr && component->GetKind() == Kind::Timer) timers_.Sync(form, Now());
  if (frontEnd_) frontEnd_->Changed();
}

void ConsoleToolkit::MinimizeApplication() {
  minimized_ = true;
  if (frontEnd_) frontEnd_->Changed();
}

void ConsoleToolkit::HideApplication() {
  appHidden_ = true;
  if (frontEnd_) frontEnd_->Changed();
}

void ConsoleToolkit::SetApplicationTitle(const std::string& title) { appTitle_ = title; }

Form* ConsoleToolkit::ActiveForm() const {
  for (auto it = modal_.rbegin(); it != modal_.rend(); ++it) {
    if ((*it)->Handle() != nullptr) return *it;
  }
  return mainForm_ != nullptr && mainForm_->Handle() != nullptr ? mainForm_ : nullptr;
}

std::vector<Form*> ConsoleToolkit::FormStack() const {
  std::vector<Form*> stack;
  if (mainForm_ != nullptr && mainForm_->Handle() != nullptr) stack.push_back(mainForm_);
  for (Form* form : modal_) {
    if (form->Handle() != nullptr && form != mainForm_) stack.push_back(form);
  }
  return stack;
}

Form* ConsoleToolkit::FormOf(HWND window) const {
  auto it = windows_.find(window);
  return it == windows_.end() ? nullptr : it->second.form;
}

// --- Messages.

BOOL ConsoleToolkit::PostMessageA(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (IsRemote(window)) {
    std::string path;
    {
      std::lock_guard<std::mutex> lock(remoteMutex_);
      auto it = remotes_.find(window);
      if (it == remotes_.end()) return 0;
      path = it->second;
    }
    return SendToEndpoint(path, msg, wParam, lParam) ? 1 : 0;
  }
  return queue_.Post(window, msg, wParam, lParam) ? 1 : 0;
}

bool ConsoleToolkit::SendToUiThread(HWND window, std::function<void()> fn) {
  return queue_.Send(window, std::move(fn));
}

bool ConsoleToolkit::DispatchOne() {
  MessageQueue::Item item = queue_.Take();
  switch (item.type) {
    case MessageQueue::Item::Type::None: return false;
    case MessageQueue::Item::Type::Sent: Guard([&] { queue_.RunSent(item.sent); }); return true;
    case MessageQueue::Item::Type::Task: Guard(item.task); return true;
    case MessageQueue::Item::Type::Posted: Dispatch(item.posted); return true;
  }
  return false;
}

void ConsoleToolkit::Dispatch(const MessageQueue::Posted& message) {
  Form* form = FormOf(message.window);
  if (form == nullptr) return;
  if (message.msg == kWmActivateInstance) Transcript("ACTIVATED");
  Guard([&] {
    if (form->HandleMessage(message.msg, message.wParam, message.lParam)) return;
    // What the system's default window procedure would do.
    if (message.msg == kWmSysCommand && (message.wParam & 0xFFF0) == kScMinimize) MinimizeApplication();
  });
}

bool ConsoleToolkit::FireDueTimer() {
  const std::int64_t now = Now();
  Timer* timer = timers_.TakeDue(now, now);
  if (timer == nullptr) return false;
  FireTimer(*timer);
  return true;
}

void ConsoleToolkit::FireTimer(Timer& timer) {
  if (!timer.Enabled() || timer.Owner().Handle() == nullptr || !timer.OnTimer) return;
  Guard(timer.OnTimer);
}

void ConsoleToolkit::Guard(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    ShowApplicationError(e.what());
  } catch (...) {
    ShowApplicationError("An unexpected error occurred.");
  }
}

// --- The loop.

void ConsoleToolkit::SetIdleHandler(IdleHandler handler) { idle_ = std::move(handler); }

void ConsoleToolkit::SetFrontEnd(std::unique_ptr<FrontEnd> frontEnd) { frontEnd_ = std::move(frontEnd); }

void ConsoleToolkit::BeginWaitForQuiet() {
  if (!waitForQuiet_ && options_.quietTimeoutMs > 0) {
    quietDeadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(options_.quietTimeoutMs);
  }
  waitForQuiet_ = true;
}

bool ConsoleToolkit::Quiet() const { return queue_.Empty() && WorkerThread::Running() == 0; }

void ConsoleToolkit::WaitForActivity(std::chrono::milliseconds longest) {
  auto wait = longest;
  if (!options_.virtualClock) {
    if (auto due = timers_.NextDue()) {
      wait = std::min(wait, std::chrono::milliseconds(std::max<std::int64_t>(0, *due - Now())));
    }
  }
  queue_.WaitFor(wait);
}

void ConsoleToolkit::Stall(const std::string& why) {
  stalled_ = true;
  Diagnostic("console toolkit: stalled: " + why);
}

void ConsoleToolkit::RunLoopUntil(const std::function<bool()>& done) { RunLoop(done, true, std::nullopt); }

void ConsoleToolkit::RunLoop(const std::function<bool()>& done, bool callIdle, std::optional<std::int64_t> deadline) {
  loops_.push_back(&done);
  struct Pop {
    std::vector<const std::function<bool()>*>& loops;
    ~Pop() { loops.pop_back(); }
  } pop{loops_};
  for (;;) {
    if (stalled_ || done()) return;
    if (deadline && Now() >= *deadline) return;
    if (DispatchOne()) continue;
    if (FireDueTimer()) continue;
    std::chrono::milliseconds rest = kLongWait;
    if (frontEnd_) rest = std::min(rest, frontEnd_->Idle());
    if (deadline) rest = std::min(rest, std::chrono::milliseconds(std::max<std::int64_t>(0, *deadline - Now())));
    if (!callIdle) {
      WaitForActivity(std::min(rest, kPoll));
      continue;
    }
    if (waitForQuiet_) {
      if (!Quiet() && options_.quietTimeoutMs > 0 && std::chrono::steady_clock::now() >= quietDeadline_) {
        waitForQuiet_ = false;
        Stall("waited " + std::to_string(options_.quietTimeoutMs) + " ms for workers to end");
        continue;
      }
      if (!Quiet()) {
        WaitForActivity(std::min(rest, kPoll));
        continue;
      }
      waitForQuiet_ = false;
    }
    if (idle_) {
      IdleHandler handler = idle_;  // it may replace itself
      if (handler(*this)) continue;
    }
    if (frontEnd_) {
      WaitForActivity(rest);
      continue;
    }
    if (!Quiet()) {
      WaitForActivity(std::min(rest, kPoll));
      continue;
    }
    if (!options_.virtualClock && timers_.Any()) {
      WaitForActivity(rest);
      continue;
    }
    Form* active = ActiveForm();
    Stall("the loop of " + (active != nullptr ? active->Name() : std::string("no form")) +
          " is idle with nothing left to do");
  }
}

void ConsoleToolkit::AdvanceClock(std::int64_t ms) {
  if (ms <= 0) return;
  if (!options_.virtualClock) {
    RunLoop([] { return false; }, false, Now() + ms);
    return;
  }
  const std::int64_t target = virtualNow_ + ms;
  while (!stalled_) {
    const auto due = timers_.NextDue();
    if (!due || *due > target) break;
    virtualNow_ = std::max(virtualNow_, *due);
    if (Timer* timer = timers_.TakeDue(virtualNow_, virtualNow_)) FireTimer(*timer);
    while (!stalled_ && DispatchOne()) {
    }
  }
  virtualNow_ = target;
}

bool ConsoleToolkit::PumpUntilIdle(std::chrono::milliseconds timeout) {
  const std::vector<const std::function<bool()>*> enclosing = loops_;
  const auto until = std::chrono::steady_clock::now() + timeout;
  bool timedOut = false;
  RunLoop(
      [&] {
        if (Quiet()) return true;
        for (const auto* loopDone : enclosing) {
          if ((*loopDone)()) return true;
        }
        timedOut = std::chrono::steady_clock::now() >= until;
        return timedOut;
      },
      false, std::nullopt);
  return !timedOut;
}

// --- Driving.

ConsoleToolkit::ClickResult ConsoleToolkit::ClickByName(std::string_view name) {
  Form* form = ActiveForm();
  if (form == nullptr) return ClickResult::NoForm;
  Component* component = form->FindComponent(name);
  if (component == nullptr) return ClickResult::NotFound;
  switch (component->GetKind()) {
    case Kind::Timer:
    case Kind::PopupMenu: return ClickResult::NotClickable;
    case Kind::MenuItem: {
      auto& item = static_cast<MenuItem&>(*component);
      if (!item.Visible()) return ClickResult::Hidden;
      if (!item.Enabled()) return ClickResult::Disabled;
      if (item.IsSeparator()) return ClickResult::NotClickable;
      ClickMenuItem(item);
      return ClickResult::Clicked;
    }
    default: {
      auto& control = static_cast<Control&>(*component);
      for (const Control* c = &control; c != nullptr; c = c->Parent()) {
        if (!c->Visible()) return ClickResult::Hidden;
      }
      for (const Control* c = &control; c != nullptr; c = c->Parent()) {
        if (!c->Enabled()) return ClickResult::Disabled;
      }
      ClickControl(control);
      return ClickResult::Clicked;
    }
  }
}

const char* ConsoleToolkit::Describe(ClickResult result) {
  switch (result) {
    case ClickResult::Clicked: return "clicked";
    case ClickResult::NotFound: return "no such control";
    case ClickResult::Hidden: return "hidden";
    case ClickResult::Disabled: return "disabled";
    case ClickResult::NotClickable: return "cannot be clicked";
    case ClickResult::NoForm: return "no active form";
  }
  return "?";
}

void ConsoleToolkit::ClickControl(Control& control) {
  const Rect r = control.FormBounds();
  cursor_ = {r.left + r.width / 2, r.top + r.height / 2};
  Guard([&] { control.Click(); });
}

void ConsoleToolkit::ClickMenuItem(MenuItem& item) {
  Guard([&] { item.Click(); });
}

void ConsoleToolkit::QueueAnswer(int button) { answers_.push_back(button); }

void ConsoleToolkit::QueuePopupChoice(std::string itemName) { popupChoices_.push_back(std::move(itemName)); }

std::vector<std::string> ConsoleToolkit::DumpActiveForm() const {
  const Form* form = ActiveForm();
  return form != nullptr ? DumpForm(*form, options_.codePage) : std::vector<std::string>{};
}

void ConsoleToolkit::Transcript(const std::string& line) {
  if (transcript_ == nullptr) return;
  *transcript_ << line << '\n';
  transcript_->flush();
}

void ConsoleToolkit::Diagnostic(const std::string& line) {
  ++diagnosticCount_;
  if (diagnostics_ == nullptr) return;
  *diagnostics_ << line << '\n';
  diagnostics_->flush();
}

// --- Dialog services.

int ConsoleToolkit::MessageBoxA(Form* owner, const std::string& text, const std::string& caption, UINT flags) {
  (void)owner;
  if (Diverted(AnsiToUtf8(text, options_.codePage))) return DefaultButton(flags);
  Transcript("MESSAGE " + Quote(AnsiToUtf8(caption, options_.codePage)) + " " +
             Quote(AnsiToUtf8(text, options_.codePage)));
  int answer = DefaultButton(flags);
  if (frontEnd_ && !stalled_) {
    answer = frontEnd_->MessageBox(text, caption, flags);
  } else if (!answers_.empty()) {
    const int wanted = answers_.front();
    answers_.pop_front();
    const std::vector<int> buttons = MessageBoxButtons(flags);
    if (std::find(buttons.begin(), buttons.end(), wanted) != buttons.end()) {
      answer = wanted;
    } else {
      Diagnostic(std::string("message box has no button ") + ButtonName(wanted) + "; answered " +
                 ButtonName(answer));
    }
  }
  messageBoxes_.push_back({caption, text, flags, answer});
  return answer;
}

void ConsoleToolkit::Popup(PopupMenu& menu, Point screenPoint) {
  cursor_ = screenPoint;
  MenuItem* chosen = nullptr;
  if (frontEnd_ && !stalled_) {
    chosen = frontEnd_->Popup(menu);
  } else if (!popupChoices_.empty()) {
    const std::string name = popupChoices_.front();
    popupChoices_.pop_front();
    for (MenuItem* item : menu.Items()) {
      if (item->Name() == name && item->Visible() && item->Enabled() && !item->IsSeparator()) chosen = item;
    }
    if (chosen == nullptr) Diagnostic("menu " + menu.Name() + " has no usable item " + name);
  }
  if (chosen != nullptr) chosen->Click();
}

Point ConsoleToolkit::GetCursorPos() { return cursor_; }

int ConsoleToolkit::TextWidth(const Form& form, const std::string& text) {
  int chars = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&') {
      if (i + 1 < text.size() && text[i + 1] == '&') {
        ++chars;
        ++i;
      }
      continue;
    }
    ++chars;
  }
  return chars * (form.Font().bold ? 7 : 6);
}

void ConsoleToolkit::ShowApplicationError(const std::string& text) {
  MessageBoxA(ActiveForm(), text, appTitle_, kMbOk);
}

std::int64_t ConsoleToolkit::TickCount() { return Now(); }

// --- Windows and other instances.

HWND ConsoleToolkit::FindWindowA(const char* className) {
  if (className == nullptr) return nullptr;
  for (const auto& [handle, info] : windows_) {
    if (info.className == className) return handle;
  }
  if (!options_.singleInstance) return nullptr;
  const std::string path = EndpointPath(className);
  if (path.empty() || !EndpointAlive(path)) return nullptr;
  std::lock_guard<std::mutex> lock(remoteMutex_);
  for (const auto& [handle, known] : remotes_) {
    if (known == path) return handle;
  }
  const HWND handle = reinterpret_cast<HWND>(nextRemote_++);
  remotes_[handle] = path;
  return handle;
}

BOOL ConsoleToolkit::SetForegroundWindow(HWND window) {
  if (IsRemote(window)) {
    std::lock_guard<std::mutex> lock(remoteMutex_);
    return remotes_.count(window) != 0 ? 1 : 0;
  }
  if (window != kApplicationWindow && FormOf(window) == nullptr) return 0;
  if (frontEnd_) frontEnd_->Changed();
  return 1;
}

BOOL ConsoleToolkit::IsIconic(HWND window) { return window == kApplicationWindow && minimized_ ? 1 : 0; }

BOOL ConsoleToolkit::ShowWindow(HWND window, int cmd) {
  BOOL wasVisible = 0;
  if (window == kApplicationWindow) {
    wasVisible = appHidden_ ? 0 : 1;
    if (cmd == kSwHide) {
      appHidden_ = true;
    } else {
      appHidden_ = false;
      if (cmd == kSwRestore || cmd == kSwShow) minimized_ = false;
    }
  } else if (Form* form = FormOf(window)) {
    wasVisible = form->Visible() ? 1 : 0;
    form->MarkVisible(cmd != kSwHide);
  }
  if (frontEnd_) frontEnd_->Changed();
  return wasVisible;
}

HWND ConsoleToolkit::GetLastActivePopup(HWND window) {
  (void)window;
  Form* active = ActiveForm();
  return active != nullptr ? active->Handle() : kApplicationWindow;
}

BOOL ConsoleToolkit::IsWindowVisible(HWND window) {
  if (window == kApplicationWindow) return appHidden_ ? 0 : 1;
  if (IsRemote(window)) return 1;
  Form* form = FormOf(window);
  return form != nullptr && form->Visible() ? 1 : 0;
}

BOOL ConsoleToolkit::IsWindowEnabled(HWND window) {
  if (window == kApplicationWindow || IsRemote(window)) return 1;
  Form* form = FormOf(window);
  if (form == nullptr) return 0;
  // A modal form disables the forms beneath it.
  const std::vector<Form*> stack = FormStack();
  auto it = std::find(stack.begin(), stack.end(), form);
  return it == stack.end() || it + 1 == stack.end() ? 1 : 0;
}

HWND ConsoleToolkit::ApplicationHandle() { return kApplicationWindow; }

}  // namespace hv::ui::console
