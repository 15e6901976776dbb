#include "platform/worker_thread.h"

#include <thread>

namespace hv {
namespace {
std::atomic<int> g_running{0};
}  // namespace

int WorkerThread::Running() { return g_running.load(); }

void WorkerThread::Start() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (started_) return;
    started_ = true;
  }
  g_running.fetch_add(1);
  std::thread([self = shared_from_this()] {
    try {
      self->Execute();
    } catch (...) {
      // A worker reports through messages; nothing may escape the entry.
    }
    {
      std::lock_guard<std::mutex> lock(self->mutex_);
      self->finished_ = true;
    }
    self->done_.notify_all();
    g_running.fetch_sub(1);
  }).detach();
}

bool WorkerThread::Finished() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return finished_ || !started_;
}

bool WorkerThread::WaitFor(std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return done_.wait_for(lock, timeout, [this] { return finished_ || !started_; });
}

}  // namespace hv
