#pragma once
// A worker thread that frees itself when its work ends.
//
// Owners hold it by shared_ptr; the running thread holds another reference,
// so the object lives until both let go. No thread is ever killed: Terminate
// only asks, and Execute polls Terminated() between units of work.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace hv {

class WorkerThread : public std::enable_shared_from_this<WorkerThread> {
 public:
  WorkerThread() = default;
  virtual ~WorkerThread() = default;
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Starts Execute on a new thread (once). The object must be owned by a
  // shared_ptr.
  void Start();
  // Asks the worker to stop at its next check.
  void Terminate() { terminated_.store(true); }
  bool Terminated() const { return terminated_.load(); }
  // The flag Terminate sets, for work that answers it from inside one unit.
  const std::atomic<bool>* TerminationFlag() const { return &terminated_; }
  // Execute has returned (or never will run: not started).
  bool Finished() const;
  // Waits until Execute has returned; false on timeout.
  bool WaitFor(std::chrono::milliseconds timeout) const;

  // Number of workers of the process whose Execute has not yet returned;
  // a toolkit waiting for quiet (scripted runs) reads it.
  static int Running();

 protected:
  // The work. An exception escaping it is swallowed at the thread entry.
  virtual void Execute() = 0;

 private:
  std::atomic<bool> terminated_{false};
  mutable std::mutex mutex_;
  mutable std::condition_variable done_;
  bool started_ = false;
  bool finished_ = false;
};

}  // namespace hv
