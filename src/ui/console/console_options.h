#pragma once
// How the terminal toolkit runs.
#include <string>

#include "ui/console/ansi_text.h"

namespace hv::ui::console {

struct ConsoleOptions {
  enum class Mode {
    // Interactive when stdin and stdout are terminals and no script is
    // given; otherwise a script (from stdin when no path is given).
    Auto,
    // The terminal front end: forms drawn with ANSI escapes, keys.
    Interactive,
    // Commands from `scriptPath` ("-": stdin), results on stdout.
    Script,
    // Driven in-process by a test through the ConsoleToolkit API.
    Test,
  };
  Mode mode = Mode::Test;
  std::string scriptPath;
  // TickCount and timers on a clock that moves only by AdvanceClock (and the
  // script command `sleep`). Workers still run in real time.
  bool virtualClock = false;
  // The code page of the model's ANSI texts.
  int codePage = kCodePage1252;
  // Serve and look up the per-user instance endpoint. Off for tests that do
  // not exercise it, so that parallel tests never meet.
  bool singleInstance = true;
  // Longest real time, in ms, that waiting for quiet (script `wait`, the end
  // of a script) may take before the run counts as stalled; 0: no limit.
  // Tests set one so that a worker that never ends fails them fast.
  long long quietTimeoutMs = 0;
};

}  // namespace hv::ui::console
