// The application layer every window shares: its title, the plain message box, the
// general error handler and the end of the program. Unit tests replace the boxes
// and the program end with recorders (K4UiSeams.h), so handlers can be tested
// without a user.
#pragma once
#include <string>
#include <string_view>

namespace ui {

// The message boxes' title: "V4OvudEvuvuruda" unless changed.
void SetTitle(std::string_view title);

// The plain message box: modal, captioned with the title, no icon, one OK button.
void ShowPlainMessage(std::string_view text);

// The general error handler: a modal box with the title, an error icon and the
// text, with a period appended when the last character sorts after '.'.
void ShowErrorMessage(std::string_view text);
std::string ErrorHandlerText(std::string_view text);

// Shows the current exception through the general error handler; for catch (...)
// blocks at the boundary where system callbacks meet C++ exceptions.
void HandleCurrentException() noexcept;

// Ends the program at once (after a fatal message); by default ExitProcess.
[[noreturn]] void EndProgram(unsigned code = 0);

// A run without window: while one is set, every plain box and every text of the
// general error handler goes to it instead of a box (Shown returns true). Not owned;
// set and cleared by that run.
class MessageSink {
public:
    virtual bool Shown(bool error, std::string_view text) = 0;

protected:
    ~MessageSink() = default;
};
void SetMessageSink(MessageSink* sink);

}  // namespace ui
