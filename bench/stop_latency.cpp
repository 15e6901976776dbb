// hivora-stop-latency HIVE OUT AT: compacts HIVE into OUT (which must not exist) on a second
// thread, sets the stop flag once the progress has reached AT bytes (the progress ends at the
// copy's size: building ends at 40% of it, writing at 70%, reading back at 100%), and prints how
// long the compaction took to come back after it, in milliseconds, and whether it came back
// stopped with nothing left under OUT's name. Exit 0 when it did; 3 when the compaction ended
// before the progress reached AT (no stop was measured); 1 when a stop was not honoured.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "regf/regf.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: hivora-stop-latency HIVE OUT AT\n");
    return 2;
  }
  const std::filesystem::path in = argv[1], out = argv[2];
  char* end = nullptr;
  const long long at = std::strtoll(argv[3], &end, 10);
  if (end == argv[3] || *end != '\0' || at < 0) {
    std::fprintf(stderr, "hivora-stop-latency: AT must be a number of bytes, not %s\n", argv[3]);
    return 2;
  }
  hv::regf::CompactProgress progress{0};
  hv::regf::StopFlag stop{false};
  std::atomic<bool> done{false};
  hv::regf::Status result;
  std::thread worker([&] {
    result = hv::regf::CompactHiveFile(in, out, nullptr, &progress, &stop);
    done = true;
  });
  while (!done && progress.load() < at) std::this_thread::sleep_for(std::chrono::microseconds(200));
  const bool endedFirst = done;
  const auto pressed = std::chrono::steady_clock::now();
  stop = true;
  worker.join();
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - pressed).count();
  std::error_code ec;
  const bool left = std::filesystem::exists(out, ec);
  if (endedFirst) {
    std::printf("0 ended-before-the-stop\n");
    return 3;
  }
  std::printf("%.1f %s %s\n", ms, result.stopped ? "stopped" : (result.ok ? "finished" : "failed"), left ? "copy-left" : "nothing-left");
  return result.stopped && !left ? 0 : 1;
}
