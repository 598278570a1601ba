// The window-less front end the console and the station ports share: what it
// reports, under which name, and when it stays quiet.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "ui/FrontEndContext.h"
#include "ui/ReportingControls.h"

namespace torvane {
namespace {

const char* StateName(BarState s) {
    switch (s) {
    case BarState::Normal: return "normal";
    case BarState::Paused: return "paused";
    case BarState::Error: return "error";
    }
    return "?";
}

struct Recorder : ControlReports {
    std::vector<std::string> lines;
    void text(std::string_view what, std::string_view value) override {
        lines.push_back(std::string(what) + ": " + std::string(value));
    }
    void bar(int position, int maximum, BarState state) override {
        lines.push_back("bar " + std::to_string(position) + "/" + std::to_string(maximum) + " " + StateName(state));
    }
    std::vector<std::string> take() { return std::exchange(lines, {}); }
};

using Lines = std::vector<std::string>;

TEST(ReportingControls, MainWindowReportsVisibleChangesOnlyWhileLive) {
    FrontEndContext ctx;
    Recorder r;
    ReportingFrontEnd front(ctx, r);
    MainWindowView& v = ctx.presenter.main;

    v.Label3->setCaption("before");
    v.ProgressBar1->setPosition(3);
    ctx.front().SetPanelText(*v.StatusBar1, StatusPanel, "before");
    EXPECT_EQ(r.take(), Lines{}) << "nothing before the run is live";

    front.live(true);
    v.Label1->setCaption("identity text");
    EXPECT_EQ(r.take(), Lines{}) << "the product identity is never news";
    v.Label2->setCaption("hidden");
    v.Label2->setCaption("shown");
    EXPECT_EQ(r.take(), Lines{}) << "a hidden label keeps quiet";
    v.Label2->setVisible(true);
    v.Label2->setCaption("shown");
    v.Label2->setCaption("");
    v.Label2->setCaption("next");
    EXPECT_EQ(r.take(), (Lines{"result: shown", "result: next"}));

    ctx.front().SetPanelText(*v.StatusBar1, StatusPanel, " ");
    ctx.front().SetPanelText(*v.StatusBar1, StatusPanel, "busy");
    ctx.front().SetPanelText(*v.StatusBar1, StatusPanel, "busy");
    ctx.presenter.PanelIndex[DevicePanel] = DetailPanel;  // as a front end may move it
    ctx.front().SetPanelText(*v.StatusBar1, DevicePanel, "chip");
    EXPECT_EQ(r.take(), (Lines{"status: busy", "device: chip"}));

    v.ProgressBar1->setMaximum(50);
    v.ProgressBar1->setPosition(7);
    v.ProgressBar1->setPosition(7);
    v.ProgressBar1->setState(BarState::Paused);
    EXPECT_EQ(r.take(), (Lines{"bar 3/50 normal", "bar 7/50 normal", "bar 7/50 normal", "bar 7/50 paused"}));

    front.live(false);
    v.Label2->setCaption("after");
    v.ProgressBar1->setPosition(9);
    ctx.front().SetPanelText(*v.StatusBar1, StatusPanel, "after");
    EXPECT_EQ(r.take(), Lines{});
}

// Only the front end's own controls report; the MainWindow's, always
// installed, stay quiet behind the LoaderWindow and the UpgradeWindow.
TEST(ReportingControls, OnlyTheActiveFrontEndReports) {
    struct Case {
        FrontEnd front;
        Lines expected;
    };
    const Case cases[] = {
        {FrontEnd::LoaderWindow, {"message: msg", "hardware: hw", "boot loader: bl", "bar 4/100 normal"}},
        {FrontEnd::UpgradeWindow, {"status: st", "bar 4/100 normal"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.front));
        FrontEndContext ctx(c.front);
        Recorder r;
        ReportingFrontEnd front(ctx, r);
        front.live(true);
        MainWindowView& m = ctx.presenter.main;
        m.Label2->setVisible(true);
        m.Label2->setCaption("main");
        m.ProgressBar1->setPosition(1);
        ctx.front().SetPanelText(*m.StatusBar1, StatusPanel, "main");
        // Every window's controls are installed; only the driving one's report.
        LoaderWindowView& l = ctx.presenter.loader;
        UpgradeWindowView& u = ctx.presenter.upgrade;
        if (c.front == FrontEnd::LoaderWindow) {
            l.Label1->setCaption("msg");
            l.Label6->setCaption("hw");
            l.Label7->setCaption("bl");
            ctx.front().SetPanelText(*l.StatusBar1, StatusPanel, "st");
            l.ProgressBar1->setPosition(4);
        } else {
            ctx.front().SetPanelText(*u.StatusBar1, StatusPanel, "st");
            u.ProgressBar1->setPosition(4);
            u.ProgressBar2->setPosition(4);
        }
        EXPECT_EQ(r.take(), c.expected);
    }
}

}  // namespace
}  // namespace torvane
