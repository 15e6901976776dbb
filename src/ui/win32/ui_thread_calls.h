#pragma once
// Calls that worker threads hand to the UI thread and wait for.
//
// A call is registered, then announced to its window by a posted private
// message carrying the call's number. The UI thread runs it when the message
// arrives; destroying the window first cancels every call still waiting for
// it, so that a worker blocked here never outlives its dialog's window.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "ui/win32/win_handles.h"

namespace w32ui {

class UiThreadCalls {
 public:
  // `message`: the private window message that announces a call.
  explicit UiThreadCalls(UINT message) : message_(message) {}
  ~UiThreadCalls() { CancelAll(); }
  UiThreadCalls(const UiThreadCalls&) = delete;
  UiThreadCalls& operator=(const UiThreadCalls&) = delete;

  UINT Message() const { return message_; }

  // Worker side: posts the call and waits until it ran (true) or was
  // cancelled, or the window did not exist (false).
  bool Send(HWND window, std::function<void()> fn);

  // UI side, on the announcing message: runs the call through `run` (which
  // guards it) and releases the worker. Unknown numbers are ignored.
  void Run(LPARAM number, const std::function<void(const std::function<void()>&)>& run);

  // UI side: calls may be sent to `window` from now on.
  void Open(HWND window);
  // UI side: the window is going; its waiting calls, and any sent later,
  // return false.
  void CancelFor(HWND window);
  void CancelAll();

 private:
  enum class State { Pending, Done, Cancelled };
  struct Call {
    HWND window;
    std::function<void()> fn;
    State state = State::Pending;
  };

  void Finish(const std::shared_ptr<Call>& call, State state);

  UINT message_;
  std::mutex mutex_;
  std::condition_variable finished_;
  std::map<std::uint32_t, std::shared_ptr<Call>> pending_;
  std::set<HWND> open_;
  std::uint32_t next_ = 1;
};

}  // namespace w32ui
