#pragma once
// The harness of the dialog and workflow tests: a fake machine, the terminal
// toolkit in test mode with a virtual clock, the main window, and a queue of
// steps that the innermost message loop runs one at a time whenever it is
// idle (clicks in a modal dialog, clock moves, releases of a blocked call).
#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "resources/builtin_texts.h"
#include "settings/options.h"
#include "shell/main_form.h"
#include "support/console_test.h"
#include "support/fake_platform.h"
#include "support/machine.h"
#include "support/temp_dir.h"
#include "ui/console/console_toolkit.h"

namespace hv::test {

// FakePlatform does not keep the owner window of a shell call; the web link
// rules are about exactly that.
class ShellOwnerPlatform : public FakePlatform {
 public:
  std::intptr_t ShellExecuteA(HWND owner, const char* operation, const char* file,
                              const char* parameters, const char* directory, int showCmd) override {
    {
      std::lock_guard<std::mutex> lock(ownersMutex_);
      owners_.push_back(owner);
    }
    return FakePlatform::ShellExecuteA(owner, operation, file, parameters, directory, showCmd);
  }
  std::vector<HWND> ShellOwners() const {
    std::lock_guard<std::mutex> lock(ownersMutex_);
    return owners_;
  }

 private:
  mutable std::mutex ownersMutex_;
  std::vector<HWND> owners_;
};

// One INI file as written: sections in order, keys in order.
struct IniSection {
  std::string name;
  std::vector<std::pair<std::string, std::string>> keys;
};
inline std::vector<IniSection> ParseIni(const std::string& text) {
  std::vector<IniSection> sections;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      sections.push_back({line.substr(1, line.find(']') - 1), {}});
      continue;
    }
    const auto eq = line.find('=');
    if (eq == std::string::npos || sections.empty()) continue;
    sections.back().keys.emplace_back(line.substr(0, eq), line.substr(eq + 1));
  }
  return sections;
}
inline const IniSection* FindSection(const std::vector<IniSection>& ini, const std::string& name) {
  for (const auto& section : ini) {
    if (section.name == name) return &section;
  }
  return nullptr;
}

class AppTest : public ::testing::Test {
 protected:
  AppTest() : scoped_(&fake), tk(TestToolkitOptions()) {
    tk.SetIdleHandler([this](ui::console::ConsoleToolkit&) { return RunNextStep(); });
  }
  ~AppTest() override {
    if (main) main->WaitForWorkers(10000);
  }

  // Drive C: with the hives, listed in the hivelist and openable.
  void AddMachine() { test::AddMachine(fake, ThreeHives()); }
  // The copies an accepted analysis leaves, and the backup privilege that it
  // enabled on the process token.
  void AddCopies() {
    for (const auto& hive : ThreeHives()) fake.CreateFileOfSize(hive.file + ".hvx", hive.size / 2);
    fake.EnablePrivilege("SeBackupPrivilege");
  }

  // Creates the main window (which loads the settings) without showing it.
  TfrmMain& CreateMain() {
    main = std::make_unique<TfrmMain>(tk, kInstanceName);
    return *main;
  }
  TfrmMain& ShowMain() {
    if (!main) CreateMain();
    tk.ShowForm(*main);
    return *main;
  }

  // --- Steps for the message loops.
  void Then(std::function<void()> step) { steps_.push_back(std::move(step)); }
  // Clicks `control` of the active form, which must be `form`.
  void ThenClick(const std::string& form, const std::string& control) {
    Then([this, form, control] {
      ui::Form* active = tk.ActiveForm();
      ASSERT_NE(active, nullptr);
      EXPECT_EQ(active->Name(), form);
      EXPECT_EQ(tk.ClickByName(control), ui::console::ConsoleToolkit::ClickResult::Clicked)
          << form << "." << control;
    });
  }
  // Closes the active form, which must be `form`, as a WM_CLOSE would.
  void ThenClose(const std::string& form) {
    Then([this, form] {
      ui::Form* active = tk.ActiveForm();
      ASSERT_NE(active, nullptr);
      EXPECT_EQ(active->Name(), form);
      tk.PostMessageA(active->Handle(), ui::kWmClose, 0, 0);
    });
  }
  bool StepsDone() const { return steps_.empty(); }

  // Texts of the message boxes shown so far.
  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : tk.MessageBoxLog()) texts.push_back(box.text);
    return texts;
  }
  std::string ProgramFile(const std::string& name) { return fake.ProgramFolder() + name; }
  std::string OptionsFileText() { return ReadWholeFile(ProgramFile("options.ini")); }
  using Keys = std::vector<std::pair<std::string, std::string>>;
  // The keys of section "Options" of the settings file, in file order.
  Keys OptionsKeys() {
    const auto ini = ParseIni(OptionsFileText());
    const IniSection* section = FindSection(ini, "Options");
    return section != nullptr ? section->keys : Keys{};
  }

  ShellOwnerPlatform fake;
  ScopedPlatform scoped_;
  ui::console::ConsoleToolkit tk;
  std::unique_ptr<TfrmMain> main;

 private:
  bool RunNextStep() {
    if (steps_.empty()) return false;
    auto step = std::move(steps_.front());
    steps_.pop_front();
    step();
    return true;
  }

  std::deque<std::function<void()>> steps_;
};

}  // namespace hv::test
