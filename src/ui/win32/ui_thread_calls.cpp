#include "ui/win32/ui_thread_calls.h"

namespace w32ui {

bool UiThreadCalls::Send(HWND window, std::function<void()> fn) {
  auto call = std::make_shared<Call>(Call{window, std::move(fn)});
  std::uint32_t number = 0;
  {
    std::lock_guard lock(mutex_);
    if (open_.count(window) == 0) return false;
    number = next_++;
    if (next_ == 0) next_ = 1;
    pending_[number] = call;
  }
  if (!::PostMessageA(window, message_, 0, static_cast<LPARAM>(number))) {
    std::lock_guard lock(mutex_);
    pending_.erase(number);
    return false;
  }
  std::unique_lock lock(mutex_);
  finished_.wait(lock, [&] { return call->state != State::Pending; });
  return call->state == State::Done;
}

void UiThreadCalls::Run(LPARAM number,
                        const std::function<void(const std::function<void()>&)>& run) {
  std::shared_ptr<Call> call;
  {
    std::lock_guard lock(mutex_);
    auto it = pending_.find(static_cast<std::uint32_t>(number));
    if (it == pending_.end()) return;
    call = it->second;
    pending_.erase(it);
  }
  run(call->fn);
  Finish(call, State::Done);
}

void UiThreadCalls::Open(HWND window) {
  std::lock_guard lock(mutex_);
  open_.insert(window);
}

void UiThreadCalls::CancelFor(HWND window) {
  std::lock_guard lock(mutex_);
  open_.erase(window);
  for (auto it = pending_.begin(); it != pending_.end();) {
    if (it->second->window == window) {
      it->second->state = State::Cancelled;
      it = pending_.erase(it);
    } else {
      ++it;
    }
  }
  finished_.notify_all();
}

void UiThreadCalls::CancelAll() {
  std::lock_guard lock(mutex_);
  open_.clear();
  for (auto& [number, call] : pending_) call->state = State::Cancelled;
  pending_.clear();
  finished_.notify_all();
}

void UiThreadCalls::Finish(const std::shared_ptr<Call>& call, State state) {
  std::lock_guard lock(mutex_);
  call->state = state;
  finished_.notify_all();
}

}  // namespace w32ui
