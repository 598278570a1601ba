#pragma once
// Ctrl-C, Ctrl-Break and the console window being closed as requests to
// stop, through a console control handler: it stays in place for every
// event, where the C runtime's signal() forgets its handler after the first
// SIGINT and knows nothing of Ctrl-Break or closing.
//
// Windows ends the process as soon as the handler returns from a close (or
// log-off, shut-down) event, and in any case a few seconds after it: so the
// handler holds that event until finished() says the run has stopped and its
// record is written.

#include <windows.h>

#include <atomic>

#include "platform/Interrupts.h"

namespace torvane::win32 {

class ConsoleInterrupts final : public Interrupts {
public:
    ConsoleInterrupts();
    ~ConsoleInterrupts() override;
    ConsoleInterrupts(const ConsoleInterrupts&) = delete;
    ConsoleInterrupts& operator=(const ConsoleInterrupts&) = delete;

    // Adds the console control handler; this object answers the events from
    // now on (one object per process at a time).
    void catchRequests() override;
    bool requested() const override { return requested_.load(); }
    void finished() override;

    // What the handler does with one event, on the thread Windows calls it
    // on: TRUE when the event is answered here. A test hands in the events
    // that it cannot make the system deliver.
    BOOL onEvent(DWORD event);

private:
    static BOOL WINAPI Handler(DWORD event);

    std::atomic<bool> requested_{false};
    HANDLE finished_;  // manual reset: set once, when the program has finished
    bool installed_ = false;
};

}  // namespace torvane::win32
