#pragma once
// The UI thread's queue: messages posted to windows from any thread, calls
// sent from workers to run on the UI thread, and internal tasks (terminal
// keys). Window handles are small integers, never reused within a process.
//
// Contracts:
// - Post to a window that does not exist (any more) fails and drops nothing
//   else; destroying a window drops the messages still queued for it.
// - Send blocks the calling worker until the UI thread ran the call, and
//   returns false without running it when the window is destroyed first.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "platform/types.h"
#include "ui/messages.h"

namespace hv::ui::console {

class MessageQueue {
 public:
  struct Posted {
    HWND window = nullptr;
    UINT msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
  };
  struct SentCall;
  // One unit of work for the UI thread, in the order it is to be handled:
  // sent calls first (as Windows delivers sent messages before posted ones),
  // then tasks and posted messages in the order they came.
  struct Item {
    enum class Type { None, Sent, Posted, Task } type = Type::None;
    Posted posted;
    std::function<void()> task;
    std::shared_ptr<SentCall> sent;
  };

  MessageQueue();
  // Cancels the calls still waiting and returns once their workers have
  // left Send.
  ~MessageQueue();
  MessageQueue(const MessageQueue&) = delete;
  MessageQueue& operator=(const MessageQueue&) = delete;

  // Handles start at 0x100; lower values are left to the toolkit (its
  // application window).
  HWND CreateWindowHandle();
  void DestroyWindowHandle(HWND window);
  bool IsWindow(HWND window) const;

  // Any thread.
  bool Post(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
  void PostTask(std::function<void()> task);
  bool Send(HWND window, std::function<void()> fn);

  // UI thread: takes the next item, if any.
  Item Take();
  // UI thread: runs a call taken with Take and releases its worker.
  void RunSent(const std::shared_ptr<SentCall>& call);
  // Waits until something is queued or `timeout` passed.
  void WaitFor(std::chrono::milliseconds timeout);
  // Wakes a WaitFor.
  void Wake();
  // Nothing queued and no worker blocked in Send.
  bool Empty() const;

  bool OnUiThread() const { return std::this_thread::get_id() == uiThread_; }

 private:
  mutable std::mutex mutex_;
  std::condition_variable queued_;
  std::condition_variable sendDone_;
  std::deque<std::shared_ptr<SentCall>> sent_;
  std::deque<Item> items_;
  std::set<std::uintptr_t> windows_;
  std::uintptr_t nextHandle_ = 0x100;
  bool woken_ = false;
  int senders_ = 0;  // workers inside Send
  std::thread::id uiThread_;
};

}  // namespace hv::ui::console
