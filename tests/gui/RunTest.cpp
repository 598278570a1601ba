// Update runs driven through the real windows against the simulated boot
// loader on a pseudo-terminal: the verdicts, Stop, closing mid-run, a second
// start click, and the port dialog used while a run goes on.

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QPushButton>
#include <QTest>

#include <fstream>
#include <vector>

#include <nlohmann/json.hpp>

#include "GuiFixture.h"
#include "bootloader/DeviceSearch.h"

namespace torvane::test {
namespace {

using bootsim::FrameKind;
using bootsim::Verdict;

struct FrontEndCase {
    const char* name;
    std::string identity;
    BrandIndex brand;
};

const FrontEndCase FrontEnds[] = {
    {"MainWindow", MainIdentity, BrandMain},
    {"LoaderWindow", LoaderIdentity, BrandLoader},
    {"UpgradeWindow", UpgradeIdentity, BrandUpgrade},
};

void PrintTo(const FrontEndCase& c, std::ostream* os) { *os << c.name; }

std::string CaseName(const ::testing::TestParamInfo<FrontEndCase>& info) { return info.param.name; }

bool AnyBlockReceived(const bootsim::SimRunner& sim) {
    for (const auto& f : sim.frames())
        if (f.kind == FrameKind::Block) return true;
    return false;
}

// Where each front end shows a failure verdict.
QString VerdictText(GuiSession& s) {
    if (auto* l = s.loaderWindow()) return l->Label1.widget()->text();
    if (auto* u = s.upgradeWindow()) return u->StatusBar1.panelWidget(StatusPanel)->text();
    return s.mainWindow().Label2.widget()->text();
}

// Idle: the start button usable, the stop button not.
void ExpectIdle(GuiSession& s) {
    QPushButton* start = StartButton(s).widget();
    QPushButton* stop = StopButton(s).widget();
    if (s.frontEnd() == FrontEnd::LoaderWindow) {
        EXPECT_TRUE(start->isEnabled());
        EXPECT_FALSE(stop->isEnabled());
    } else {
        EXPECT_TRUE(start->isVisible());
        EXPECT_FALSE(stop->isVisible());
    }
}

class FrontEndRun : public GuiTest, public ::testing::WithParamInterface<FrontEndCase> {};

TEST_P(FrontEndRun, StartProgramsTheDeviceAndShowsTheVerdict) {
    storePort(GetParam().brand, std::to_string(DevicePort));
    auto sim = startDevice();
    auto s = openShown(GetParam().identity);

    Click(StartButton(*s).widget());

    switch (s->frontEnd()) {
        case FrontEnd::MainWindow: {
            QLabel* result = s->mainWindow().Label2.widget();
            EXPECT_EQ(result->text(), " Program Ok ");
            EXPECT_TRUE(result->isVisible());
            EXPECT_TRUE(result->autoFillBackground());
            EXPECT_EQ(result->palette().color(QPalette::Window), QColor(0, 128, 0));
            EXPECT_EQ(result->palette().color(QPalette::WindowText), QColor(Qt::white));
            break;
        }
        case FrontEnd::LoaderWindow: {
            QLabel* message = s->loaderWindow()->Label1.widget();
            EXPECT_EQ(message->text(), "Successfully updated");
            EXPECT_EQ(message->palette().color(QPalette::WindowText), QColor(0, 128, 0));
            break;
        }
        case FrontEnd::UpgradeWindow:
            EXPECT_EQ(s->upgradeWindow()->StatusBar1.panelWidget(StatusPanel)->text(), "Program OK");
            break;
    }
    ExpectIdle(*s);
    // The device got the image, and nothing had to be refused.
    EXPECT_TRUE(AnyBlockReceived(*sim));
    for (const auto& f : sim->frames()) EXPECT_NE(f.verdict, Verdict::Refused) << bootsim::FormatFrameRecord(f);
}

// Every run leaves a line in the run log, with the verdict the window shows;
// a failed run after it too, without the device the first one found.
TEST_P(FrontEndRun, EachRunIsAppendedToTheRunLog) {
    storePort(GetParam().brand, std::to_string(DevicePort));
    auto sim = startDevice();
    auto s = openShown(GetParam().identity);
    Click(StartButton(*s).widget());
    sim.reset();  // the device goes away
    Click(StartButton(*s).widget());

    std::ifstream in(config_.stateDir() / "torvane" / "runs.jsonl");
    std::vector<nlohmann::json> runs;
    for (std::string line; std::getline(in, line);) runs.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0]["port"], "COM7");
    EXPECT_EQ(runs[0]["chip_code"], 252);
    EXPECT_GT(runs[0]["blocks_sent"].get<int>(), 0);
    EXPECT_EQ(runs[0]["exit_code"], 0);
    EXPECT_NE(runs[1]["exit_code"], 0);
    EXPECT_TRUE(runs[1]["chip_code"].is_null()) << runs[1];
    EXPECT_EQ(runs[1]["verdict"], VerdictText(*s).toStdString());
}

TEST_P(FrontEndRun, StopDuringProgrammingEndsTheRunWithUserAbort) {
    storePort(GetParam().brand, std::to_string(DevicePort));
    auto sim = startDevice();
    auto s = openShown(GetParam().identity);
    When stop([&] { return AnyBlockReceived(*sim); }, [&] { StopButton(*s).widget()->click(); });

    Click(StartButton(*s).widget());

    ASSERT_TRUE(stop.fired());
    EXPECT_EQ(VerdictText(*s), " User Abort !! ");
    ExpectIdle(*s);
    if (auto* l = s->loaderWindow()) {
        EXPECT_EQ(l->ProgressBar1.state(), BarState::Error);
    }
}

// The window asks to close in the one wait that swallows an abort request
// (the one after the programming-mode command, left unanswered here so that
// it lasts): the run must still end at the next wait, and the window then
// closes with the port closed and the setting written.
TEST_P(FrontEndRun, ClosingDuringARunEndsItThenCloses) {
    constexpr int ProgrammingModeFrame = 2;  // after the one wake-up byte
    storePort(GetParam().brand, std::to_string(DevicePort));
    bootsim::SimConfig slow;
    slow.faults.mute = {ProgrammingModeFrame};
    auto sim = startDevice(DevicePort, slow);
    auto s = openShown(GetParam().identity);
    FrontEndWindow& window = s->frontWindow();
    bool closed = false;
    QObject::connect(&window, &FrontEndWindow::closed, [&] { closed = true; });
    When closeIt([&] { return FrontStatusBar(*s).panelText(StatusPanel) == "Entry in PrgMode"; },
                 [&] { window.close(); });

    Click(StartButton(*s).widget());
    ASSERT_TRUE(closeIt.fired());
    EXPECT_TRUE(window.isVisible()) << "closed while its handler was still running";
    for (int i = 0; i < 100 && !closed; ++i) QTest::qWait(10);

    EXPECT_TRUE(closed);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(VerdictText(*s), " User Abort !! ");
    EXPECT_FALSE(AnyPortOpen(s->context()));
    EXPECT_EQ(storedPort(GetParam().brand), std::to_string(DevicePort));
}

INSTANTIATE_TEST_SUITE_P(EachFrontEnd, FrontEndRun, ::testing::ValuesIn(FrontEnds), CaseName);

// "Abort" makes "Update FW" usable again before the run has noticed; a click
// on it then must not start a second run inside the first.
TEST_F(GuiTest, StartClickDuringARunDoesNotStartAnother) {
    storePort(BrandLoader, std::to_string(DevicePort));
    bootsim::SimConfig silent;
    silent.faults.silent = true;
    auto sim = startDevice(DevicePort, silent);
    auto s = openShown(LoaderIdentity);
    TForm6& w = *s->loaderWindow();
    When abortAndRestart([&] { return sim->wakeBytesSeen() >= 2; }, [&] {
        w.Button2.widget()->click();
        ASSERT_TRUE(w.Button1.widget()->isEnabled());
        w.Button1.widget()->click();
    });

    Click(w.Button1.widget());

    ASSERT_TRUE(abortAndRestart.fired());
    EXPECT_EQ(w.Label1.caption(), " User Abort !! ");
    EXPECT_LT(sim->wakeBytesSeen(), WakeTries) << "the first run went on searching";
    EXPECT_FALSE(w.running());
}

// The port dialog works while a run searches: choosing another port reopens
// it at once, and the search goes on there and finds the device.
TEST_F(GuiTest, PortDialogSwitchesThePortOfARunningSearch) {
    constexpr int OtherPort = 8;  // COM9
    storePort(BrandMain, std::to_string(DevicePort));
    bootsim::SimConfig silent;
    silent.faults.silent = true;
    auto nobody = startDevice(DevicePort, silent);
    auto device = startDevice(OtherPort);
    auto s = openShown(MainIdentity);
    TForm1& w = s->mainWindow();
    TForm3& dialog = s->portDialog();
    When switchPort([&] { return nobody->wakeBytesSeen() >= 2; }, [&] {
        w.S1->trigger();
        ASSERT_TRUE(dialog.isVisible());
        dialog.ComboBox1->setCurrentIndex(dialog.ComboBox2->findText("COM9"));
        dialog.Button1->click();
    });

    Click(w.Button1.widget());

    ASSERT_TRUE(switchPort.fired());
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(s->context().port.CurrentPort, OtherPort);
    EXPECT_EQ(w.Label2.caption(), " Program Ok ");
    EXPECT_TRUE(AnyBlockReceived(*device));
}

}  // namespace
}  // namespace torvane::test
