// The modal error window that shows a snapshot of the error log, newest text first,
// with the allocation count.
#pragma once
#include <string>
#include <vector>
#include "K4ErrorLog.h"
#include "K4Form.h"
#include "K4Stacks.h"
#include "ShortString.h"

// The error window: a black memo of texts, a byte count and one button that
// Enter and Esc press too.
class TErrorForm : public ui::Form {
public:
    TErrorForm();

    // Its controls, bound by id when the window is built.
    ui::Control& Memo1;    // the texts, newest first
    ui::Control& Button1;  // closes the window
    ui::Control& Label1;   // empty
    ui::Control& Label2;   // the allocation count

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
