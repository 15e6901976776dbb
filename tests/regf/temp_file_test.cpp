// The temporary file of a compaction: its name goes with it at once, whatever became of the copy,
// and the descriptor it keeps off Windows is closed, here or on the closing thread, never leaked.
#include "regf/background_close.h"
#include "regf/compact_hooks.h"
#include "regf/file_view.h"
#include "regf/regf.h"
#include "regf/temp_file.h"
#include "regf_test_util.h"

#include <atomic>
#include <string>
#include <vector>

namespace hv::test {
namespace {

// How many of this process's descriptors refer to `file`, under its name or removed ("(deleted)").
// -1 where the system does not tell (only Linux lists them in /proc).
int DescriptorsOf(const std::filesystem::path& file) {
#ifdef __linux__
  int n = 0;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
    std::error_code le;
    const std::string target = std::filesystem::read_symlink(e.path(), le).string();
    if (!le && (target == file.string() || target == file.string() + " (deleted)")) ++n;
  }
  return n;
#else
  (void)file;
  return -1;
#endif
}

// Where the system tells, no descriptor of this process refers to `file`.
void ExpectNoDescriptor(const std::filesystem::path& file) {
  const int n = DescriptorsOf(file);
  if (n >= 0) {
    EXPECT_EQ(n, 0) << file;
  }
}

bool Writes(regf::NewFile& file, std::size_t bytes) {
  const std::vector<std::uint8_t> data(bytes, 0x5A);
  std::string error;
  return file.Write(data.data(), data.size(), error);
}

// Table: the file is left (writer closed or still open), or published under another name first.
TEST(RegfTempFile, TheNameGoesAtOnceAndNoDescriptorOutlivesTheClosingThread) {
  struct Case {
    const char* what;
    bool closeWriter, publish;
  };
  for (const Case& c : {Case{"left, writer open", false, false}, Case{"left, writer closed", true, false},
                        Case{"published", true, true}}) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    std::filesystem::path temp;
    {
      regf::TempFile file;
      regf::NewFile writer;
      ASSERT_TRUE(file.Create(dir / "copy.hive", writer)) << c.what;
      temp = file.path();
      EXPECT_EQ(temp.parent_path(), dir.path());
      ASSERT_TRUE(Writes(writer, 3u << 20));
      std::string error;
      if (c.closeWriter) {
        ASSERT_TRUE(writer.Close(error)) << error;
      }
      if (c.publish) std::filesystem::create_hard_link(temp, dir / "copy.hive");
    }
    EXPECT_FALSE(std::filesystem::exists(temp));
    regf::WaitForBackgroundCloses();
    ExpectNoDescriptor(temp);
    if (c.publish) {
      EXPECT_EQ(std::filesystem::file_size(dir / "copy.hive"), 3u << 20);
      ExpectNoDescriptor(dir / "copy.hive");
    }
  }
}

std::atomic<bool> g_stop{false};

// A compaction stopped while it writes its copy, or while it reads it back with the sync under
// way, leaves no name behind when it returns, and no descriptor of the copy once the closing
// thread is done (the sync it no longer waits for included).
TEST(RegfTempFile, AStoppedCompactionLeavesNeitherNameNorDescriptor) {
  ScratchDir dir;
  ASSERT_TRUE(regf::GenerateFragmentedHive(dir / "in", 4u << 20));
  for (const bool whileReadBack : {false, true}) {
    SCOPED_TRACE(whileReadBack ? "stopped while read back" : "stopped while written");
    g_stop = false;
    regf::CompactHooks hooks;
    if (whileReadBack) {
      hooks.written = [](const std::filesystem::path&) { g_stop = true; };
    } else {
      hooks.piece = [](std::uint64_t, std::uint8_t*, std::size_t) { g_stop = true; };
    }
    regf::SetCompactHooksForTest(&hooks);
    const regf::Status s = regf::CompactHiveFile(dir / "in", dir / "out.hive", nullptr, nullptr, &g_stop);
    regf::SetCompactHooksForTest(nullptr);
    EXPECT_TRUE(s.stopped) << s.message;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 1);
    regf::WaitForBackgroundCloses();
    ExpectNoDescriptor(dir / "~hv1.tmp");
  }
}

TEST(RegfTempFile, NeverTakesANameInUse) {
  ScratchDir dir;
  WriteBytes(dir / "~hv1.tmp", {'k'});
  regf::TempFile first, second;
  regf::NewFile a, b;
  ASSERT_TRUE(first.Create(dir / "out.hive", a));
  ASSERT_TRUE(second.Create(dir / "out.hive", b));
  EXPECT_EQ(first.path().filename(), "~hv2.tmp");
  EXPECT_EQ(second.path().filename(), "~hv3.tmp");
  EXPECT_EQ(ReadBytes(dir / "~hv1.tmp"), std::vector<std::uint8_t>{'k'});
}

#ifndef _WIN32
// The closing thread ends when it runs out of work and is started again for the next file: files
// handed over in bursts, with waits between, are all closed.
TEST(RegfTempFile, TheClosingThreadClosesEveryFileHandedOver) {
  ScratchDir dir;
  for (int burst = 0; burst < 4; ++burst) {
    std::vector<std::filesystem::path> names;
    for (int i = 0; i < 8; ++i) {
      names.push_back(dir / ("f" + std::to_string(burst) + "-" + std::to_string(i)));
      regf::HostFile f;
      ASSERT_EQ(f.Open(names.back(), regf::HostFile::Access::kReadWrite, regf::HostFile::Disposition::kCreateNew), 0);
      std::filesystem::remove(names.back());
      regf::CloseInBackground(std::move(f));
    }
    regf::WaitForBackgroundCloses();
    for (const auto& n : names) ExpectNoDescriptor(n);
  }
}
#endif

}  // namespace
}  // namespace hv::test
