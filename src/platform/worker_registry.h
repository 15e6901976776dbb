#pragma once
// The workers a window started, kept until they end: a new scan waits for
// the previous worker, and closing the window asks every worker to stop and
// waits for it (bounded).
#include <memory>
#include <vector>

#include "platform/worker_thread.h"

namespace hv {

class WorkerRegistry {
 public:
  void RegisterWorker(std::shared_ptr<WorkerThread> worker);
  // Waits for every registered worker to end; false when one is still
  // running after `timeoutMs`.
  bool WaitForWorkers(int timeoutMs);
  void StopWorkers();

 private:
  std::vector<std::shared_ptr<WorkerThread>> workers_;
};

}  // namespace hv
