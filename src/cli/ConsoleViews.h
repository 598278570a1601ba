#pragma once
// Headless front ends that print what they show: each status text and label
// caption as it changes, and a progress bar when stdout is a terminal.

#include <memory>
#include <string>

#include "ui/Context.h"

namespace torvane::cli {

class ConsoleFrontEnd {
public:
    ConsoleFrontEnd(Context& ctx, FrontEnd front);
    ~ConsoleFrontEnd();
    void start();
    // Ends the progress line and prints the verdict text.
    void finish();

private:
    struct Controls;
    std::unique_ptr<Controls> controls_;
};

}  // namespace torvane::cli
