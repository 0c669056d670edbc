// The command an installer archive runs in the end-to-end tests: a program without
// window that writes, into the folder the environment variable K4_RUN_RECORD names,
// run-record.txt (UTF-8 lines: its working folder, its arguments as the command line
// holds them, how it was started, its own path), then starts itself again with
// --grandchild and returns 3010 (or N, given --exit=N among its arguments). The copy
// started with --grandchild keeps the working folder it inherited, lives two seconds
// longer and writes grandchild-done.txt at its end: a run that waits for the first
// program alone ends before that file is there.
#include <windows.h>
#include <cwchar>
#include <string>

namespace {

std::wstring RecordFolder() {
    wchar_t folder[4096];
    const DWORD n = GetEnvironmentVariableW(L"K4_RUN_RECORD", folder, 4096);
    return n > 0 && n < 4096 ? std::wstring(folder, n) : std::wstring();
}

// The command line behind the program's name (quoted or not) and the blanks after it.
std::wstring Arguments() {
    const wchar_t* line = GetCommandLineW();
    if (*line == L'"') {
        ++line;
        while (*line && *line != L'"') ++line;
        if (*line) ++line;
    } else {
        while (*line && *line != L' ' && *line != L'\t') ++line;
    }
    while (*line == L' ' || *line == L'\t') ++line;
    return line;
}

bool WriteUtf8(const std::wstring& path, const std::wstring& text) {
    std::string bytes(text.size() * 4 + 1, '\0');
    bytes.resize(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                              bytes.data(), static_cast<int>(bytes.size()), nullptr,
                                                              nullptr)));
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != 0;
    CloseHandle(file);
    return ok;
}

std::wstring OwnPath() {
    wchar_t path[32768];
    const DWORD n = GetModuleFileNameW(nullptr, path, 32768);
    return std::wstring(path, n);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const std::wstring record = RecordFolder();
    if (record.empty()) return 1;
    const std::wstring arguments = Arguments();
    if (arguments == L"--grandchild") {
        Sleep(2000);
        return WriteUtf8(record + L"\\grandchild-done.txt", L"done") ? 0 : 2;
    }
    wchar_t folder[32768];
    const DWORD n = GetCurrentDirectoryW(32768, folder);
    STARTUPINFOW mine{};
    mine.cb = sizeof mine;
    GetStartupInfoW(&mine);
    const std::wstring self = OwnPath();
    std::wstring text = std::wstring(folder, n) + L"\n" + arguments + L"\n";
    text += L"flags " + std::to_wstring(mine.dwFlags) + L" show " + std::to_wstring(mine.wShowWindow) + L"\n";
    text += self + L"\n";
    if (!WriteUtf8(record + L"\\run-record.txt", text)) return 2;

    // Itself again, in the same working folder, handles not inherited.
    std::wstring line = L"\"" + self + L"\" --grandchild";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(self.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 3;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);

    const std::size_t exit = arguments.find(L"--exit=");
    return exit == std::wstring::npos ? 3010 : static_cast<int>(std::wcstol(arguments.c_str() + exit + 7, nullptr, 10));
}
