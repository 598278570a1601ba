#pragma once
// What an update run shows while it works. The run owns this interface and
// calls it at each step, handing it the values to show; every front end
// implements it in its own way (the three windows in ui/, which the command
// line and a station print from), so the run never asks which front end is
// active and never touches a control. What goes on the line is the run's
// own: a view chooses no byte.

#include <cstdint>
#include <string_view>

namespace torvane {

struct ActiveImage;
struct DeviceIdentity;

// The roles of a status bar's panels; a front end maps them onto its own panels.
enum PanelRole { PortPanel = 0, StatusPanel = 1, DevicePanel = 2, DetailPanel = 3 };

class RunView {
public:
    virtual ~RunView() = default;

    // A text in one panel of the run's status bar.
    virtual void panel(PanelRole role, std::string_view text) = 0;
    // The run's progress bar.
    virtual void progress(int position) = 0;
    virtual void progressMaximum(int maximum) = 0;
    virtual void progressSmooth(bool smooth) = 0;

    // Device search: its start (before the port is opened), the port it
    // uses, each wake-up try out of `tries`, and its end.
    virtual void searchStarted() = 0;
    virtual void showPort(std::int16_t portIndex) = 0;
    virtual void wakeUpsStarted(int tries) = 0;
    virtual void wakeUpTry(int attempt, int tries) = 0;
    virtual void wakeUpsEnded() = 0;
    // Why the chosen port cannot be used, in full, beside the verdict.
    virtual void portReason(std::string_view reason) = 0;
    // No boot loader answered.
    virtual void notFound() = 0;

    // Start and stop buttons of a run under way / of no run.
    virtual void busy() = 0;
    virtual void idle() = 0;

    // The device found and the header codes of the image chosen for it.
    virtual void identity(const DeviceIdentity& id, const ActiveImage& image) = 0;
    // A plain (unscrambled) image is being programmed.
    virtual void highlight(bool plain) = 0;
    // The image's size in address units and the range it covers below the boot loader.
    virtual void imageLoaded(std::uint32_t units, std::uint32_t from, std::uint32_t to) = 0;
    // No image for the device, or one too big for it.
    virtual void noImage(const DeviceIdentity& id, const ActiveImage& image) = 0;
    virtual void imageTooBig(const DeviceIdentity& id, const ActiveImage& image) = 0;

    // Programming: writing under way, the block starting at `address`, a
    // refusal answered by resend number `resend` (from 0), the final block,
    // and EEPROM byte `index`.
    virtual void programming() = 0;
    virtual void blockStarted(std::uint32_t address) = 0;
    virtual void resending(int resend) = 0;
    virtual void finalBlock() = 0;
    virtual void eepromByte(int index) = 0;

    // The verdicts: a failure in the run's own words (shown in red where the
    // front end shows colours), and success.
    virtual void failed(std::string_view text) = 0;
    virtual void programmed() = 0;
};

}  // namespace torvane
