// The offline platform's host files: read, written and opened through the engine's host-file
// unit, so a FIFO or folder where a file is expected is refused at once with a Win32 error.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/offline/host_io.h"
#include "support/temp_dir.h"

namespace hv::test {
namespace {

namespace host = offline::host;

TEST(HostIo, ReadsWritesAndRefusesWhatIsNotAFile) {
  TempDir dir;
  ASSERT_EQ(host::WriteFileAtomically(dir / "options.ini", "[Options]\r\nLan=English\r\n"), err::kSuccess);
  std::string bytes;
  ASSERT_EQ(host::ReadFile(dir / "options.ini", &bytes), err::kSuccess);
  EXPECT_EQ(bytes, "[Options]\r\nLan=English\r\n");
  EXPECT_EQ(host::ReadFile(dir / "missing.ini", &bytes), err::kFileNotFound);
  EXPECT_EQ(host::ReadFile(dir / "no" / "missing.ini", &bytes), err::kPathNotFound);
  std::filesystem::create_directory(dir / "folder.ini");
  EXPECT_EQ(host::ReadFile(dir / "folder.ini", &bytes), err::kAccessDenied);
}

#ifndef _WIN32
TEST(HostIo, AFifoIsRefusedWithoutWaiting) {
  TempDir dir;
  const auto fifo = dir / "options.ini";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string bytes;
  EXPECT_EQ(host::ReadFile(fifo, &bytes), err::kAccessDenied);
  DWORD error = 0;
  EXPECT_FALSE(host::OpenFile::Open(fifo, true, false, host::OpenFile::Disposition::kOpenExisting, &error));
  EXPECT_EQ(error, err::kAccessDenied);
  EXPECT_FALSE(host::OpenFile::Open(fifo, true, true, host::OpenFile::Disposition::kOpenAlways, &error));
  EXPECT_EQ(error, err::kAccessDenied);
  EXPECT_NE(host::SyncFile(fifo), err::kSuccess);
}
#endif

}  // namespace
}  // namespace hv::test
