// The error log (texts collected for a later report) and the modal error window
// that shows a snapshot of it, newest text first, with the allocation count.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>
#include "K4Form.h"
#include "K4Stacks.h"
#include "ShortString.h"

// Entries of the log: one 256-byte message record (a ShortString) each.
inline constexpr std::int32_t ErrorRecordSize = static_cast<std::int32_t>(sizeof(ShortString));
inline constexpr std::int32_t ErrorStackCapacity = 64;

// The log: set up before main runs, released when the program ends.
extern HardStack* const ErrorStack;

// Title of the error window and caption of its button; empty unless assigned.
extern ShortString ErrorWindowTitle;
extern ShortString ErrorButtonCaption;

// Records a text on the log; a full log loses it and holds the overflow text as
// the pending error instead.
void PushError(const ShortString& text);
// True while a pending error or at least one logged text waits for a report.
bool ErrorsPending();
// Drops the pending error and every logged text.
void ClearErrors();
// Moves the pending error and the log into a snapshot, clears both and shows the
// snapshot in the error window; returns when the window has been closed.
void ReportErrors();

// The error window: a black memo of texts, a byte count and one button that
// Enter and Esc press too.
class TErrorForm : public ui::Form {
public:
    TErrorForm();
    void Button1Click();
};

// Shows the stack in a new modal error window with the given title; returns when
// the window has been closed and destroyed.
void ShowErrorWindow(const ShortString& title, const HardStack& stack);

// The texts of a stack of message records, newest first.
std::vector<std::string> StackLines(const HardStack& stack);
// Replaces the memo's lines with StackLines(stack), one line per entry.
void StackToMemo(const HardStack& stack, ui::Control& memo);
// "m:" followed by AllocatedBytes in decimal.
ShortString MemoryLabelText();

// Test seam: while set, ReportErrors hands the title and the snapshot to the hook
// instead of opening the error window.
using ErrorWindowHook = std::function<void(const ShortString& title, const HardStack& stack)>;
void SetErrorWindowHook(ErrorWindowHook hook);
