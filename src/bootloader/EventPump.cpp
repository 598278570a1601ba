#include "bootloader/EventPump.h"

#include <thread>

#include "platform/SerialDevice.h"

namespace torvane {

void WaitingPump::step(std::chrono::milliseconds limit, SerialDevice* input) {
    const auto start = std::chrono::steady_clock::now();
    if (input != nullptr && input->waitReadable(limit)) return;
    // A device that fails its wait at once must not turn the step into a spin.
    const auto left = limit - (std::chrono::steady_clock::now() - start);
    if (left > std::chrono::steady_clock::duration::zero()) std::this_thread::sleep_for(left);
}

void WaitingPump::sleep(std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); }

}  // namespace torvane
