// The error log: texts collected where they happen and shown together later, in one
// report through the error window.
#pragma once
#include <cstdint>
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
