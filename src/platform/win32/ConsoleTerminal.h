#pragma once
// The console a command-line program writes to. While the program runs it
// shows UTF-8 and takes the escape that clears a line (for the progress
// bar); when the program ends the console gets back the output code page it
// had: the code page belongs to the console, which the shell that started
// the program shares.

#include "platform/Terminal.h"

namespace torvane::win32 {

class ConsoleTerminal final : public Terminal {
public:
    // Sets UTF-8 and the escapes when standard output is a console.
    ConsoleTerminal();
    // Gives the code page back; at the end of a program whose platform holds
    // this, whatever exit code main returns.
    ~ConsoleTerminal() override;
    ConsoleTerminal(const ConsoleTerminal&) = delete;
    ConsoleTerminal& operator=(const ConsoleTerminal&) = delete;
    bool stdoutIsTerminal() const override { return interactive_; }

private:
    bool interactive_ = false;
    bool handlerAdded_ = false;
};

}  // namespace torvane::win32
