// The Presenter on each of the three front ends, through headless windows.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "TestContext.h"
#include "ui/FrontEndContext.h"

namespace torvane {
namespace {

using test::TestContext;

const char* Name(FrontEnd f) {
    switch (f) {
    case FrontEnd::MainWindow: return "MainWindow";
    case FrontEnd::LoaderWindow: return "LoaderWindow";
    case FrontEnd::UpgradeWindow: return "UpgradeWindow";
    }
    return "?";
}

const FrontEnd AllFrontEnds[] = {FrontEnd::MainWindow, FrontEnd::LoaderWindow, FrontEnd::UpgradeWindow};

// The start and stop buttons of the active front end.
struct Buttons {
    bool startShown, startEnabled, stopShown, stopEnabled;
    bool operator==(const Buttons&) const = default;
};

Buttons ButtonsOf(TestContext& t) {
    const Button* start = &t.main.Button1;
    const Button* stop = &t.main.Button2;
    if (t.loader) start = &t.loader->Button1, stop = &t.loader->Button2;
    if (t.upgrade) start = &t.upgrade->Button1, stop = &t.upgrade->Button2;
    return {start->visible(), start->enabled(), stop->visible(), stop->enabled()};
}

int StartFocus(TestContext& t) {
    if (t.loader) return t.loader->Button1.focusCount();
    if (t.upgrade) return t.upgrade->Button1.focusCount();
    return t.main.Button1.focusCount();
}

TEST(Presenter, BusyAndIdleButtonsPerFrontEnd) {
    struct Case {
        FrontEnd front;
        Buttons idle, busy;
    };
    const Case cases[] = {
        {FrontEnd::MainWindow, {true, true, false, true}, {false, true, true, true}},
        {FrontEnd::LoaderWindow, {true, true, true, false}, {true, false, true, true}},
        {FrontEnd::UpgradeWindow, {true, true, false, true}, {false, true, true, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Name(c.front));
        TestContext t(c.front);
        EXPECT_EQ(ButtonsOf(t), c.idle) << "a new window starts idle";
        t.ctx.front().ShowBusy();
        EXPECT_EQ(ButtonsOf(t), c.busy);
        t.ctx.front().ShowIdle();
        EXPECT_EQ(ButtonsOf(t), c.idle);
        EXPECT_EQ(StartFocus(t), 1);
        t.ctx.front().ShowBusy();
        t.ctx.front().ShowResult(" Program Ok ", ClGreen, NotifySuccess);
        EXPECT_EQ(ButtonsOf(t), c.idle) << "a verdict ends the run's busy state too";
        if (c.front != FrontEnd::MainWindow) {
            EXPECT_FALSE(t.main.Button2.visible()) << "the hidden MainWindow's buttons are left alone";
            EXPECT_EQ(t.main.Button1.focusCount(), 0);
        }
    }
}

TEST(Presenter, ShowResultNotifiesFirstThenShowsTheVerdict) {
    struct Case {
        FrontEnd front;
        std::function<void(TestContext&)> expect;
    };
    const Case cases[] = {
        {FrontEnd::MainWindow,
         [](TestContext& t) {
             const Label& l = t.main.Label2;
             EXPECT_TRUE(l.visible());
             EXPECT_TRUE(l.opaque());
             EXPECT_EQ(l.caption(), " CHK Error !! ");
             EXPECT_EQ(l.background(), ClRed);
             EXPECT_EQ(l.fontColour(), ClWhite);
         }},
        {FrontEnd::LoaderWindow,
         [](TestContext& t) {
             const Label& l = t.loader->Label1;
             EXPECT_EQ(l.caption(), " CHK Error !! ");
             EXPECT_EQ(l.fontColour(), ClRed);
             EXPECT_EQ(l.fontStyle(), (FontStyle{.bold = true}));
             EXPECT_EQ(l.fontHeight(), 32);
             EXPECT_EQ(l.alignment(), Alignment::Centre);
             EXPECT_EQ(l.repaintCount(), 1);
             EXPECT_FALSE(t.main.Label2.visible());
         }},
        {FrontEnd::UpgradeWindow,
         [](TestContext& t) {
             EXPECT_EQ(t.upgrade->StatusBar1.panelText(StatusPanel), " CHK Error !! ");
             EXPECT_EQ(t.upgrade->Panel1.background(), ClBtnFace) << "the colour is not used";
             EXPECT_FALSE(t.main.Label2.visible());
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Name(c.front));
        TestContext t(c.front);
        if (t.loader) t.loader->Label1.setAlignment(Alignment::Left);
        std::vector<int> codes;
        std::string shownAtNotification = "?";
        t.ctx.presenter.notify = [&](std::uint8_t code) {
            codes.push_back(code);
            shownAtNotification = t.main.Label2.caption() + (t.loader ? t.loader->Label1.caption() : "") +
                                  (t.upgrade ? t.upgrade->StatusBar1.panelText(StatusPanel) : "");
        };
        t.ctx.front().ShowResult(" CHK Error !! ", ClRed, NotifyFailure);
        EXPECT_EQ(codes, std::vector<int>{NotifyFailure});
        EXPECT_EQ(shownAtNotification, "") << "the hook runs before anything is shown";
        c.expect(t);
    }

    TestContext ok;
    std::vector<int> codes;
    ok.ctx.presenter.notify = [&](std::uint8_t code) { codes.push_back(code); };
    ok.ctx.front().ShowResult(" Program Ok ", ClGreen, NotifySuccess);
    EXPECT_EQ(codes, std::vector<int>{NotifySuccess});
}

TEST(Presenter, LoaderProgressStyleFollowsTheColour) {
    struct Case {
        Colour given, shown;
        bool bold;
        int height;
    };
    const Case cases[] = {
        {ClBtnFace, ClBlack, false, 25},
        {ClBlack, ClBlack, false, 25},
        {ClRed, ClRed, true, 32},
        {ClGreen, ClGreen, true, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.given);
        TestContext t(FrontEnd::LoaderWindow);
        Label& l = t.loader->Label1;
        l.setFontStyle({.bold = true, .italic = true});
        t.ctx.front().ShowProgress("Search Device", c.given);
        EXPECT_EQ(l.caption(), "Search Device");
        EXPECT_EQ(l.fontColour(), c.shown);
        EXPECT_EQ(l.fontStyle(), (FontStyle{.bold = c.bold}));
        EXPECT_EQ(l.fontHeight(), c.height);
        EXPECT_EQ(l.alignment(), Alignment::Left);
        t.ctx.front().ShowResult("Done", ClGreen, NotifySuccess);
        EXPECT_EQ(l.alignment(), Alignment::Centre);
    }
}

TEST(Presenter, ShowProgressOnMainAndUpgradeWindows) {
    TestContext main;
    main.ctx.front().ShowBusy();
    main.ctx.front().ShowProgress(" Programming... ", ClBtnFace);
    EXPECT_TRUE(main.main.Label2.visible());
    EXPECT_EQ(main.main.Label2.caption(), " Programming... ");
    EXPECT_EQ(main.main.Label2.background(), ClBtnFace);
    EXPECT_EQ(main.main.Label2.fontColour(), ClBlack);
    EXPECT_TRUE(main.main.Button2.visible()) << "progress leaves the buttons alone";

    TestContext up(FrontEnd::UpgradeWindow);
    up.ctx.front().ShowProgress("Search Device", ClRed);
    EXPECT_EQ(up.upgrade->StatusBar1.panelText(StatusPanel), "Search Device");
    EXPECT_FALSE(up.main.Label2.visible());
}

TEST(Presenter, ShowPortWritesThePortPanelOfTheFrontEndsBar) {
    struct Case {
        std::int16_t port;
        const char* text;
    };
    for (Case c : {Case{-1, "-----"}, Case{-300, "-----"}, Case{0, "COM1"}, Case{9, "COM10"}, Case{256, "COM257"}}) {
        for (FrontEnd front : AllFrontEnds) {
            TestContext t(front);
            t.ctx.front().ShowPort(c.port);
            const StatusBar& bar = t.loader ? t.loader->StatusBar1 : t.upgrade ? t.upgrade->StatusBar1 : t.main.StatusBar1;
            EXPECT_EQ(bar.panelText(PortPanel), c.text) << c.port << " on " << Name(front);
            if (front != FrontEnd::MainWindow) {
                EXPECT_EQ(t.main.StatusBar1.panelText(PortPanel), "");
            }
        }
    }
}

// A device with identity: version, hardware 5, preparation 0x2a; the selected
// image was built for hardware 7, preparation 0x11.
void SetIdentity(TestContext& t, std::uint8_t version, bool seen, const char* record = "Rel 2.1") {
    DeviceIdentity& id = t.ctx.identity;
    id.biosVersion = version;
    id.hardwareCode = 5;
    id.preparationCode = 0x2a;
    id.identitySeen = seen ? 1 : 0;
    std::snprintf(id.recordText.data(), id.recordText.size(), "%s", record);
    t.ctx.images.active.hardwareCode = 7;
    t.ctx.images.active.preparationCode = 0x11;
}

TEST(Presenter, MainWindowIdentityLineAndReleaseLine) {
    ASSERT_NE(HardwareName(5), HardwareName(7)) << "the cases need two boards with different names";
    struct Case {
        std::uint8_t version;
        bool seen;
        std::string line;
        bool releaseShown;
    };
    const Case cases[] = {
        {7, true, "BIOS:07 - " + HardwareName(5) + " - Preparation2a", false},
        {8, true, "BIOS:08 - " + HardwareName(5) + " - Preparation2a", true},
        {31, true, "BIOS:1f - " + HardwareName(5) + " - Preparation2a", true},
        {32, true, "BIOS:20 - " + HardwareName(5) + " - Preparation2a", false},
        {0, false, "BIOS:00 - " + HardwareName(7) + " - Preparation11", false},
        {10, false, "BIOS:0a - " + HardwareName(7) + " - Preparation11", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        TestContext t;
        SetIdentity(t, c.version, c.seen);
        t.main.Label4.setVisible(!c.releaseShown);  // shown by an earlier run, or not
        t.main.Label3.setBackground(ClRed);
        t.ctx.front().ShowIdentity(t.ctx.identity, t.ctx.images.active);
        EXPECT_TRUE(t.main.Label3.visible());
        EXPECT_EQ(t.main.Label3.caption(), c.line);
        EXPECT_EQ(t.main.Label3.background(), ClBtnFace);
        EXPECT_EQ(t.main.Label3.fontColour(), ClBlack);
        EXPECT_EQ(t.main.Label3.repaintCount(), 1);
        EXPECT_EQ(t.main.Label4.visible(), c.releaseShown);
        if (c.releaseShown) {
            EXPECT_EQ(t.main.Label4.caption(), "Rel 2.1");
        }
    }
}

TEST(Presenter, UnwrittenRecordIsShownEmpty) {
    TestContext t;
    SetIdentity(t, 10, true, "\xFF\xFF\xFF");
    t.ctx.front().ShowIdentity(t.ctx.identity, t.ctx.images.active);
    EXPECT_TRUE(t.main.Label4.visible());
    EXPECT_EQ(t.main.Label4.caption(), "");
    t.main.Label4.setCaption("x");
    t.ctx.front().ShowIdentity(t.ctx.identity, t.ctx.images.active);
    EXPECT_EQ(t.main.Label4.caption(), "");
}

TEST(Presenter, IdentityOnLoaderAndUpgradeWindows) {
    TestContext loader(FrontEnd::LoaderWindow);
    SetIdentity(loader, 10, false);
    loader.ctx.front().ShowIdentity(loader.ctx.identity, loader.ctx.images.active);
    EXPECT_EQ(loader.loader->Label6.caption(), "-") << "without identity the value lines stay";
    EXPECT_EQ(loader.loader->Label7.caption(), "-");

    loader.ctx.identity.identitySeen = 1;
    loader.ctx.front().ShowIdentity(loader.ctx.identity, loader.ctx.images.active);
    EXPECT_EQ(loader.loader->Label6.caption(), HardwareName(7) + " - 0x2a") << "image board, device preparation";
    EXPECT_EQ(loader.loader->Label7.caption(), "0x0a");
    EXPECT_FALSE(loader.main.Label3.visible());

    TestContext up(FrontEnd::UpgradeWindow);
    SetIdentity(up, 10, true);
    up.ctx.front().ShowIdentity(up.ctx.identity, up.ctx.images.active);
    EXPECT_FALSE(up.main.Label3.visible());
    EXPECT_EQ(up.upgrade->StatusBar1.panelText(DevicePanel), "");
}

TEST(Presenter, MissingOrOversizedImagePerFrontEnd) {
    struct Case {
        bool tooBig;
        const char* text;
        void show(FrontEndContext& ctx) const {
            if (tooBig) ctx.front().ShowImageTooBig(ctx.identity, ctx.images.active);
            else ctx.front().ShowNoImage(ctx.identity, ctx.images.active);
        }
    };
    for (Case op : {Case{false, " No Hex inside !! "}, Case{true, " Hex too Big !! "}}) {
        SCOPED_TRACE(op.text);
        int notified = 0;
        TestContext main;
        main.ctx.presenter.notify = [&](std::uint8_t) { ++notified; };
        SetIdentity(main, 10, true);
        op.show(main.ctx);
        EXPECT_EQ(main.main.Label2.caption(), op.text);
        EXPECT_EQ(main.main.Label2.background(), ClRed);
        EXPECT_EQ(main.main.StatusBar1.panelText(DevicePanel), "Warning");
        EXPECT_TRUE(main.main.Label3.visible()) << "the identity is shown with it";
        EXPECT_EQ(notified, 1);

        TestContext loader(FrontEnd::LoaderWindow);
        loader.ctx.presenter.notify = [&](std::uint8_t) { ++notified; };
        op.show(loader.ctx);
        EXPECT_EQ(loader.loader->Label1.caption(), op.text);
        EXPECT_EQ(loader.loader->Label1.fontColour(), ClRed);
        EXPECT_EQ(notified, 2);

        TestContext up(FrontEnd::UpgradeWindow);
        up.ctx.presenter.notify = [&](std::uint8_t) { ++notified; };
        up.ctx.front().ShowBusy();
        op.show(up.ctx);
        EXPECT_EQ(notified, 3);
        EXPECT_EQ(up.upgrade->StatusBar1.panelText(StatusPanel), op.text);
        EXPECT_FALSE(up.upgrade->Button2.visible()) << "the run has ended: START again, not STOP";
        EXPECT_TRUE(up.upgrade->Button1.visible());
    }
}

TEST(Presenter, HighlightPerFrontEnd) {
    // Backgrounds of the MainWindow's Label1, the LoaderWindow's Label1 and
    // the UpgradeWindow's Panel1 with the highlight on.
    struct Case {
        FrontEnd front;
        std::vector<Colour> on;
    };
    const Case cases[] = {
        {FrontEnd::MainWindow, {ClSilver, ClBtnFace, ClBtnFace}},
        {FrontEnd::LoaderWindow, {ClBtnFace, ClBtnFace, ClBtnFace}},
        {FrontEnd::UpgradeWindow, {ClBtnFace, ClBtnFace, ClSilver}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Name(c.front));
        TestContext t(c.front);
        HeadlessLoaderWindow noLoader;
        HeadlessUpgradeWindow noUpgrade;
        const Label& loaderLabel = t.loader ? t.loader->Label1 : noLoader.Label1;
        const Panel& upgradePanel = t.upgrade ? t.upgrade->Panel1 : noUpgrade.Panel1;
        auto backgrounds = [&] {
            return std::vector<Colour>{t.main.Label1.background(), loaderLabel.background(), upgradePanel.background()};
        };
        t.ctx.front().SetHighlight(true);
        EXPECT_EQ(backgrounds(), c.on);
        t.ctx.front().SetHighlight(false);
        EXPECT_EQ(backgrounds(), std::vector<Colour>(3, ClBtnFace));
    }
}

TEST(Presenter, PanelRolesFollowThePanelIndexTable) {
    // The UpgradeWindow moves the device texts into the detail panel.
    TestContext t(FrontEnd::UpgradeWindow);
    t.ctx.presenter.PanelIndex[DevicePanel] = 3;
    StatusBar& bar = t.upgrade->StatusBar1;
    t.ctx.front().SetPanelText(bar, DetailPanel, "not suitable apparatus");
    t.ctx.front().SetPanelText(bar, DevicePanel, "Found 18F25k80");
    EXPECT_EQ(bar.panelText(3), "Found 18F25k80");
    EXPECT_EQ(bar.panelText(2), "");
    t.ctx.front().ShowBusy();
    EXPECT_EQ(bar.panelText(3), " ") << "the busy blank lands in the device panel too";
    EXPECT_EQ(bar.repaintCount(), 0) << "panel writes do not repaint";
}

TEST(Presenter, HeadlessWindowsHaveTheirDesignTimeCaptionsAndPanels) {
    TestContext m;
    TestContext l(FrontEnd::LoaderWindow);
    TestContext u(FrontEnd::UpgradeWindow);
    EXPECT_EQ(m.main.Button1.caption() + "|" + m.main.Button2.caption(), "&Update|&Stop");
    EXPECT_EQ(l.loader->Button1.caption() + "|" + l.loader->Button2.caption(), "Update FW|Abort");
    EXPECT_EQ(u.upgrade->Button1.caption() + "|" + u.upgrade->Button2.caption(), "START|STOP");
    EXPECT_EQ(m.main.StatusBar1.panelCount(), 4);
    EXPECT_EQ(l.loader->StatusBar1.panelCount(), 5);
    EXPECT_EQ(u.upgrade->StatusBar1.panelCount(), 5);
    EXPECT_FALSE(m.main.Label2.visible() || m.main.Label3.visible() || m.main.Label4.visible());
    EXPECT_FALSE(u.upgrade->ProgressBar2.visible());
    EXPECT_EQ(m.ctx.presenter.main.StatusBar1, &m.main.StatusBar1);
    EXPECT_EQ(l.ctx.presenter.loader.Label7, &l.loader->Label7);
}

}  // namespace
}  // namespace torvane
