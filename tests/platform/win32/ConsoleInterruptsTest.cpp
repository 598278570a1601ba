// Ctrl-C, Ctrl-Break and closing the console as requests to stop. Wine
// delivers Ctrl-C (SIGINT, GenerateConsoleCtrlEvent) but has no window to
// close, so the close event is handed to the handler's own routine.

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <future>

#include "platform/win32/ConsoleInterrupts.h"

namespace {

using namespace std::chrono_literals;
using torvane::win32::ConsoleInterrupts;

TEST(ConsoleInterrupts, CtrlCAndCtrlBreakAreAnsweredEveryTimeAndTheRestPassedOn) {
    ConsoleInterrupts interrupts;
    EXPECT_FALSE(interrupts.requested());
    for (DWORD event : {CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_C_EVENT})
        EXPECT_EQ(interrupts.onEvent(event), TRUE) << event;
    EXPECT_TRUE(interrupts.requested());
    EXPECT_EQ(interrupts.onEvent(0x7F), FALSE);  // an event it does not know goes to the next handler
}

// Windows ends the process as soon as the handler returns from a close
// event: it returns only once the program has finished its record.
TEST(ConsoleInterrupts, AClosedConsoleIsHeldUntilTheProgramHasFinished) {
    for (DWORD event : {CTRL_CLOSE_EVENT, CTRL_SHUTDOWN_EVENT}) {
        ConsoleInterrupts interrupts;
        auto answer = std::async(std::launch::async, [&] { return interrupts.onEvent(event); });
        ASSERT_EQ(answer.wait_for(300ms), std::future_status::timeout) << event;
        EXPECT_TRUE(interrupts.requested());
        interrupts.finished();
        ASSERT_EQ(answer.wait_for(5s), std::future_status::ready) << event;
        EXPECT_EQ(answer.get(), TRUE);
    }
}

// Through the console itself: Ctrl-C three times in a row. Were the handler
// gone after the first, the next would end this test program.
TEST(ConsoleInterrupts, TheConsoleDeliversEveryCtrlC) {
    ConsoleInterrupts interrupts;
    interrupts.catchRequests();
    for (int i = 0; i < 3; ++i) {
        if (!::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0))
            GTEST_SKIP() << "no console to send Ctrl-C through (Wine gives one only to a program started from a "
                            "terminal; error "
                         << ::GetLastError() << ")";
        const auto end = std::chrono::steady_clock::now() + 5s;
        while (!interrupts.requested() && std::chrono::steady_clock::now() < end) ::Sleep(10);
        ASSERT_TRUE(interrupts.requested()) << "Ctrl-C number " << i + 1;
        ::Sleep(300);  // the event's own thread has run its handlers
    }
}

}  // namespace
