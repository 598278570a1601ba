#pragma once
// The update run's pump inside the windows: each step waits for input (or
// the step's time) like the plain waiting pump, then handles the window
// messages that came meanwhile, so Stop, the port dialog and closing stay
// live while a run executes inside a click handler.

#include <windows.h>

#include "bootloader/EventPump.h"

namespace torvane::win32ui {

class Win32Pump : public WaitingPump {
public:
    using WaitingPump::WaitingPump;
    void step(std::chrono::milliseconds limit, SerialDevice* input) override;
    // Inherited sleep(): sleeps without handling messages.
};

// Hands one message to its window; keyboard navigation (Tab, Enter, the
// underlined letters) goes through the window it belongs to first.
void Dispatch(MSG& message);

// Handles every message waiting now. A quit request stays queued for the
// message loop.
void DispatchPending();

// The message loop: until the program is asked to quit. Returns the exit code it was given.
int RunMessageLoop();

}  // namespace torvane::win32ui
