#pragma once
// An update run as each of the three windows shows it. The parts all three
// share live in WindowRunView; each window says in its own class what it
// shows differently (the search, the block counters, the verdict).

#include "bootloader/RunView.h"

namespace torvane {

struct FrontEndContext;
class ProgressBar;
class StatusBar;

class WindowRunView : public RunView {
public:
    explicit WindowRunView(FrontEndContext& ctx) : ctx_(ctx) {}

    std::uint8_t wakeCode(std::uint8_t wakeVariant) const override;
    void panel(PanelRole role, std::string_view text) override;
    void progress(int position) override;
    void progressMaximum(int maximum) override;
    void progressSmooth(bool smooth) override;
    void searchStarted() override;
    void showPort(std::int16_t portIndex) override;
    void wakeUpsStarted(int tries) override;
    void wakeUpsEnded() override;
    void portReason(std::string_view reason) override;
    void notFound() override;
    void busy() override;
    void idle() override;
    void identity() override;
    void highlight(bool plain) override;
    void imageLoaded(std::uint32_t units, std::uint32_t from, std::uint32_t to) override;
    void noImage() override;
    void imageTooBig() override;
    void programming() override;
    void blockStarted(std::uint32_t address) override;
    void resending(int resend) override;
    void finalBlock() override;
    void eepromByte(int index) override;
    void failed(std::string_view text) override;

protected:
    // The start button's progress bar and the status bar of this window.
    virtual ProgressBar& bar() = 0;
    virtual StatusBar& status() = 0;
    FrontEndContext& ctx_;
};

// Counts the wake-up tries, every block and the final block; the verdict is
// " Program Ok " in green.
class MainWindowRunView : public WindowRunView {
public:
    using WindowRunView::WindowRunView;
    void wakeUpTry(int attempt, int tries) override;
    void imageLoaded(std::uint32_t units, std::uint32_t from, std::uint32_t to) override;
    void blockStarted(std::uint32_t address) override;
    void programmed() override;

protected:
    ProgressBar& bar() override;
    StatusBar& status() override;
};

// Its status bar is never shown: no counters; the message line says
// "Search Device" and, at the end, "Successfully updated".
class LoaderWindowRunView : public WindowRunView {
public:
    using WindowRunView::WindowRunView;
    void wakeUpTry(int attempt, int tries) override;
    void finalBlock() override;
    void eepromByte(int index) override;
    void programmed() override;

protected:
    ProgressBar& bar() override;
    StatusBar& status() override;
};

// Always wakes with 197; "Program OK" in its status bar at the end.
class UpgradeWindowRunView : public WindowRunView {
public:
    using WindowRunView::WindowRunView;
    std::uint8_t wakeCode(std::uint8_t wakeVariant) const override;
    void wakeUpTry(int attempt, int tries) override;
    void programmed() override;

protected:
    ProgressBar& bar() override;
    StatusBar& status() override;
};

}  // namespace torvane
