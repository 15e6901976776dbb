// hivora-stop-latency HIVE OUT [SHARE]: compacts HIVE into OUT (which must not exist) on a second
// thread, sets the stop flag once the progress has reached SHARE of the hive's size (default 0.3;
// the progress ends at the copy's size, so a share above the copy's part of the hive is never
// reached and the compaction finishes), and prints how long the compaction took to come back
// after it, in milliseconds, and whether it came back stopped with nothing left under OUT's name.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "regf/regf.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: hivora-stop-latency HIVE OUT [SHARE]\n");
    return 2;
  }
  const std::filesystem::path in = argv[1], out = argv[2];
  const double share = argc > 3 ? std::atof(argv[3]) : 0.3;
  std::error_code ec;
  const auto size = static_cast<double>(std::filesystem::file_size(in, ec));
  if (ec) {
    std::fprintf(stderr, "hivora-stop-latency: %s: %s\n", in.string().c_str(), ec.message().c_str());
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
  while (!done && static_cast<double>(progress.load()) < share * size) std::this_thread::sleep_for(std::chrono::microseconds(200));
  const auto pressed = std::chrono::steady_clock::now();
  stop = true;
  worker.join();
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - pressed).count();
  const bool left = std::filesystem::exists(out, ec);
  std::printf("%.1f %s %s\n", ms, result.stopped ? "stopped" : (result.ok ? "finished" : "failed"), left ? "copy-left" : "nothing-left");
  return result.stopped && !left ? 0 : 1;
}
