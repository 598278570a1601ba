// The station window driving two simulated modules on two ports at once:
// START for all, STOP for one, closing while both run, and the ports a
// command line can name, and Repeat taking module after module.

#include <QCheckBox>
#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <fstream>
#include <vector>

#include <nlohmann/json.hpp>

#include "GuiFixture.h"
#include "platform/Platform.h"
#include "tools/mkimage/ProductPacker.h"
#include "qt/StationWindow.h"

namespace torvane::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int OtherPort = 8;  // COM9
constexpr int WholeRunsMs = 60000;

// The simulated module's chip takes this image, with this boot jump patched in.
constexpr const char* ModuleImage = "kbv7e-33fj64.hex";
const Bytes BootJump{0x00, 0xA8, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00};

Bytes PlainImage() {
    const std::string path = std::string(TORVANE_SOURCE_DIR) + "/product/images/" + ModuleImage;
    std::ifstream in(path);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return mkimage::ParseIntelHex(text, path);
}

// The module's flash holds the image past the boot jump, and the jump.
void ExpectProgrammed(const Bytes& flash) {
    const Bytes plain = PlainImage();
    ASSERT_GE(flash.size(), plain.size());
    EXPECT_TRUE(std::equal(plain.begin() + static_cast<long>(BootJump.size()), plain.end(),
                           flash.begin() + static_cast<long>(BootJump.size())));
    EXPECT_TRUE(std::equal(BootJump.begin(), BootJump.end(), flash.begin()));
}

bool AnyBlockReceived(const bootsim::SimRunner& sim) {
    const auto frames = sim.frames();
    return std::any_of(frames.begin(), frames.end(), [](const auto& f) { return f.kind == bootsim::FrameKind::Block; });
}

QColor VerdictBackground(StationCell& c) { return c.verdict->widget()->palette().color(QPalette::Window); }

const QColor Green(0, 128, 0);
const QColor Red(255, 0, 0);

// A slow module answers every frame this late, so that its run lasts long
// enough (about a second) to be stopped in the middle on a loaded machine too.
constexpr int SlowAnswersMs = 5;

class StationWindowTest : public GuiTest {
protected:
    // Two modules, on COM7 and COM9, answering `firstLateMs` and `secondLateMs` late.
    void open(int firstLateMs = 0, int secondLateMs = 0) {
        bootsim::SimConfig module;
        module.faults.lateMs = firstLateMs;
        first = startDevice(DevicePort, module);
        module.faults.lateMs = secondLateMs;
        second = startDevice(OtherPort, module);
        window = std::make_unique<StationWindow>(HostPlatform(), StationSettingsFor(MainIdentity),
                                                 std::vector<int>{DevicePort, OtherPort});
        window->show();
        ASSERT_EQ(window->cellCount(), 2);
    }

    bool WaitUntilAllEnded() {
        return QTest::qWaitFor([&] { return !window->anyRunning(); }, WholeRunsMs);
    }

    std::unique_ptr<bootsim::SimRunner> first, second;
    std::unique_ptr<StationWindow> window;
};

TEST_F(StationWindowTest, StartAllProgramsEveryPortAndCountsTheModules) {
    open();
    StationWindow& w = *window;
    // The ports come from the port dialog's listing, checked as given.
    for (const char* name : {"COM7", "COM9"}) {
        const auto items = w.portList->findItems(QString::fromLatin1(name), Qt::MatchStartsWith);
        ASSERT_EQ(items.size(), 1) << name;
        EXPECT_EQ(items[0]->checkState(), Qt::Checked);
    }
    EXPECT_EQ(w.cell(0).device->text(), QString::fromStdString(first->devicePath()));

    Click(w.startAll);
    EXPECT_FALSE(w.repeat->isEnabled()) << "the mode changed under running ports";
    ASSERT_TRUE(WaitUntilAllEnded());

    for (int slot = 0; slot < 2; ++slot) {
        SCOPED_TRACE(slot);
        StationCell& c = w.cell(slot);
        EXPECT_EQ(c.verdict->widget()->text(), " Program Ok ");
        EXPECT_EQ(VerdictBackground(c), Green);
        EXPECT_EQ(c.bar->state(), BarState::Normal);
        EXPECT_EQ(c.counter->text(), "1 done, 0 failed");
        EXPECT_TRUE(c.start->isEnabled());
        EXPECT_FALSE(c.stop->isEnabled());
    }
    EXPECT_EQ(w.totals->text(), "2 done, 0 failed");
    ExpectProgrammed(first->flash());
    ExpectProgrammed(second->flash());

    // Each module's run is in the run log, from its own port.
    std::ifstream in(config_.stateDir() / "torvane" / "runs.jsonl");
    std::vector<std::string> ports;
    for (std::string line; std::getline(in, line);) ports.push_back(nlohmann::json::parse(line)["port"]);
    std::sort(ports.begin(), ports.end());
    EXPECT_EQ(ports, (std::vector<std::string>{"COM7", "COM9"}));
}

TEST_F(StationWindowTest, StopOfOnePortAbortsThatPortOnly) {
    open(SlowAnswersMs);
    StationWindow& w = *window;
    When stopFirst([&] { return AnyBlockReceived(*first); }, [&] { Click(w.cell(0).stop); });

    Click(w.startAll);
    ASSERT_TRUE(WaitUntilAllEnded());

    ASSERT_TRUE(stopFirst.fired());
    EXPECT_EQ(w.cell(0).verdict->widget()->text(), " User Abort !! ");
    EXPECT_EQ(VerdictBackground(w.cell(0)), Red);
    EXPECT_EQ(w.cell(0).counter->text(), "0 done, 0 failed") << "a stopped run is no failed module";
    EXPECT_EQ(w.cell(1).verdict->widget()->text(), " Program Ok ");
    ExpectProgrammed(second->flash());
    EXPECT_EQ(w.totals->text(), "1 done, 0 failed");
}

// The close waits for the ports without blocking the GUI: the window stays
// until every port has ended, then closes with every run aborted.
TEST_F(StationWindowTest, ClosingDuringRunsStopsEveryPortThenCloses) {
    open(SlowAnswersMs, SlowAnswersMs);
    StationWindow& w = *window;
    bool closed = false;
    QObject::connect(&w, &StationWindow::closed, [&] { closed = true; });
    When closeIt([&] { return AnyBlockReceived(*first) && AnyBlockReceived(*second); }, [&] { w.close(); });

    Click(w.startAll);
    ASSERT_TRUE(QTest::qWaitFor([&] { return closed; }, WholeRunsMs));

    ASSERT_TRUE(closeIt.fired());
    EXPECT_FALSE(w.isVisible());
    for (int slot = 0; slot < 2; ++slot) EXPECT_EQ(w.cell(slot).verdict->widget()->text(), " User Abort !! ");
}

// Repeat: a port takes module after module, as an operator puts them on,
// and counts each; STOP ends it while it waits for the next.
TEST_F(StationWindowTest, RepeatTakesTheNextModuleOnTheSamePort) {
    bootsim::RunnerOptions socket;
    // The modules are changed as slowly as an operator does it: the station
    // must see the first one gone before the second comes.
    static_assert(bootsim::DefaultModuleChangeGap > RemovalPeriod);
    socket.modules = 2;
    bootsim::SimRunner modules(bootsim::SimConfig{}, socket);
    ASSERT_EQ(modules.mapPort(DevicePort), "");
    modules.start();
    StationWindow w(HostPlatform(), StationSettingsFor(MainIdentity), {DevicePort});
    w.show();
    Click(w.repeat);
    ASSERT_TRUE(w.repeat->isChecked());

    Click(w.cell(0).start);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.cell(0).counter->text() == "2 done, 0 failed"; }, WholeRunsMs))
        << w.cell(0).counter->text().toStdString();
    EXPECT_TRUE(w.cell(0).running) << "the port stopped after a module";
    ASSERT_EQ(modules.modulesPutOn(), 2);
    for (int k = 0; k < 2; ++k) ExpectProgrammed(modules.module(k).flash());
    Click(w.cell(0).stop);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.anyRunning(); }, WholeRunsMs));
    EXPECT_EQ(w.totals->text(), "2 done, 0 failed");
}

TEST(StationPorts, AreComNamesOrDevicePathsEachOnce) {
    TempConfigDir config;
    const StationPorts named = StationPortsOf(HostPlatform(), {"com7", "COM9", "COM7"});
    EXPECT_EQ(named.error, "");
    EXPECT_EQ(named.portIndexes, (std::vector<int>{DevicePort, OtherPort}));

    const StationPorts bad = StationPortsOf(HostPlatform(), {"COM7", "ttyUSB0"});
    EXPECT_NE(bad.error.find("'ttyUSB0' is neither a port name"), std::string::npos) << bad.error;
}

}  // namespace
}  // namespace torvane::test
