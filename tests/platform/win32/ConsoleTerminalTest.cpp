// The console's code page while torvane-cli runs and after. Needs a console:
// Wine gives one only to a program started from a terminal, so ./run
// test-windows runs the console tests once more under `script`.

#include <gtest/gtest.h>

#include <windows.h>

#include "platform/win32/ConsoleTerminal.h"

namespace {

bool HasConsole() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

// The shell that started the program shares the console: it gets its own
// code page back, and a console that was UTF-8 already stays so.
TEST(ConsoleTerminal, TheCodePageIsUtf8WhileItLivesAndGivenBackAfter) {
    if (!HasConsole()) GTEST_SKIP() << "standard output is no console";
    const UINT original = ::GetConsoleOutputCP();
    for (UINT before : {850u, 1252u, static_cast<UINT>(CP_UTF8)}) {
        ASSERT_TRUE(::SetConsoleOutputCP(before)) << before;
        {
            torvane::win32::ConsoleTerminal console;
            EXPECT_EQ(::GetConsoleOutputCP(), static_cast<UINT>(CP_UTF8)) << before;
        }
        EXPECT_EQ(::GetConsoleOutputCP(), before);
    }
    ::SetConsoleOutputCP(original);
}

}  // namespace
