#include "platform/win32/ConsoleTerminal.h"

#include <windows.h>

#include <atomic>

namespace torvane::win32 {

namespace {

// The output code page before UTF-8 was set; 0 when it was UTF-8 already or
// has been given back.
std::atomic<UINT> codePageBefore{0};

void GiveBackCodePage() {
    if (const UINT before = codePageBefore.exchange(0); before != 0) ::SetConsoleOutputCP(before);
}

// Called for a console event that no handler before it answered (Ctrl-C
// outside a run, say), after which Windows ends the process without running
// the program's own clean-up: the code page is given back here instead.
BOOL WINAPI GiveBackCodePageBeforeTheEnd(DWORD) {
    GiveBackCodePage();
    return FALSE;
}

}  // namespace

ConsoleTerminal::ConsoleTerminal() {
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (out == nullptr || out == INVALID_HANDLE_VALUE || !::GetConsoleMode(out, &mode)) return;
    // Texts are UTF-8 throughout.
    const UINT before = ::GetConsoleOutputCP();
    if (before != 0 && before != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8)) {
        codePageBefore = before;
        handlerAdded_ = ::SetConsoleCtrlHandler(GiveBackCodePageBeforeTheEnd, TRUE) != 0;
    }
    interactive_ = (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
                   ::SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

ConsoleTerminal::~ConsoleTerminal() {
    GiveBackCodePage();
    if (handlerAdded_) ::SetConsoleCtrlHandler(GiveBackCodePageBeforeTheEnd, FALSE);
}

}  // namespace torvane::win32
