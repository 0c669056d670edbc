// The extractor window: lists the cabinet of the payload, lets the user choose the
// target directory, and extracts everything with a progress bar when Start is pressed.
#pragma once
#include <cstdint>
#include <memory>
#include "K4CabinetFile.h"
#include "K4CabWork.h"
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
    std::unique_ptr<TDecompr> FDecompr;  // the engine object of the running pass
    // The cabinet's compressed blocks decoded in the window's idle time, from its first
    // paint on; it holds the cabinet until the next pass ends, which finishes it.
    std::unique_ptr<CabinetDecoding> FDecoding;

    // Published handlers.
    void StartBtnClick();
    void ModeBtnClick();  // no control runs it: RunMode stays 2, Start extracts
    void FormCreate();
    void LabeledEdit1Change();
    void AbBtnClick();  // opens the about window
    void FormPaint();
    // One slice of the idle decoding: the window's timer procedure.
    static void CALLBACK DecodeInIdleTime(HWND window, UINT, UINT_PTR, DWORD);

    void RunCabinetPass();
    void RefreshWindow();
    void SetRunMode(std::int32_t value);

private:
    // The list box as the engine's list of lines.
    struct ListBoxLines : ListLines {
        explicit ListBoxLines(ui::Control& list) : list(list) {}
        void AddLine(const ShortString& line) override;
        ui::Control& list;
    };
    ShortString StatusLine() const;
    void BeginIdleDecoding();

    ListBoxLines lines_;
};

// The one extractor window, set before its creation begins.
extern TK4ExtractForm* K4ExtractForm;

// The engine's progress handler: moves the window's progress bar.
void ShowProgress(std::int32_t value);
