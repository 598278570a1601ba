#pragma once
// Headless controls for front ends without a window (the console, a station
// port): each reports what someone watching would see change, by the
// console's name for it ("identity", "status", "device", ...), to a receiver
// that prints it or passes it on.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "bootloader/EventPump.h"
#include "ui/FrontEndContext.h"
#include "ui/Controls.h"

namespace torvane {

class ControlReports {
public:
    virtual ~ControlReports() = default;
    // A text that can be seen changed to `value`.
    virtual void text(std::string_view what, std::string_view value) = 0;
    // The bar's position or maximum was set (to the same value, too).
    virtual void bar(int position, int maximum, BarState state) = 0;
    // Only the bar's state was set; a receiver that shows no state can ignore it.
    virtual void barState(int position, int maximum, BarState state) { bar(position, maximum, state); }
};

// A caption is reported once it changes while it can be seen, and when a
// label with a caption appears. Nothing is reported until `live_`.
class ReportingLabel : public Label {
public:
    ReportingLabel(ControlReports& r, std::string name) : reports_(r), name_(std::move(name)) {}
    void setCaption(const std::string& text) override;
    void setVisible(bool v) override;
    bool live_ = false;

private:
    ControlReports& reports_;
    std::string name_;
};

// Panels are named by the role the presenter's panel index gives them, which
// a front end may change while it runs. A blank panel (" ") is not news.
class ReportingStatusBar : public StatusBar {
public:
    ReportingStatusBar(ControlReports& r, int panels, const std::array<std::int32_t, 4>& index)
        : StatusBar(panels), reports_(r), index_(index) {}
    void setPanelText(int i, const std::string& text) override;
    bool live_ = false;

private:
    std::string nameOf(int i) const;
    ControlReports& reports_;
    const std::array<std::int32_t, 4>& index_;
};

class ReportingBar : public ProgressBar {
public:
    explicit ReportingBar(ControlReports& r) : reports_(r) {}
    void setPosition(int p) override;
    void setMaximum(int m) override;
    void setState(BarState s) override;
    bool live_ = false;

private:
    ControlReports& reports_;
};

// The controls of all three windows, installed in a context's presenter.
// Only those of the window that drives the context's front end report (the
// MainWindow's always exist, as they do on screen, but stay silent when
// another window drives the run), and only once live.
class ReportingFrontEnd {
public:
    ReportingFrontEnd(FrontEndContext& ctx, ControlReports& reports);
    ReportingFrontEnd(const ReportingFrontEnd&) = delete;
    ReportingFrontEnd& operator=(const ReportingFrontEnd&) = delete;
    void live(bool on);

private:
    struct WindowControls {
        virtual ~WindowControls() = default;
        virtual void live(bool on) = 0;
    };
    struct MainControls : WindowControls {
        ReportingLabel m1, m2, m3, m4;
        Button b1, b2;
        ReportingBar bar;
        ReportingStatusBar status;
        MainControls(ControlReports& r, const std::array<std::int32_t, 4>& index);
        void live(bool on) override;
    };
    struct LoaderControls : WindowControls {
        ReportingLabel l1, l6, l7;
        Button b1, b2;
        ReportingBar bar;
        ReportingStatusBar status;  // never shown: it does not report
        LoaderControls(ControlReports& r, const std::array<std::int32_t, 4>& index);
        void live(bool on) override;
    };
    struct UpgradeControls : WindowControls {
        Panel panel;
        Button b1, b2;
        ReportingBar bar, pending;
        ReportingStatusBar status;
        UpgradeControls(ControlReports& r, const std::array<std::int32_t, 4>& index);
        void live(bool on) override;
    };
    MainControls main_;
    LoaderControls loader_;
    UpgradeControls upgrade_;
    WindowControls* shown_;  // the driving window's
};

// The wait of a front end without a window: it waits on the clock, and once
// `stopRequested` says so it presses the front end's stop button, as the
// person at a window would. The run's abort then stays raised until the run
// has ended, so a wait that took the request without ending the run cannot
// swallow it.
class StopButtonPump : public WaitingPump {
public:
    StopButtonPump(Clock& clock, FrontEndContext& ctx, std::function<bool()> stopRequested)
        : WaitingPump(clock), ctx_(ctx), stopRequested_(std::move(stopRequested)) {}
    void step(std::chrono::milliseconds limit, SerialDevice* input) override;

private:
    FrontEndContext& ctx_;
    std::function<bool()> stopRequested_;
    bool stopped_ = false;
};

}  // namespace torvane
