// The extractor window: its design table, creation (payload and listing pass), the
// refresh that applies the settings, and Start (directory, extraction pass, result).
#include "K4EXTRACTMain.h"
#include <windows.h>
#include <string>
#include "K4Application.h"
#include "K4ExtractControls.h"
#include "K4Files.h"
#include "K4MemoryCount.h"
#include "K4Settings.h"
#include "K4Switches.h"
#include "K4Utils.h"

TK4ExtractForm* K4ExtractForm = nullptr;

namespace {

using namespace ui;

namespace id = extract_ids;

constexpr ControlSpec kDesign[] = {
    ProgressBar("ProgressBar1", {8, 236, 150, 16}).Anchors(AnchorLeft | AnchorBottom).Tab(0).Id(id::ProgressBar1),
    Label("Label1", {8, 217, 40, 13}, "Stopped").Anchors(AnchorLeft | AnchorBottom).Id(id::Label1),
    Button("StartBtn", {320, 8, 53, 25}, "Start")
        .Anchors(AnchorTop | AnchorRight)
        .Bold()
        .Flags(Disabled)
        .Tab(1)
        .Id(id::StartBtn),
    ListBox("ListBox1", {8, 40, 435, 170})
        .Anchors(AnchorAll)
        .BackColour(Colour::System(COLOR_GRADIENTINACTIVECAPTION))
        .Font(FixedFont("Courier New", 8))
        .ItemHeight(14)
        .Tab(2)
        .Id(id::ListBox1),
    LabeledEdit("LabeledEdit1", {224, 232, 217, 21}, "Extract to path :")
        .Anchors(AnchorRight | AnchorBottom)
        .Tab(3)
        .Id(id::LabeledEdit1),
    Button("AbBtn", {392, 8, 51, 25}, "About").Anchors(AnchorTop | AnchorRight).Tab(4).Id(id::AbBtn),
    Label("Label2", {368, 8, 32, 13}, "Label2").Flags(Hidden).Id(id::Label2),
    Label("Label4", {168, 240, 32, 13}, "Label4").Anchors(AnchorLeft | AnchorBottom).Flags(Hidden).Id(id::Label4),
    Label("Label3", {8, 16, 305, 13}, "Label3").Bold().Flags(NoAutoSize).Id(id::Label3),
};

// The caption is the payload's, known only when the window is made.
FormSpec DesignSpec() {
    return {.caption = WindowCaption.View(), .client = {452, 263}, .x = 159, .y = 159, .border = Border::Dialog,
            .focus = {}};  // focus: the first tab stop
}

// Idle decoding: a slice is at most this many blocks (2 MB of output: a few
// milliseconds, about 20 on a slow machine), one slice a timer message. The
// system's timer messages come only when no other message waits.
constexpr std::uint32_t IdleSliceBlocks = 64;
constexpr unsigned IdleTimerMilliseconds = 10;
constexpr UINT_PTR IdleTimer = 1;
// Replacing the timer with one due in 24 days parks it: one import fewer than
// killing it, in a program every archive carries. Should it ever come, it finds
// nothing to do and parks itself again.
constexpr unsigned ParkedMilliseconds = USER_TIMER_MAXIMUM;

}  // namespace

TK4ExtractForm::TK4ExtractForm()
    : Form(DesignSpec(), kDesign),
      ProgressBar1(Item(id::ProgressBar1)),
      Label1(Item(id::Label1)),
      StartBtn(Item(id::StartBtn)),
      ListBox1(Item(id::ListBox1)),
      LabeledEdit1(Item(id::LabeledEdit1)),
      AbBtn(Item(id::AbBtn)),
      Label2(Item(id::Label2)),
      Label4(Item(id::Label4)),
      Label3(Item(id::Label3)),
      lines_(ListBox1),
      afterPass_(*this),
      commandWait_(*this) {
    SetMainWindow(true);
    OnCreate = [this] { FormCreate(); };
    OnPaint = [this] { FormPaint(); };
    StartBtn.OnClick = [this] { StartBtnClick(); };
    AbBtn.OnClick = [this] { AbBtnClick(); };
    LabeledEdit1.OnChange = [this] { LabeledEdit1Change(); };
}

TK4ExtractForm::~TK4ExtractForm() {
    if (K4ExtractForm == this) K4ExtractForm = nullptr;
}

void TK4ExtractForm::ListBoxLines::AddLine(const ShortString& line) { list.AddLine(line.View()); }

void TK4ExtractForm::FormCreate() {
    FListedBytes = 0;
    FCabinetBytes = 0;
    FirstPaintDone = false;
    if (const StepOutcome opened = FRun.Open(ProgramSwitches); !opened.Done()) EndWith(opened);
    if (!FRun.HasCabinet()) return;  // the first paint refreshes the window
    ListBox1.Clear();
    ProgressBar1.SetMax(100);
    FRun.List(lines_, ShowProgress);  // a failure shows as a short list; Start reports it
    ProgressBar1.SetPosition(0);
    FListedBytes = ListedByteTotal;
    FCabinetBytes = LastCabinetSize;
    RefreshWindow();
    Label1.SetCaption(StatusLine().View());
}

void TK4ExtractForm::EndWith(const StepOutcome& outcome) {
    ui::ShowPlainMessage(outcome.text.View());
    FRun.End(false);
    ui::EndProgram(1);
}

ShortString TK4ExtractForm::StatusLine() const { return StatusLineText(ListBox1.Count(), FListedBytes, FCabinetBytes); }

void TK4ExtractForm::RefreshWindow() {
    Label4.SetVisible(false);
    StartBtn.SetCaption(StartCaption.View());
    SetCaption(WindowCaption.View());
    AbBtn.SetVisible(AboutButtonVisible);
    AbBtn.SetCaption(AboutButtonCaption.View());
    LabeledEdit1.SetLabelCaption(ExtractLabelText.View());
    StartBtn.SetEnabled(false);
    DefaultTargetWhereNone();
    // A changed text runs LabeledEdit1Change, which refreshes once more from the
    // start; the same text changes nothing.
    LabeledEdit1.SetCaption(ExtractPath);
    LabeledEdit1.SetEnabled(!CabFilePath.empty());
    StartBtn.SetEnabled(FileExists(CabFilePath));
    // An archive that extracts into a temporary folder of its own has no target to choose.
    LabeledEdit1.SetVisible(!CommandToRun.temporary);
    Label1.SetCaption(StatusLine().View());
    if (CabSetId == 23) {
        Label4.SetCaption("K4B");
        Label4.SetVisible(true);
    }
    ShortString memory = IntegerText(AllocatedBlockCount());
    memory += '/';
    memory += IntegerText(AllocatedByteCount());
    Label2.SetCaption(memory.View());
    Label3.SetCaption(TitleLabelText.View());
}

void TK4ExtractForm::StartBtnClick() {
    SetTimer(Handle(), IdleTimer, ParkedMilliseconds, DecodeInIdleTime);   // the pass finishes the decoding
    StartBtn.SetEnabled(false);
    LabeledEdit1.SetEnabled(false);
    FRun.SetTarget(ExtractPath);   // the edit's single-byte text
    const StepOutcome done = FRun.Extract(ShowProgress, &afterPass_, &commandWait_, Handle());
    if (!done.Done()) {
        if (!FRun.TargetReady()) EndWith(done);
        ui::ShowPlainMessage(WithNotRemoved(done.text).View());
        ClearCabError();
        // Every file was extracted, and the command could not run: the run is over.
        if (FRun.CommandTried()) Close();
        return;
    }
    ui::ShowPlainMessage(WithNotRemoved(SuccessText()).View());
    Close();
}

ShortString TK4ExtractForm::SuccessText() const {
    // A temporary archive's folder is gone by now: the box names no place that is not there.
    ShortString text = CommandToRun.temporary ? ShortString("Ok Files have been extracted and the command has ended")
                                              : QuotedText("Ok Files have been extracted as ", ExtractPath);
    if (FRun.CommandRan() && FRun.CommandExitCode() != 0) {
        text += "\r\nThe command ended with exit code ";
        text += IntegerText(FRun.CommandExitCode()).View();
    }
    return text;
}

ShortString TK4ExtractForm::WithNotRemoved(ShortString text) const {
    for (const std::string& left : FRun.NotRemoved()) {
        text += "\r\nNot removed: ";
        text += left;
    }
    return text;
}

void TK4ExtractForm::CommandInWindow::Starting(std::string_view shown) {
    form.StartBtn.SetEnabled(false);
    form.LabeledEdit1.SetEnabled(false);
    form.HoldClose(true);
    ShortString text("Waiting for ");
    text += shown;
    text += " to end";
    form.Label1.SetCaption(text.View());
}

// Sleeps until the handle is signalled, the time is up or a message arrives; the
// messages that came are handled as the message loop handles them.
bool TK4ExtractForm::CommandInWindow::WaitFor(HANDLE handle, DWORD ms) {
    const DWORD count = handle ? 1 : 0;
    const DWORD woke = MsgWaitForMultipleObjects(count, handle ? &handle : nullptr, FALSE, ms, QS_ALLINPUT);
    if (handle && woke == WAIT_OBJECT_0) return true;
    if (woke != WAIT_OBJECT_0 + count) return false;
    MSG msg;
    while (!quit && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Handed on to the message loop once the wait is over.
            quit = true;
            quitCode = static_cast<int>(msg.wParam);
        } else {
            ui::Form::DispatchQueued(msg);
        }
    }
    return false;
}

void TK4ExtractForm::CommandInWindow::Ended() {
    form.HoldClose(false);
    form.Label1.SetCaption(form.StatusLine().View());
    if (quit) PostQuitMessage(quitCode);
}

void TK4ExtractForm::AfterPass::PassEnded() {
    form.ProgressBar1.SetPosition(0);
    form.RefreshWindow();
}

void ShowProgress(std::int32_t value) {
    if (K4ExtractForm) K4ExtractForm->ProgressBar1.SetPosition(value);
}

void TK4ExtractForm::LabeledEdit1Change() {
    ExtractPath = LabeledEdit1.Caption();
    RefreshWindow();
}

void TK4ExtractForm::FormPaint() {
    if (FirstPaintDone) return;
    RefreshWindow();
    FirstPaintDone = true;
    BeginIdleDecoding();
}

void TK4ExtractForm::BeginIdleDecoding() {
    if (FRun.BeginDecoding()) SetTimer(Handle(), IdleTimer, IdleTimerMilliseconds, DecodeInIdleTime);
}

// One slice of the idle decoding, on the window's timer, whose message comes only when
// no other message waits: a slice never holds up input or painting. Called from the
// message loop itself, through which no exception may pass. Whatever the decoding
// finds is kept for Start: until then the window shows what it always shows. A
// failure of the decoding itself (memory) leaves it to Start too.
void CALLBACK TK4ExtractForm::DecodeInIdleTime(HWND window, UINT, UINT_PTR, DWORD) {
    TK4ExtractForm* form = K4ExtractForm;
    bool finished = true;
    try {
        finished = !form || form->FRun.DecodeSlice(IdleSliceBlocks);
    } catch (...) {
        form->FRun.DropDecoding();
    }
    if (finished) SetTimer(window, IdleTimer, ParkedMilliseconds, DecodeInIdleTime);
}

// The run-mode switch: in mode 2 Start extracts, in mode 1 it runs no pass. No
// control of the design runs ModeBtnClick, so the program stays in mode 2.
void TK4ExtractForm::ModeBtnClick() {
    if (RunMode == 1) SetRunMode(2);
    else if (RunMode == 2) SetRunMode(1);
}

void TK4ExtractForm::SetRunMode(std::int32_t value) {
    RunMode = value;
    ListBox1.Clear();
    RefreshWindow();
}
