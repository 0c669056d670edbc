// The application layer: title, message boxes, general error handler, program end.
#include "K4Application.h"
#include <windows.h>
#include <cstdlib>
#include <exception>
#include <new>
#include <string>
#include "K4UiSeams.h"
#include "ShortString.h"

namespace ui_seams {
ui::BoxRecorder boxRecorder;
ui::EndHook endHook;
}  // namespace ui_seams

namespace ui {

namespace {
std::string g_title = "V4OvudEvuvuruda";
MessageSink* g_sink = nullptr;

void Show(BoxKind kind, const std::string& text) {
    if (g_sink && g_sink->Shown(kind == BoxKind::Error, text)) return;
    if (ui_seams::boxRecorder) {
        ui_seams::boxRecorder(kind, text);
        return;
    }
    UINT flags = MB_OK | MB_TASKMODAL | (kind == BoxKind::Error ? MB_ICONERROR : 0u);
    MessageBoxA(GetActiveWindow(), text.c_str(), g_title.c_str(), flags);
}
}  // namespace

void SetTitle(std::string_view title) { g_title = std::string(title); }

void SetMessageSink(MessageSink* sink) { g_sink = sink; }

void ShowPlainMessage(std::string_view text) { Show(BoxKind::Plain, std::string(text)); }

std::string ErrorHandlerText(std::string_view text) {
    std::string out(text);
    if (!out.empty() && static_cast<unsigned char>(out.back()) > static_cast<unsigned char>('.')) out += '.';
    return out;
}

void ShowErrorMessage(std::string_view text) { Show(BoxKind::Error, ErrorHandlerText(text)); }

void HandleCurrentException() noexcept {
    try {
        try {
            throw;
        } catch (const std::bad_alloc&) {
            ShowErrorMessage("Out of memory");
        } catch (const std::exception& e) {
            ShowErrorMessage(e.what());
        } catch (...) {
            ShowErrorMessage("Unknown error");
        }
    } catch (...) {
        // Showing the box failed (or a recorder threw): nothing more can be done here.
    }
}

void EndProgram(unsigned code) {
    if (ui_seams::endHook) ui_seams::endHook(code);
    ExitProcess(code);
}

}  // namespace ui
