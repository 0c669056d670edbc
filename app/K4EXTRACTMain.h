// The extractor window: lists the cabinet of the payload, lets the user choose the
// target directory, and extracts everything with a progress bar when Start is pressed.
#pragma once
#include <cstdint>
#include "K4CabWork.h"
#include "K4ExtractRun.h"
#include "K4Form.h"

class TK4ExtractForm : public ui::Form {
public:
    TK4ExtractForm();
    ~TK4ExtractForm();

    ui::Control& ProgressBar1;  // extraction progress, 0 to 100
    ui::Control& Label1;        // status line
    ui::Control& StartBtn;
    ui::Control& ListBox1;      // one line per file of the cabinet
    ui::Control& LabeledEdit1;  // target directory
    ui::Control& AbBtn;
    ui::Control& Label2;        // hidden memory counters
    ui::Control& Label4;        // "K4B" marker
    ui::Control& Label3;        // bold title line
    std::int32_t FListedBytes = 0;
    std::int32_t FCabinetBytes = 0;
    // The run: payload, temporary cabinet, passes, and the cabinet decoded in the
    // window's idle time from its first paint on (held until the extraction pass ends).
    ExtractionRun FRun;

    // Published handlers.
    void StartBtnClick();
    void ModeBtnClick();  // no control runs it: RunMode stays 2, Start extracts
    void FormCreate();
    void LabeledEdit1Change();
    void AbBtnClick();  // opens the about window
    void FormPaint();
    // One slice of the idle decoding: the window's timer procedure.
    static void CALLBACK DecodeInIdleTime(HWND window, UINT, UINT_PTR, DWORD);

    void RefreshWindow();
    void SetRunMode(std::int32_t value);

private:
    // The list box as the engine's list of lines.
    struct ListBoxLines : ListLines {
        explicit ListBoxLines(ui::Control& list) : list(list) {}
        void AddLine(const ShortString& line) override;
        ui::Control& list;
    };
    // The end of the extraction pass: the progress bar back and the window refreshed.
    struct AfterPass : PassEnd {
        explicit AfterPass(TK4ExtractForm& form) : form(form) {}
        void PassEnded() override;
        TK4ExtractForm& form;
    };
    // The wait for the archive's command: the window says what it waits for, takes no
    // Start and stays open, and goes on handling its messages.
    struct CommandInWindow final : CommandWait {
        explicit CommandInWindow(TK4ExtractForm& form) : form(form) {}
        void Starting(std::string_view shown) override;
        bool WaitFor(HANDLE handle, DWORD ms) override;
        void Ended() override;
        TK4ExtractForm& form;
        bool quit = false;   // the program's quit message came during the wait
        int quitCode = 0;
    };
    ShortString StatusLine() const;
    // The message after a successful Start, and after a command that could not run.
    ShortString SuccessText() const;
    ShortString WithNotRemoved(ShortString text) const;
    void BeginIdleDecoding();
    // A failure the run cannot go on from: its message, the run's end, the program's.
    [[noreturn]] void EndWith(const StepOutcome& outcome);

    ListBoxLines lines_;
    AfterPass afterPass_;
    CommandInWindow commandWait_;
};

// The one extractor window, set before its creation begins.
extern TK4ExtractForm* K4ExtractForm;

// The engine's progress handler: moves the window's progress bar.
void ShowProgress(std::int32_t value);
