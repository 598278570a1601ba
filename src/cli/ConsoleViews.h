#pragma once
// Headless front ends that print what they show: each status text and label
// caption as it changes, and a progress bar when stdout is a terminal.

#include <memory>
#include <string>

#include "ui/FrontEndContext.h"

namespace torvane::cli {

class ConsoleFrontEnd {
public:
    // `progress`: progress and results on stdout (failures go to stderr either way).
    ConsoleFrontEnd(FrontEndContext& ctx, bool progress = true);
    ~ConsoleFrontEnd();
    // Prints the port line (`portLine`, for the port panel's `portName`)
    // and shows the run from then on.
    void start(const std::string& portName, const std::string& portLine);
    // Ends the progress line and prints the verdict: on stdout after a
    // success; on stderr after a failure, with the reason an unusable port
    // gave and the next step.
    void finish(const std::string& mappingRecipe);

private:
    struct Controls;
    std::unique_ptr<Controls> controls_;
};

}  // namespace torvane::cli
