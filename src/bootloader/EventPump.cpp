#include "bootloader/EventPump.h"

#include "platform/SerialDevice.h"

namespace torvane {

void WaitingPump::step(std::chrono::milliseconds limit, SerialDevice* input) {
    const auto start = clock_.now();
    if (input != nullptr && input->waitReadable(limit)) return;
    // A device that fails its wait at once must not turn the step into a spin.
    clock_.sleep(limit - (clock_.now() - start));
}

void WaitingPump::sleep(std::chrono::milliseconds duration) { clock_.sleep(duration); }

}  // namespace torvane
