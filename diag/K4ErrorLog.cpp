// The error log behind the error window: collecting, clearing and reporting texts.
// The window itself (K4ErrorForm) shows a snapshot; this file only hands it over.
#include "K4ErrorLog.h"
#include "K4DiagSeams.h"
#include "K4ErrorForm.h"

ShortString ErrorWindowTitle;
ShortString ErrorButtonCaption;

namespace {

// Owns the log for the whole run; the pointer below is constant-initialised, so
// it is valid even before this object's constructor has run.
struct ErrorLogOwner {
    HardStack stack;
    ErrorLogOwner() { stack.Init(ErrorStackCapacity, ErrorRecordSize); }
    ~ErrorLogOwner() { stack.Done(); }
};
ErrorLogOwner g_errorLog;

}  // namespace

namespace diag_seams {
ErrorWindowHook errorWindowHook;
}  // namespace diag_seams

HardStack* const ErrorStack = &g_errorLog.stack;

void PushError(const ShortString& text) {
    ShortString record(text);
    ErrorStack->Push(&record);
}

bool ErrorsPending() { return PendingErrorSet || !ErrorStack->Empty; }

void ClearErrors() {
    PendingErrorSet = false;
    PendingErrorText = ShortString();
    ErrorStack->Clear();
}

void ReportErrors() {
    // The pending text becomes the log's newest entry. A log that is still full
    // cannot take it: that push's overflow finds the pending slot taken and records
    // nothing, and the text is dropped with the rest below.
    if (PendingErrorSet) {
        ShortString record(PendingErrorText);
        ErrorStack->Push(&record);
    }
    HardStack snapshot;
    snapshot.CopyFrom(*ErrorStack);
    ClearErrors();
    if (diag_seams::errorWindowHook)
        diag_seams::errorWindowHook(ErrorWindowTitle, snapshot);
    else
        ShowErrorWindow(ErrorWindowTitle, snapshot);
    snapshot.Done();
}
