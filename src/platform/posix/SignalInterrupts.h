#pragma once
// Ctrl-C (SIGINT) and SIGTERM as requests to stop. The handlers stay in place
// after each signal, so a second Ctrl-C during the wind-down is caught as the
// first was instead of killing the process half-way through its record.

#include "platform/Interrupts.h"

namespace torvane::posix {

class SignalInterrupts final : public Interrupts {
public:
    // Installs the handlers for SIGINT and SIGTERM (once per process).
    void catchRequests() override;
    bool requested() const override;
    // Nothing waits here: a signal never ends the process while caught.
    void finished() override {}
};

}  // namespace torvane::posix
