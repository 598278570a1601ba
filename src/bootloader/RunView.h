#pragma once
// What an update run shows while it works. The run owns this interface and
// calls it at each step; every front end implements it in its own way (the
// three windows in ui/, which the command line prints from), so the run never
// asks which front end is active and never touches a control.

#include <cstdint>
#include <string_view>

namespace torvane {

// The roles of a status bar's panels; a front end maps them onto its own panels.
enum PanelRole { PortPanel = 0, StatusPanel = 1, DevicePanel = 2, DetailPanel = 3 };

class RunView {
public:
    virtual ~RunView() = default;

    // The wake-up code this front end sends, given the product's wake variant.
    virtual std::uint8_t wakeCode(std::uint8_t wakeVariant) const = 0;

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

    // The device found (the context's identity) and the header codes of the
    // image chosen for it (the context's active image).
    virtual void identity() = 0;
    // A plain (unscrambled) image is being programmed.
    virtual void highlight(bool plain) = 0;
    // The image's size in address units and the range it covers below the boot loader.
    virtual void imageLoaded(std::uint32_t units, std::uint32_t from, std::uint32_t to) = 0;
    virtual void noImage() = 0;
    virtual void imageTooBig() = 0;

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
