#include "win32ui/Win32Pump.h"

namespace torvane::win32ui {

void Win32Pump::step(std::chrono::milliseconds limit, SerialDevice* input) {
    WaitingPump::step(limit, input);
    DispatchPending();
}

void Dispatch(MSG& message) {
    HWND top = message.hwnd != nullptr ? ::GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    if (top != nullptr && ::IsDialogMessageW(top, &message)) return;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
}

void DispatchPending() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(message.wParam));  // for the loop that waits for it
            return;
        }
        Dispatch(message);
    }
}

int RunMessageLoop() {
    MSG message;
    BOOL got;
    while ((got = ::GetMessageW(&message, nullptr, 0, 0)) != 0) {
        if (got == -1) return 1;
        Dispatch(message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace torvane::win32ui
