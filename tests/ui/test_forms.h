#pragma once
// Small forms for exercising the toolkits: a main form with one control of
// each kind the dump and click rules care about, and a dialog that starts a
// worker on its first activation, like the application's progress dialog.
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/worker_thread.h"
#include "ui/component.h"
#include "ui/form.h"
#include "ui/toolkit.h"

namespace hv::ui::testing {

inline constexpr UINT kWmStart = 0x7701;
inline constexpr UINT kWmStep = 0x7702;

// A worker running a function.
class LambdaWorker : public WorkerThread {
 public:
  explicit LambdaWorker(std::function<void(LambdaWorker&)> body) : body_(std::move(body)) {}

 protected:
  void Execute() override { body_(*this); }

 private:
  std::function<void(LambdaWorker&)> body_;
};

// The dialog: on its first activation it posts itself kWmStart; the handler
// runs `onStart` (a test starts its worker there). Each kWmStep advances the
// bar by 10 and is logged.
class TestDialog : public Form {
 public:
  TestDialog(Toolkit& toolkit, Form* owner)
      : Form(toolkit, "frmDialog", owner),
        lStatus(Add<Control>(Kind::Label, "lStatus")),
        pbProgress(Add<ProgressBar>("pbProgress")),
        mCurrent(Add<Memo>("mCurrent")),
        bOk(Add<Control>(Kind::SkinButton, "bOk")),
        bStop(Add<Control>(Kind::SkinButton, "bStop")),
        tmTick(Add<Timer>("tmTick")) {
    SetCaption("Working");
    SetClientSize(394, 181);
    lStatus.SetCaption("Please wait.");
    lStatus.SetBounds({16, 16, 200, 13});
    pbProgress.SetBounds({16, 44, 345, 18});
    pbProgress.SetRange(0, 1000);
    mCurrent.SetBounds({72, 77, 286, 32});
    mCurrent.SetCaption("Registry Key");
    bOk.SetCaption("OK");
    bOk.SetBounds({200, 142, 80, 27});
    bOk.SetModalResult(kMrOk);
    bStop.SetCaption("Stop");
    bStop.SetBounds({304, 142, 80, 27});
    bStop.OnClick = [this] {
      lStatus.SetCaption("Stop Process...");
      bStop.SetEnabled(false);
      if (worker) worker->Terminate();
    };
    tmTick.SetEnabled(false);
    tmTick.OnTimer = [this] {
      ++ticks;
      pbProgress.SetPosition(pbProgress.Position() + 4);
    };
  }

  void FormShow() override { log.push_back("show"); }
  void FormActivate() override {
    log.push_back("activate");
    PostMessage(kWmStart, 0, 0);
  }
  void FormClose() override {
    log.push_back("close");
    tmTick.SetEnabled(false);
  }
  bool HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == kWmStart) {
      log.push_back("start");
      tmTick.SetEnabled(true);
      if (onStart) onStart(*this);
      return true;
    }
    if (msg == kWmStep) {
      log.push_back("step " + std::to_string(lParam));
      pbProgress.SetPosition(pbProgress.Position() + static_cast<int>(wParam));
      return true;
    }
    return Form::HandleMessage(msg, wParam, lParam);
  }

  // Starts a worker reporting to this dialog.
  void StartWorker(std::function<void(LambdaWorker&)> body) {
    worker = std::make_shared<LambdaWorker>(std::move(body));
    worker->Start();
  }

  Control& lStatus;
  ProgressBar& pbProgress;
  Memo& mCurrent;
  Control& bOk;
  Control& bStop;
  Timer& tmTick;
  std::shared_ptr<LambdaWorker> worker;
  std::function<void(TestDialog&)> onStart;
  std::vector<std::string> log;
  int ticks = 0;
};

// The main form: `bOpen` shows a TestDialog modally and keeps its result and
// memo text; the rest are there to be dumped and clicked.
class TestMainForm : public Form {
 public:
  TestMainForm(Toolkit& toolkit, std::string className = "TfrmTest")
      : Form(toolkit, "frmTest", nullptr),
        className_(std::move(className)),
        lTitle(Add<Control>(Kind::Label, "lTitle")),
        gbGroup(Add<Control>(Kind::GroupBox, "gbGroup")),
        bOpen(Add<Control>(Kind::FlatButton, "bOpen")),
        bInner(Add<Control>(Kind::Button, "bInner", &gbGroup)),
        bHidden(Add<Control>(Kind::FlatButton, "bHidden")),
        bDisabled(Add<Control>(Kind::FlatButton, "bDisabled")),
        bThrow(Add<Control>(Kind::FlatButton, "bThrow")),
        cbFlag(Add<CheckBox>("cbFlag")),
        lvList(Add<ListView>("lvList")),
        pmMenu(Add<PopupMenu>("pmMenu")),
        miOne(Add<MenuItem>("miOne", pmMenu)),
        N1(Add<MenuItem>("N1", pmMenu)),
        miTwo(Add<MenuItem>("miTwo", pmMenu)),
        tmMain(Add<Timer>("tmMain")) {
    SetBorder(BorderStyle::None);
    SetClientSize(556, 392);
    lTitle.SetCaption("Test \"main\" C:\\x");
    lTitle.SetBounds({17, 12, 100, 13});
    gbGroup.SetBounds({8, 200, 100, 60});
    bOpen.SetCaption("Open Dialog");
    bOpen.SetBounds({13, 93, 90, 22});
    bOpen.OnClick = [this] {
      TestDialog dialog(Tk(), this);
      if (onDialog) onDialog(dialog);
      dialogResult = dialog.ShowModal();
      dialogMemo = dialog.mCurrent.Caption();
      dialogLog = dialog.log;
    };
    bInner.SetCaption("Inner");
    bInner.SetBounds({4, 4, 60, 20});
    bInner.OnClick = [this] { ++innerClicks; };
    bHidden.SetCaption("Hidden");
    bHidden.SetVisible(false);
    bDisabled.SetCaption("Disabled");
    bDisabled.SetEnabled(false);
    bThrow.SetCaption("Throw");
    bThrow.OnClick = [] { throw std::runtime_error("Unable to write to /x/options.ini"); };
    cbFlag.SetCaption("Flag");
    lvList.SetBounds({119, 65, 423, 236});
    lvList.AddColumn({"Hive Name", 205, Align::Left});
    lvList.AddColumn({"Current Size", 72, Align::Right});
    lvList.AddColumn({"New Size", 70, Align::Right});
    lvList.AddColumn({"Reduction", 65, Align::Right});
    miOne.SetCaption("&One");
    miOne.OnClick = [this] { ++menuClicks; };
    N1.SetCaption("-");
    miTwo.SetCaption("&Two");
    miTwo.SetEnabled(false);
    tmMain.SetEnabled(false);
  }

  void CreateParams(CreateParamsRec& params) override { params.windowClassName = className_; }
  void FormShow() override { log.push_back("show"); }
  void FormActivate() override { log.push_back("activate"); }
  void FormClose() override { log.push_back("close"); }
  bool HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
    messages.push_back(msg);
    if (msg == kWmActivateInstance) return true;
    return Form::HandleMessage(msg, wParam, lParam);
  }

  std::string className_;
  Control& lTitle;
  Control& gbGroup;
  Control& bOpen;
  Control& bInner;
  Control& bHidden;
  Control& bDisabled;
  Control& bThrow;
  CheckBox& cbFlag;
  ListView& lvList;
  PopupMenu& pmMenu;
  MenuItem& miOne;
  MenuItem& N1;
  MenuItem& miTwo;
  Timer& tmMain;

  std::function<void(TestDialog&)> onDialog;
  int dialogResult = -1;
  std::string dialogMemo;
  std::vector<std::string> dialogLog;
  std::vector<std::string> log;
  std::vector<UINT> messages;
  int innerClicks = 0;
  int menuClicks = 0;
};

}  // namespace hv::ui::testing
