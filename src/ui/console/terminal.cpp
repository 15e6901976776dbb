#include "ui/console/terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

namespace hv::ui::console {
namespace {

// State the signal handlers need: plain data, set before they are installed.
termios g_saved{};
std::atomic<bool> g_active{false};
std::atomic<bool> g_resized{false};
constexpr char kLeave[] = "\x1b[0m\x1b[?25h\x1b[?1049l";
constexpr int kFatalSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
struct sigaction g_previous[4];
struct sigaction g_previousWinch;

void Restore() {
  if (!g_active.exchange(false)) return;
  ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_saved);
  (void)!::write(STDOUT_FILENO, kLeave, sizeof kLeave - 1);
}

// Async-signal-safe: put the terminal back, then die of the signal as before.
void OnFatalSignal(int signal) {
  Restore();
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

void OnResize(int) { g_resized = true; }

}  // namespace

std::unique_ptr<TerminalSession> TerminalSession::Open() {
  if (!::isatty(STDIN_FILENO) || !::isatty(STDOUT_FILENO)) return nullptr;
  if (::tcgetattr(STDIN_FILENO, &g_saved) != 0) return nullptr;
  termios raw = g_saved;
  raw.c_iflag &= ~static_cast<tcflag_t>(BRKINT | ICRNL | INPCK | ISTRIP | IXON);
  raw.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  raw.c_cflag |= CS8;
  raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON | IEXTEN | ISIG);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  if (::tcsetattr(STDIN_FILENO, TCSAFLUSH, &raw) != 0) return nullptr;
  g_active = true;
  // A program that ends by exit() (a restart request, say) never destroys
  // the session; the terminal must come back all the same.
  static const bool registered = std::atexit(Restore) == 0;
  (void)registered;
  for (std::size_t i = 0; i < 4; ++i) {
    struct sigaction action {};
    action.sa_handler = OnFatalSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(kFatalSignals[i], &action, &g_previous[i]);
  }
  struct sigaction winch {};
  winch.sa_handler = OnResize;
  sigemptyset(&winch.sa_mask);
  winch.sa_flags = SA_RESTART;
  ::sigaction(SIGWINCH, &winch, &g_previousWinch);
  std::unique_ptr<TerminalSession> session(new TerminalSession());
  session->Write("\x1b[?1049h\x1b[?25l\x1b[2J");
  return session;
}

TerminalSession::~TerminalSession() {
  Restore();
  for (std::size_t i = 0; i < 4; ++i) ::sigaction(kFatalSignals[i], &g_previous[i], nullptr);
  ::sigaction(SIGWINCH, &g_previousWinch, nullptr);
}

void TerminalSession::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

int TerminalSession::Cols() const {
  winsize size{};
  return ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

int TerminalSession::Rows() const {
  winsize size{};
  return ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_row > 0 ? size.ws_row : 24;
}

bool TerminalSession::TakeResized() { return g_resized.exchange(false); }

KeyReader::KeyReader(std::function<void(Key)> onKey) : onKey_(std::move(onKey)) {
  if (::pipe2(wake_, O_CLOEXEC) != 0) wake_[0] = wake_[1] = -1;
  thread_ = std::thread([this] { Run(); });
}

KeyReader::~KeyReader() {
  const char stop = 'x';
  if (wake_[1] >= 0) (void)!::write(wake_[1], &stop, 1);
  if (thread_.joinable()) thread_.join();
  if (wake_[0] >= 0) ::close(wake_[0]);
  if (wake_[1] >= 0) ::close(wake_[1]);
}

void KeyReader::Run() {
  auto readByte = [this](int timeoutMs, unsigned char& byte) {
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    for (;;) {
      const int ready = ::poll(fds, wake_[0] >= 0 ? 2 : 1, timeoutMs);
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) return 0;  // timeout or error
      if (wake_[0] >= 0 && fds[1].revents != 0) return -1;
      if (::read(STDIN_FILENO, &byte, 1) != 1) return -1;
      return 1;
    }
  };
  // A byte read after a lone Esc that began no sequence: the next key.
  int pending = -1;
  for (;;) {
    unsigned char byte = 0;
    if (pending >= 0) {
      byte = static_cast<unsigned char>(pending);
      pending = -1;
    } else {
      const int got = readByte(-1, byte);
      if (got < 0) return;
      if (got == 0) continue;
    }
    Key key;
    switch (byte) {
      case '\r':
      case '\n': key.code = Key::Code::Enter; break;
      case '\t': key.code = Key::Code::Tab; break;
      case 3: key.code = Key::Code::Interrupt; break;
      case 0x1b: {
        // A lone Esc, or the start of a sequence (arrows, Shift-Tab).
        unsigned char next = 0;
        const int more = readByte(30, next);
        if (more < 0) return;
        if (more == 0 || (next != '[' && next != 'O')) {
          key.code = Key::Code::Escape;
          if (more > 0) pending = next;
          break;
        }
        unsigned char final = 0;
        if (readByte(30, final) <= 0) continue;
        switch (final) {
          case 'A': key.code = Key::Code::Up; break;
          case 'B': key.code = Key::Code::Down; break;
          case 'C': key.code = Key::Code::Right; break;
          case 'D': key.code = Key::Code::Left; break;
          case 'Z': key.code = Key::Code::BackTab; break;
          case 'H': key.code = Key::Code::Home; break;
          case 'F': key.code = Key::Code::End; break;
          case 'P': key.code = Key::Code::F1; break;
          default: {
            // Longer sequences: "ESC [ n ~" for the page keys, Home, End
            // and F1; others (further function keys, modifiers) are skipped
            // to their final byte.
            int number = final >= '0' && final <= '9' ? final - '0' : -1;
            while (final < 0x40 || final > 0x7e) {
              if (readByte(30, final) <= 0) break;
              if (final >= '0' && final <= '9' && number >= 0 && number < 100) number = number * 10 + (final - '0');
              else if (final < 0x40) number = -1;
            }
            if (final != '~') continue;
            if (number == 11) key.code = Key::Code::F1;
            else if (number == 5) key.code = Key::Code::PageUp;
            else if (number == 6) key.code = Key::Code::PageDown;
            else if (number == 1 || number == 7) key.code = Key::Code::Home;
            else if (number == 4 || number == 8) key.code = Key::Code::End;
            else continue;
          }
        }
        break;
      }
      default:
        if (byte < 0x20 || byte >= 0x7f) continue;
        key.ch = static_cast<char>(byte);
    }
    onKey_(key);
  }
}

}  // namespace hv::ui::console
