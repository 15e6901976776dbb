// A failure's reason in words: the errno behind a Win32 code, never a number.
#include <gtest/gtest.h>

#include <cerrno>

#include "platform/offline/error_text.h"
#include "platform/offline/host_io.h"

namespace hv::offline {
namespace {

TEST(ErrorTextTest, TheErrnoBehindACodeIsToldNotTheCode) {
  // 5 stands for all three; each is told as what it was.
  EXPECT_EQ(ErrorText(host::ErrorFromErrno(EROFS)), ErrnoText(EROFS));
  EXPECT_EQ(ErrorText(host::ErrorFromErrno(EACCES)), ErrnoText(EACCES));
  EXPECT_EQ(ErrorText(host::ErrorFromErrno(ENOSPC)), ErrnoText(ENOSPC));
#ifndef _WIN32
  EXPECT_EQ(ErrnoText(EROFS), "Read-only file system");
  EXPECT_EQ(ErrnoText(ENOSPC), "No space left on device");
#endif
}

TEST(ErrorTextTest, ACodeWithNoErrnoBehindItIsStillWords) {
  (void)host::ErrorFromErrno(ENOSPC);  // the last errno stands behind another code
  for (DWORD code : {err::kSharingViolation, err::kAccessDenied, err::kPrivilegeNotHeld, err::kFileNotFound}) {
    const std::string text = ErrorText(code);
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.find(std::to_string(code)), std::string::npos) << text;
    EXPECT_NE(text, ErrnoText(ENOSPC));
  }
  EXPECT_EQ(ErrorText(99999), "Windows error 99999");
}

}  // namespace
}  // namespace hv::offline
