#include "platform/win32/ConsoleInterrupts.h"

namespace torvane::win32 {

namespace {

// The object whose onEvent the console's handler calls.
std::atomic<ConsoleInterrupts*> answering{nullptr};

}  // namespace

ConsoleInterrupts::ConsoleInterrupts() : finished_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

ConsoleInterrupts::~ConsoleInterrupts() {
    if (installed_) ::SetConsoleCtrlHandler(Handler, FALSE);
    ConsoleInterrupts* self = this;
    answering.compare_exchange_strong(self, nullptr);
    // A close event still held is let go; the process is ending anyway.
    if (finished_ != nullptr) {
        ::SetEvent(finished_);
        ::CloseHandle(finished_);
    }
}

void ConsoleInterrupts::catchRequests() {
    answering = this;
    if (!installed_) installed_ = ::SetConsoleCtrlHandler(Handler, TRUE) != 0;
}

void ConsoleInterrupts::finished() {
    if (finished_ != nullptr) ::SetEvent(finished_);
}

BOOL ConsoleInterrupts::onEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        // Answered: the process goes on and winds its run down.
        requested_ = true;
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        requested_ = true;
        // Returning lets Windows end the process at once. Waiting longer than
        // it allows (about 5 s) is not possible: it ends the process then.
        if (finished_ != nullptr) ::WaitForSingleObject(finished_, INFINITE);
        return TRUE;
    default:
        return FALSE;
    }
}

BOOL WINAPI ConsoleInterrupts::Handler(DWORD event) {
    ConsoleInterrupts* target = answering.load();
    return target != nullptr ? target->onEvent(event) : FALSE;
}

}  // namespace torvane::win32
