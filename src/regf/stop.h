#pragma once
// Stopping a compaction from another thread. The thread doing the work (and any thread it
// starts) declares the flag it answers to with a StopScope; the engine's loops look at it once a
// hive bin, a key or a piece of the file, and a set flag unwinds the work with Stopped. Work
// without a scope never stops.
#include <atomic>
#include <stdexcept>

namespace hv::regf {

class Stopped : public std::runtime_error {
 public:
  Stopped() : std::runtime_error("stopped") {}
};

namespace detail {
inline thread_local const std::atomic<bool>* g_stop = nullptr;
}  // namespace detail

class StopScope {
 public:
  explicit StopScope(const std::atomic<bool>* flag) : previous_(detail::g_stop) { detail::g_stop = flag; }
  ~StopScope() { detail::g_stop = previous_; }
  StopScope(const StopScope&) = delete;
  StopScope& operator=(const StopScope&) = delete;

 private:
  const std::atomic<bool>* previous_;
};

// The flag this thread answers to, for a StopScope on a thread it starts.
inline const std::atomic<bool>* CurrentStopFlag() { return detail::g_stop; }

inline bool StopRequested() {
  const std::atomic<bool>* flag = detail::g_stop;
  return flag != nullptr && flag->load(std::memory_order_relaxed);
}
inline void ThrowIfStopped() {
  if (StopRequested()) throw Stopped();
}

}  // namespace hv::regf
