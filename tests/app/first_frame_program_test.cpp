// The program on a terminal of its own, with HIVORA_EXIT_AFTER_FIRST_FRAME set as the start-up
// benchmark sets it: it ends after the first frame that shows its main window, and says when.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "platform/offline/demo_machine.h"
#include "support/temp_dir.h"

namespace hv {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// The program on a pseudo-terminal; killed if it still runs at the end.
class PtyProgram {
 public:
  PtyProgram(const std::string& command, int cols, int rows) {
    winsize size{};
    size.ws_col = static_cast<unsigned short>(cols);
    size.ws_row = static_cast<unsigned short>(rows);
    pid_ = ::forkpty(&master_, nullptr, nullptr, &size);
    if (pid_ == 0) {
      ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
  }
  ~PtyProgram() {
    if (pid_ > 0 && exitCode_ == kRunning) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) ::close(master_);
  }
  PtyProgram(const PtyProgram&) = delete;
  PtyProgram& operator=(const PtyProgram&) = delete;

  bool Started() const { return pid_ > 0; }
  // Reads the screen for `span` or until the program is gone; its exit code, or kRunning.
  int RunFor(std::chrono::milliseconds span) {
    const Clock::time_point end = Clock::now() + span;
    while (exitCode_ == kRunning && Clock::now() < end) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, 50) > 0) {
        char buffer[4096];
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0) screen_.append(buffer, static_cast<std::size_t>(n));
      }
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return exitCode_;
  }
  void Resize(int cols, int rows) {
    winsize size{};
    size.ws_col = static_cast<unsigned short>(cols);
    size.ws_row = static_cast<unsigned short>(rows);
    ::ioctl(master_, TIOCSWINSZ, &size);
  }
  const std::string& Screen() const { return screen_; }

  static constexpr int kRunning = -1000;

 private:
  pid_t pid_ = -1;
  int master_ = -1;
  int exitCode_ = kRunning;
  std::string screen_;
};

class FirstFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(offline::EnsureDemoMachine(dir.path() / "c", &error)) << error;
  }
  std::string Command() const {
    return "TERM=xterm XDG_CONFIG_HOME='" + (dir.path() / "config").string() + "' XDG_DATA_HOME='" +
           (dir.path() / "data").string() + "' HIVORA_EXIT_AFTER_FIRST_FRAME='" + Stamp().string() + "' exec '" +
           HIVORA_PROGRAM "' --root '" + (dir.path() / "c").string() + "'";
  }
  fs::path Stamp() const { return dir.path() / "first-frame"; }
  std::int64_t StampNs() const {
    const std::string text = test::ReadWholeFile(Stamp());
    return text.empty() ? -1 : std::stoll(text);
  }

  test::TempDir dir;
};

TEST_F(FirstFrameTest, TheProgramEndsAfterDrawingItsWindowAndTellsWhen) {
  const std::int64_t before = NowNs();
  PtyProgram program(Command(), 80, 24);
  ASSERT_TRUE(program.Started());
  ASSERT_EQ(program.RunFor(std::chrono::seconds(30)), 0) << program.Screen();
  const std::int64_t after = NowNs();
  const std::string& screen = program.Screen();
  // The frame came before the terminal was given back.
  const std::size_t window = screen.find("nalyze Registry");
  ASSERT_NE(window, std::string::npos) << screen;
  EXPECT_NE(screen.find("Hive Name"), std::string::npos) << screen;
  EXPECT_NE(screen.find("\x1b[?1049l", window), std::string::npos) << "the terminal is given back";
  ASSERT_TRUE(fs::exists(Stamp()));
  EXPECT_GT(StampNs(), before);
  EXPECT_LT(StampNs(), after);
  EXPECT_FALSE(fs::exists(dir.path() / "c/Windows/System32/config/SOFTWARE.hvx")) << "no analysis ran";
}

TEST_F(FirstFrameTest, AFrameWithoutTheWholeWindowDoesNotCount) {
  PtyProgram program(Command(), 40, 12);  // too small: the program says so instead
  ASSERT_TRUE(program.Started());
  EXPECT_EQ(program.RunFor(std::chrono::milliseconds(1500)), PtyProgram::kRunning) << program.Screen();
  EXPECT_NE(program.Screen().find("too small"), std::string::npos) << program.Screen();
  EXPECT_FALSE(fs::exists(Stamp()) && !test::ReadWholeFile(Stamp()).empty());
  const std::int64_t resized = NowNs();
  program.Resize(80, 24);
  ASSERT_EQ(program.RunFor(std::chrono::seconds(30)), 0) << program.Screen();
  EXPECT_GT(StampNs(), resized) << "the window drawn whole after the resize";
}

}  // namespace
}  // namespace hv
