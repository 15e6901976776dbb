#include "background_close.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace hv::regf {

#ifdef _WIN32

void CloseInBackground(HostFile file) noexcept { file.Close(); }
void JoinInBackground(std::thread thread) noexcept {
  if (thread.joinable()) thread.join();
}
void WaitForBackgroundCloses() noexcept {}

#else

namespace {

class Closer {
 public:
  Closer() = default;
  // At exit: the closes handed over are finished and the thread joined, so that none is cut
  // short or reported as leaked.
  ~Closer() {
    Wait();
    if (worker_.joinable()) worker_.join();
  }
  Closer(const Closer&) = delete;
  Closer& operator=(const Closer&) = delete;

  // Throws (the file left with the caller) when the file cannot be queued or no thread started.
  void Add(HostFile& file) { Queue(pending_, file); }
  // The same for a thread to join.
  void Add(std::thread& thread) { Queue(threads_, thread); }

  void Wait() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return !running_; });
  }

 private:
  template <typename Item>
  void Queue(std::vector<Item>& queue, Item& item) {
    std::unique_lock lock(mutex_);
    queue.push_back(std::move(item));
    if (running_) return;
    // The previous thread has said it is done: joining it waits at most for it to return.
    if (worker_.joinable()) worker_.join();
    try {
      worker_ = std::thread([this] { Run(); });
    } catch (...) {
      item = std::move(queue.back());
      queue.pop_back();
      throw;
    }
    running_ = true;
  }

  void Run() {
    std::unique_lock lock(mutex_);
    while (!pending_.empty() || !threads_.empty()) {
      if (!pending_.empty()) {
        HostFile file = std::move(pending_.back());
        pending_.pop_back();
        lock.unlock();
        file.Close();
      } else {
        std::thread thread = std::move(threads_.back());
        threads_.pop_back();
        lock.unlock();
        if (thread.joinable()) thread.join();
      }
      lock.lock();
    }
    running_ = false;
    idle_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable idle_;
  std::vector<HostFile> pending_;
  std::vector<std::thread> threads_;
  bool running_ = false;
  std::thread worker_;
};

Closer& TheCloser() {
  static Closer closer;
  return closer;
}

}  // namespace

void CloseInBackground(HostFile file) noexcept {
  try {
    TheCloser().Add(file);
  } catch (...) {
    file.Close();
  }
}

void JoinInBackground(std::thread thread) noexcept {
  try {
    TheCloser().Add(thread);
  } catch (...) {
    if (thread.joinable()) thread.join();
  }
}

void WaitForBackgroundCloses() noexcept { TheCloser().Wait(); }

#endif

}  // namespace hv::regf
