#include "platform/worker_registry.h"

#include <algorithm>
#include <chrono>

namespace hv {

void WorkerRegistry::RegisterWorker(std::shared_ptr<WorkerThread> worker) {
  std::erase_if(workers_, [](const auto& w) { return w->Finished(); });
  workers_.push_back(std::move(worker));
}

bool WorkerRegistry::WaitForWorkers(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (const auto& worker : workers_) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    worker->WaitFor(std::max(left, std::chrono::milliseconds(0)));
  }
  std::erase_if(workers_, [](const auto& w) { return w->Finished(); });
  return workers_.empty();
}

void WorkerRegistry::StopWorkers() {
  for (const auto& worker : workers_) worker->Terminate();
}

}  // namespace hv
