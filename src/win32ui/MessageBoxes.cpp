#include "win32ui/MessageBoxes.h"

#include <windows.h>

#include "win32ui/Win32Text.h"

namespace torvane::win32ui {

namespace {

std::string& Title() {
    static std::string title;
    return title;
}

int Box(std::string_view text, std::string_view caption, UINT style) {
    return ::MessageBoxW(nullptr, WideOf(text).c_str(), WideOf(caption).c_str(), MB_OK | style);
}

}  // namespace

int Win32MessageBoxHost::ShowMessageBox(std::string_view text, std::string_view caption, unsigned /*flags*/) {
    Box(text, caption, MB_TASKMODAL);
    return MessageBoxAnsweredOk;
}

void ShowTopmostBox(std::string_view text, std::string_view caption) {
    Box(text, caption, MB_TOPMOST | MB_SETFOREGROUND);
}

void ShowErrorBox(std::string_view message) { Box(message, Title(), MB_ICONERROR | MB_TASKMODAL); }

void ShowWarningBox(std::string_view message) { Box(message, Title(), MB_ICONWARNING | MB_TASKMODAL); }

void SetApplicationTitle(std::string_view title) { Title() = title; }

const std::string& ApplicationTitle() { return Title(); }

}  // namespace torvane::win32ui
