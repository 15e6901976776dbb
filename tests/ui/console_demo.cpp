// A stand-alone program that shows the test forms with the terminal toolkit
// through the same factory the application uses:
//   ui_console_demo                 interactive on a terminal
//   ui_console_demo --script FILE   scripted ("-": stdin)
// The dialog's worker pretends to copy three items, a quarter second each.
#include <chrono>
#include <iostream>
#include <string>
#include <thread>

#include "ui/console/make_console_toolkit.h"
#include "ui/test_forms.h"

using namespace hv::ui;
using namespace hv::ui::console;

int main(int argc, char** argv) {
  ConsoleOptions options;
  options.mode = ConsoleOptions::Mode::Auto;
  options.singleInstance = false;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--script") options.scriptPath = argv[i + 1];
  }
  std::unique_ptr<ConsoleToolkit> tk;
  try {
    tk = MakeConsoleToolkit(options);
  } catch (const ConsoleSetupError& e) {
    std::cerr << e.what() << '\n';
    return 2;
  }
  testing::TestMainForm main(*tk);
  main.lTitle.SetBold(true);
  main.bThrow.SetBounds({13, 122, 60, 22});
  main.cbFlag.SetBounds({13, 151, 60, 17});
  main.lvList.SetGridLines(true);
  main.lvList.AddRow("\\REGISTRY\\MACHINE\\SYSTEM", {"", "", ""});
  main.lvList.AddRow("\\REGISTRY\\MACHINE\\SOFTWARE", {"", "", ""});
  main.lvList.AddRow("\\REGISTRY\\USER\\.DEFAULT", {"", "", ""});
  auto& total = main.Add<Control>(Kind::Label, "lTotal");
  total.SetBounds({116, 312, 100, 13});
  total.SetCaption("Current Registry Size:");
  auto& totalValue = main.Add<Control>(Kind::Label, "lTotalValue");
  totalValue.SetBounds({222, 312, 70, 13});
  totalValue.SetAlignment(Align::Right);
  main.bInner.OnClick = [&] { main.Tk().Popup(main.pmMenu, main.Tk().GetCursorPos()); };
  main.onDialog = [&](testing::TestDialog& dialog) {
    dialog.onStart = [&](testing::TestDialog& d) {
      hv::HWND handle = d.Handle();
      ConsoleToolkit* toolkit = tk.get();
      d.StartWorker([toolkit, &d, &main, handle](testing::LambdaWorker& self) {
        for (int i = 0; i < 3 && !self.Terminated(); ++i) {
          const std::string name = main.lvList.Rows()[static_cast<std::size_t>(i)].caption;
          toolkit->SendToUiThread(handle, [&d, name] { d.mCurrent.SetCaption(name); });
          std::this_thread::sleep_for(std::chrono::milliseconds(250));
          toolkit->PostMessageA(handle, testing::kWmStep, 333, i + 1);
        }
        if (!self.Terminated()) toolkit->SendToUiThread(handle, [&d] { d.mCurrent.SetCaption("Finish"); });
        toolkit->PostMessageA(handle, kWmClose, 0, 0);
      });
    };
  };
  main.bOpen.OnClick = [&, previous = main.bOpen.OnClick] {
    previous();
    if (main.dialogMemo == "Finish") {
      for (std::size_t i = 0; i < 3; ++i) main.lvList.SetSubItem(i, 0, "1,024 KB");
      totalValue.SetCaption("3,072 KB");
      main.Tk().MessageBoxA(&main, "Done.", "Talvix Hivora", kMbOk);
    }
  };
  tk->RunMain(main);
  return 0;
}
