#include "background_close.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace hv::regf {

#ifdef _WIN32

void CloseInBackground(HostFile file) noexcept { file.Close(); }
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
  void Add(HostFile& file) {
    std::unique_lock lock(mutex_);
    pending_.push_back(std::move(file));
    if (running_) return;
    // The previous thread has said it is done: joining it waits at most for it to return.
    if (worker_.joinable()) worker_.join();
    try {
      worker_ = std::thread([this] { Run(); });
    } catch (...) {
      file = std::move(pending_.back());
      pending_.pop_back();
      throw;
    }
    running_ = true;
  }

  void Wait() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return !running_; });
  }

 private:
  void Run() {
    std::unique_lock lock(mutex_);
    while (!pending_.empty()) {
      HostFile file = std::move(pending_.back());
      pending_.pop_back();
      lock.unlock();
      file.Close();
      lock.lock();
    }
    running_ = false;
    idle_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable idle_;
  std::vector<HostFile> pending_;
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

void WaitForBackgroundCloses() noexcept { TheCloser().Wait(); }

#endif

}  // namespace hv::regf
