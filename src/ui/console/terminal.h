#pragma once
// The controlling terminal: raw mode and the alternate screen for as long as
// a TerminalSession lives (also restored when a fatal signal ends the
// process), its size, and the keys typed, decoded on a reader thread.
#include <functional>
#include <memory>
#include <string_view>
#include <thread>

namespace hv::ui::console {

struct Key {
  enum class Code { Char, Enter, Tab, BackTab, Escape, Up, Down, Left, Right, PageUp, PageDown, Home, End, F1, Interrupt };
  Code code = Code::Char;
  char ch = 0;  // for Char
};

class TerminalSession {
 public:
  // Null when stdin or stdout is not a terminal.
  static std::unique_ptr<TerminalSession> Open();
  ~TerminalSession();
  TerminalSession(const TerminalSession&) = delete;
  TerminalSession& operator=(const TerminalSession&) = delete;

  void Write(std::string_view bytes);
  // Columns and rows (80 x 24 when the terminal does not say).
  int Cols() const;
  int Rows() const;
  // Whether the size changed since the last call.
  bool TakeResized();

 private:
  TerminalSession() = default;
};

// Reads keys from stdin on its own thread and hands each to `onKey` there.
// Move-only owner of the thread and of its wake-up pipe.
class KeyReader {
 public:
  explicit KeyReader(std::function<void(Key)> onKey);
  ~KeyReader();
  KeyReader(const KeyReader&) = delete;
  KeyReader& operator=(const KeyReader&) = delete;

 private:
  void Run();
  std::function<void(Key)> onKey_;
  int wake_[2] = {-1, -1};
  std::thread thread_;
};

}  // namespace hv::ui::console
