// While a large hive is compacted, the size queries for its copy answer with
// the size the copy has reached, which grows, although no file has the copy's
// name until the copy is verified.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "offline_machine.h"
#include "platform/unique_handle.h"
#include "regf/fixture.h"

namespace hv::test {
namespace {

namespace fs = std::filesystem;

TEST(SaveProgressTest, TheCopyOfALargeHiveGrowsInTheSizeQueriesBeforeItHasItsName) {
  OfflineMachine demo;
  fs::remove(demo.Config("SOFTWARE"));
  const regf::Status made = regf::GenerateFragmentedHive(demo.Config("SOFTWARE"), 48u << 20);
  ASSERT_TRUE(made) << made.message;
  auto os = demo.Platform();
  Enable(*os, "SeBackupPrivilege");
  HKEY key = nullptr;
  ASSERT_EQ(os->RegOpenKeyA(HkeyLocalMachine(), "SOFTWARE", &key), 0);
  const char* copy = "C:\\Windows\\System32\\config\\SOFTWARE.hvx";

  std::atomic<bool> done{false};
  LSTATUS saved = -1;
  std::thread saver([&] {
    saved = os->RegSaveKeyA(key, copy);
    done = true;
  });
  std::set<std::int64_t> seen;
  while (!done) {
    FindDataA found;
    const HANDLE find = os->FindFirstFileA(copy, &found);
    if (find != InvalidHandleValue()) {
      os->FindClose(find);
      const auto size = static_cast<std::int64_t>((std::uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow);
      if (!done) seen.insert(size);
    }
    std::this_thread::yield();
  }
  saver.join();
  os->RegCloseKey(key);
  ASSERT_EQ(saved, 0);
  const auto final = static_cast<std::int64_t>(fs::file_size(demo.Config("SOFTWARE.hvx")));
  int between = 0;
  for (std::int64_t size : seen) between += size > 0 && size < final;
  EXPECT_GE(between, 2) << "sizes seen: " << seen.size();
  EXPECT_LE(*seen.rbegin(), final);
}

// Stop pressed while a hive is copied: the save ends cancelled, leaves no
// file and no failure to report, and the hive can be saved afterwards.
TEST(SaveProgressTest, StopEndsASaveUnderWayAndLeavesNoFile) {
  OfflineMachine demo;
  fs::remove(demo.Config("SOFTWARE"));
  ASSERT_TRUE(regf::GenerateFragmentedHive(demo.Config("SOFTWARE"), 8u << 20));
  auto os = demo.Platform();
  Enable(*os, "SeBackupPrivilege");
  HKEY key = nullptr;
  ASSERT_EQ(os->RegOpenKeyA(HkeyLocalMachine(), "SOFTWARE", &key), 0);
  const char* copy = "C:\\Windows\\System32\\config\\SOFTWARE.hvx";
  const std::set<fs::path> before(fs::directory_iterator(demo.Config("")), fs::directory_iterator());
  std::atomic<bool> stop{true};
  EXPECT_EQ(os->RegSaveKeyStoppable(key, copy, &stop), static_cast<LSTATUS>(err::kCancelled));
  EXPECT_EQ(std::set<fs::path>(fs::directory_iterator(demo.Config("")), fs::directory_iterator()), before);
  stop = false;
  EXPECT_EQ(os->RegSaveKeyStoppable(key, copy, &stop), 0);
  EXPECT_TRUE(fs::exists(demo.Config("SOFTWARE.hvx")));
  os->RegCloseKey(key);
}

}  // namespace
}  // namespace hv::test
