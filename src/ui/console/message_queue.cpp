#include "ui/console/message_queue.h"

#include <algorithm>
#include <utility>

namespace hv::ui::console {

struct MessageQueue::SentCall {
  HWND window = nullptr;
  std::function<void()> fn;
  enum class State { Queued, Running, Done, Cancelled } state = State::Queued;
};

namespace {
std::uintptr_t Id(HWND window) { return reinterpret_cast<std::uintptr_t>(window); }
}  // namespace

MessageQueue::MessageQueue() : uiThread_(std::this_thread::get_id()) {}

MessageQueue::~MessageQueue() {
  std::unique_lock<std::mutex> lock(mutex_);
  windows_.clear();
  for (auto& call : sent_) call->state = SentCall::State::Cancelled;
  sent_.clear();
  sendDone_.notify_all();
  sendDone_.wait(lock, [this] { return senders_ == 0; });
}

HWND MessageQueue::CreateWindowHandle() {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::uintptr_t id = nextHandle_++;
  windows_.insert(id);
  return reinterpret_cast<HWND>(id);
}

void MessageQueue::DestroyWindowHandle(HWND window) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    windows_.erase(Id(window));
    std::erase_if(items_, [window](const Item& item) {
      return item.type == Item::Type::Posted && item.posted.window == window;
    });
    for (auto& call : sent_) {
      if (call->window == window) call->state = SentCall::State::Cancelled;
    }
    std::erase_if(sent_, [](const auto& call) { return call->state == SentCall::State::Cancelled; });
  }
  sendDone_.notify_all();
}

bool MessageQueue::IsWindow(HWND window) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return windows_.count(Id(window)) != 0;
}

bool MessageQueue::Post(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (windows_.count(Id(window)) == 0) return false;
    Item item;
    item.type = Item::Type::Posted;
    item.posted = {window, msg, wParam, lParam};
    items_.push_back(std::move(item));
  }
  queued_.notify_all();
  return true;
}

void MessageQueue::PostTask(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Item item;
    item.type = Item::Type::Task;
    item.task = std::move(task);
    items_.push_back(std::move(item));
  }
  queued_.notify_all();
}

bool MessageQueue::Send(HWND window, std::function<void()> fn) {
  if (OnUiThread()) {
    // A call from the UI thread itself would wait for itself.
    if (!IsWindow(window)) return false;
    fn();
    return true;
  }
  auto call = std::make_shared<SentCall>();
  call->window = window;
  call->fn = std::move(fn);
  std::unique_lock<std::mutex> lock(mutex_);
  if (windows_.count(Id(window)) == 0) return false;
  sent_.push_back(call);
  ++senders_;
  queued_.notify_all();
  sendDone_.wait(lock, [&] {
    return call->state == SentCall::State::Done || call->state == SentCall::State::Cancelled;
  });
  --senders_;
  const bool done = call->state == SentCall::State::Done;
  // The queue's destructor may be waiting for the last worker to leave.
  sendDone_.notify_all();
  return done;
}

MessageQueue::Item MessageQueue::Take() {
  std::lock_guard<std::mutex> lock(mutex_);
  Item item;
  if (!sent_.empty()) {
    item.type = Item::Type::Sent;
    item.sent = std::move(sent_.front());
    sent_.pop_front();
    item.sent->state = SentCall::State::Running;
    return item;
  }
  if (!items_.empty()) {
    item = std::move(items_.front());
    items_.pop_front();
  }
  return item;
}

void MessageQueue::RunSent(const std::shared_ptr<SentCall>& call) {
  // Whatever the call does, its worker must be released.
  struct Release {
    MessageQueue& queue;
    const std::shared_ptr<SentCall>& call;
    ~Release() {
      {
        std::lock_guard<std::mutex> lock(queue.mutex_);
        call->state = SentCall::State::Done;
      }
      queue.sendDone_.notify_all();
    }
  } release{*this, call};
  call->fn();
}

void MessageQueue::WaitFor(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  queued_.wait_for(lock, timeout, [this] { return woken_ || !sent_.empty() || !items_.empty(); });
  woken_ = false;
}

void MessageQueue::Wake() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    woken_ = true;
  }
  queued_.notify_all();
}

bool MessageQueue::Empty() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sent_.empty() && items_.empty();
}

}  // namespace hv::ui::console
