#pragma once
// Facts about the console a command-line front end runs in.

namespace torvane {

class Terminal {
public:
    virtual ~Terminal() = default;
    // True when standard output is an interactive terminal (a progress bar can be drawn).
    virtual bool stdoutIsTerminal() const = 0;
};

}  // namespace torvane
