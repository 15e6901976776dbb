#pragma once
// The terminal realisation of the toolkit interface.
//
// One message loop serves every mode. Each loop (the main one, each modal
// form, each message box or menu of the interactive front end) dispatches,
// in this order: calls sent from workers, posted messages and internal tasks
// in arrival order, due timers; when none is left the loop is idle and asks
// its driver for more: the script, a test's idle handler, or the terminal.
//
// Drivers:
// - Script mode installs a script runner as the idle handler (see
//   script_runner.h).
// - Tests install an idle handler of their own, answer message boxes
//   through QueueAnswer and move a virtual clock with AdvanceClock.
// - The interactive front end draws when idle and turns keys into clicks.
//
// A flow test, in process:
//
//   ConsoleOptions options;              // Mode::Test
//   options.virtualClock = true;
//   options.singleInstance = false;
//   options.quietTimeoutMs = 30000;
//   ConsoleToolkit tk(options);
//   TfrmMain main(tk, "Talvix Hivora test");
//   tk.ShowForm(main);                   // FormShow; its posts wait in the queue
//   tk.PumpUntilIdle();
//   int step = 0;
//   tk.SetIdleHandler([&](ConsoleToolkit& t) {   // runs inside the dialog's loop
//     switch (step++) {
//       case 0: t.AdvanceClock(1000); return true;
//       case 1: fakeSave.Release(); return true;
//       default: return t.PumpUntilIdle();
//     }
//   });
//   tk.QueueAnswer(kMrOk);
//   tk.ClickByName("bAnalyzeRegistry");  // returns when the run is over
//   EXPECT_FALSE(tk.Stalled());
//   EXPECT_EQ(main.lvList.Rows()[0].subItems[0], "1,024 KB");
//
// or, as a script with commands of the test's own (script_runner.h):
//
//   auto runner = InstallScript(tk, std::make_unique<std::istringstream>(
//       "click bAnalyzeRegistry\nsleep 1000\nrelease\nwait\ndump\n"));
//   runner->AddCommand("release", [&](ConsoleToolkit&, std::string_view) { fakeSave.Release(); });
//   tk.SetTranscript(&out);
//   tk.RunMain(main);                    // the script's end closes the main form
//
// The toolkit must outlive its forms' use of it; forms left with a window
// when it goes are detached.
//
// Failing fast: a loop that is idle, with no worker running and nothing
// queued, whose idle handler is absent or returns false, and which no timer
// can wake (a virtual clock, or no timer), has stalled: every loop then
// unwinds (modal forms are closed) and Stalled() tells the test.
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/console/console_options.h"
#include "ui/console/front_end.h"
#include "ui/console/message_queue.h"
#include "ui/console/timer_schedule.h"
#include "ui/form.h"
#include "ui/toolkit.h"

namespace hv::ui::console {

class EndpointServer;

class ConsoleToolkit final : public Toolkit {
 public:
  // Transcript (MESSAGE, ACTIVATED, dumps) and diagnostics default to none;
  // the factory points them at stdout / stderr in script mode.
  explicit ConsoleToolkit(ConsoleOptions options);
  ~ConsoleToolkit() override;
  ConsoleToolkit(const ConsoleToolkit&) = delete;
  ConsoleToolkit& operator=(const ConsoleToolkit&) = delete;

  // --- Toolkit.
  void ShowForm(Form& form) override;
  void HideForm(Form& form) override;
  int RunModal(Form& form) override;
  void RunMain(Form& mainForm) override;
  void DestroyWindow(Form& form) override;
  void FormChanged(Form& form, Component* component) override;
  void MinimizeApplication() override;
  void HideApplication() override;
  void SetApplicationTitle(const std::string& title) override;
  BOOL PostMessageA(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) override;
  bool SendToUiThread(HWND window, std::function<void()> fn) override;
  int MessageBoxA(Form* owner, const std::string& text, const std::string& caption, UINT flags) override;
  void Popup(PopupMenu& menu, Point screenPoint) override;
  Point GetCursorPos() override;
  // A fixed advance per character: 6 px in the normal 8 pt font, 7 px when
  // the form's font is bold. `&` accelerator markers take no room ("&&" is
  // one '&').
  int TextWidth(const Form& form, const std::string& text) override;
  void ShowApplicationError(const std::string& text) override;
  std::int64_t TickCount() override;
  HWND FindWindowA(const char* className) override;
  BOOL SetForegroundWindow(HWND window) override;
  BOOL IsIconic(HWND window) override;
  BOOL ShowWindow(HWND window, int cmd) override;
  HWND GetLastActivePopup(HWND window) override;
  BOOL IsWindowVisible(HWND window) override;
  BOOL IsWindowEnabled(HWND window) override;
  HWND ApplicationHandle() override;

  // --- Driving the loop (UI thread): scripts, tests, the front end.
  using IdleHandler = std::function<bool(ConsoleToolkit&)>;
  // Called whenever the innermost loop is idle; true: it did something (or
  // wants to be called again), false: nothing more to do. Handlers may be
  // called re-entrantly when what they do opens a nested loop.
  void SetIdleHandler(IdleHandler handler);
  void SetTranscript(std::ostream* out) { transcript_ = out; }
  void SetDiagnostics(std::ostream* err) { diagnostics_ = err; }
  void SetFrontEnd(std::unique_ptr<FrontEnd> frontEnd);
  // What the interactive screen says beyond the forms: the installation the
  // program works on (after the main window's title), and a line under a
  // list about its selected row. Either may be left empty.
  struct ScreenNotes {
    std::function<std::string()> title;
    std::function<std::string(const ListView& list, int row)> rowInfo;
    // The screen's own words (key hints, questions) in the user's language:
    // the text stored under `key`, or `english` (UTF-8 both ways).
    std::function<std::string(const char* key, const char* english)> text;
  };
  void SetScreenNotes(ScreenNotes notes) { notes_ = std::move(notes); }
  const ScreenNotes& Notes() const { return notes_; }
  const ConsoleOptions& Options() const { return options_; }

  // The form the user works with: the topmost modal form, else the main
  // form; null when neither has a window.
  Form* ActiveForm() const;
  Form* MainForm() const { return mainForm_; }
  // Forms with a window, bottom to top: the main form, then the modal ones.
  std::vector<Form*> FormStack() const;

  enum class ClickResult { Clicked, NotFound, Hidden, Disabled, NotClickable, NoForm };
  // Clicks a control (Control::Click) or menu item (its OnClick) of the
  // active form by component name. Hidden or disabled ones (a control
  // counts as hidden or disabled when a parent is) are refused.
  ClickResult ClickByName(std::string_view name);
  static const char* Describe(ClickResult result);
  // Clicks `control` as the user would; an escaping exception is shown.
  void ClickControl(Control& control);
  void ClickMenuItem(MenuItem& item);

  // Message boxes: the next ones are answered with these buttons, in order;
  // without one a box takes its default button. An answer the box does not
  // offer is reported and the default taken instead.
  void QueueAnswer(int button);
  std::size_t PendingAnswers() const { return answers_.size(); }
  struct MessageBoxRecord {
    std::string caption;
    std::string text;
    UINT flags = 0;
    int answer = 0;
  };
  const std::vector<MessageBoxRecord>& MessageBoxLog() const { return messageBoxes_; }
  // Pop-up menus (scripted and test modes): the next menu popped up chooses
  // the item of this name, when it has one; otherwise a menu is dismissed.
  void QueuePopupChoice(std::string itemName);

  // Virtual clock: fires the timers due up to now + ms in time order, one
  // tick at a time, handling the messages queued after each tick. Real
  // clock: runs the loop (without the idle handler) for `ms`.
  void AdvanceClock(std::int64_t ms);
  // Runs the loop, without the idle handler, until Quiet() or until the
  // innermost enclosing loop is done; false on timeout.
  bool PumpUntilIdle(std::chrono::milliseconds timeout = std::chrono::seconds(60));
  // Nothing queued, no worker blocked in SendToUiThread, no worker running.
  bool Quiet() const;
  // The loops stop asking the idle handler until Quiet() (script `wait`).
  void BeginWaitForQuiet();

  // The dump of the active form (see form_dump.h); empty without one.
  std::vector<std::string> DumpActiveForm() const;
  // Writes a line to the transcript, flushed.
  void Transcript(const std::string& line);
  void Diagnostic(const std::string& line);
  // How many diagnostics (script lines refused) were given so far.
  int DiagnosticCount() const { return diagnosticCount_; }

  bool Stalled() const { return stalled_; }
  bool Minimized() const { return minimized_; }
  bool ApplicationHidden() const { return appHidden_; }
  const std::string& ApplicationTitle() const { return appTitle_; }
  // Runs a loop until `done` (the front end's message boxes and menus).
  void RunLoopUntil(const std::function<bool()>& done);
  // Queues a task for the UI thread (any thread; terminal keys).
  void PostTask(std::function<void()> task) { queue_.PostTask(std::move(task)); }

 private:
  struct WindowInfo {
    Form* form = nullptr;
    std::string className;
  };

  void RunLoop(const std::function<bool()>& done, bool callIdle, std::optional<std::int64_t> deadline);
  // Handles one queued item or due timer; false when there was none.
  bool DispatchOne();
  void Dispatch(const MessageQueue::Posted& message);
  bool FireDueTimer();
  void FireTimer(Timer& timer);
  // Runs a handler; an escaping exception is shown as the application's.
  void Guard(const std::function<void()>& handler);
  void WaitForActivity(std::chrono::milliseconds longest);
  void Stall(const std::string& why);
  Form* FormOf(HWND window) const;
  void CreateWindowFor(Form& form);
  std::int64_t Now() const;

  ConsoleOptions options_;
  MessageQueue queue_;
  TimerSchedule timers_;
  std::map<HWND, WindowInfo> windows_;
  mutable std::mutex remoteMutex_;
  std::map<HWND, std::string> remotes_;  // handle -> endpoint path
  std::uintptr_t nextRemote_ = 0x40000000;
  std::unique_ptr<EndpointServer> endpoint_;
  HWND endpointOwner_ = nullptr;
  Form* mainForm_ = nullptr;
  std::vector<Form*> modal_;
  std::vector<const std::function<bool()>*> loops_;
  IdleHandler idle_;
  std::unique_ptr<FrontEnd> frontEnd_;
  ScreenNotes notes_;
  std::deque<int> answers_;
  std::deque<std::string> popupChoices_;
  std::vector<MessageBoxRecord> messageBoxes_;
  std::ostream* transcript_ = nullptr;
  std::ostream* diagnostics_ = nullptr;
  int diagnosticCount_ = 0;
  std::chrono::steady_clock::time_point start_;
  std::int64_t virtualNow_ = 0;
  Point cursor_{};
  std::string appTitle_;
  bool waitForQuiet_ = false;
  std::chrono::steady_clock::time_point quietDeadline_{};
  bool stalled_ = false;
  bool minimized_ = false;
  bool appHidden_ = false;
};

}  // namespace hv::ui::console
