#pragma once
// Facts about the console a command-line front end runs in.

namespace torvane {

// True when standard output is an interactive terminal (a progress bar can be drawn).
bool StdoutIsTerminal();

}  // namespace torvane
