// torvane-screenshots: PNG pictures of the five windows, taken from real
// runs against the simulated boot loader: the MainWindow with its verdict,
// the LoaderWindow busy programming, the UpgradeWindow busy and with its
// verdict, both with a port that cannot be used, the port dialog listing the
// simulated port, the version list, and the station window busy with two
// modules and with their verdicts.
//
// usage: torvane-screenshots <folder>

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTest>

#include <cstdio>
#include <memory>
#include <string>

#include "GuiFixture.h"
#include "platform/posix/PortMap.h"
#include "platform/posix/SettingsFile.h"
#include "ui/qt/StationWindow.h"

namespace {

using namespace torvane;
using namespace torvane::test;

constexpr int ExitOk = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;
constexpr int GonePort = 3;  // COM4, mapped to a device that is not there
constexpr int SecondPort = 8;  // COM9, the station's second module
constexpr int StationRunsMs = 60000;
constexpr int StationLateMs = 3;  // each answer of the station's modules

QDir g_out;
int g_failures = 0;

void Save(QWidget& w, const char* name) {
    const QString path = g_out.filePath(QString::fromLatin1(name) + ".png");
    if (w.grab().save(path)) {
        std::printf("%s\n", qPrintable(path));
    } else {
        std::fprintf(stderr, "torvane-screenshots: cannot write %s\n", qPrintable(path));
        ++g_failures;
    }
}

GuiOptions Options(const std::string& identity) {
    GuiOptions o;
    o.identity = identity;
    o.buildDate = BuildDate();
    o.buildTime = BuildTime();
    return o;
}

std::size_t BlocksReceived(const bootsim::SimRunner& sim) {
    std::size_t n = 0;
    for (const auto& f : sim.frames())
        if (f.kind == bootsim::FrameKind::Block) ++n;
    return n;
}

// Clicks `start`; once the device has taken `blocks` more blocks, `busy` runs.
void RunAndCatch(QPushButton* start, bootsim::SimRunner& sim, std::size_t blocks, const std::function<void()>& busy) {
    const std::size_t before = BlocksReceived(sim);
    When during([&] { return BlocksReceived(sim) >= before + blocks; }, busy);
    start->click();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: torvane-screenshots <folder>\n");
        return ExitUsage;
    }
    g_out = QDir(QString::fromLocal8Bit(argv[1]));
    if (!g_out.mkpath(".")) {
        std::fprintf(stderr, "torvane-screenshots: cannot create %s\n", argv[1]);
        return ExitFailure;
    }
    try {
        TempConfigDir config;
        const auto RememberPort = [](const std::string& port) {
            posix::SettingsFile file;
            SettingsStore store{file, {}};
            for (BrandIndex b : {BrandMain, BrandUpgrade, BrandLoader}) WriteSetting(store, PortSettingName, port, b);
        };
        RememberPort(std::to_string(DevicePort));
        bootsim::SimRunner sim{bootsim::SimConfig{}};
        if (const std::string failure = sim.mapPort(DevicePort); !failure.empty())
            throw std::runtime_error("cannot map the simulated device: " + failure);
        sim.start();

        {
            GuiSession s(Options(MainIdentity));
            TForm1& w = s.mainWindow();
            w.show();
            w.Button1.widget()->click();
            Save(w, "main-window-verdict");
            w.S1->trigger();
            Save(s.portDialog(), "port-dialog");
            s.portDialog().hide();
            QTest::mouseDClick(w.Label1.widget(), Qt::LeftButton);
            Save(s.versionDialog(), "version-dialog");
        }
        {
            GuiSession s(Options("TOLVA 1.2"));
            TForm6& w = *s.loaderWindow();
            w.show();
            RunAndCatch(w.Button1.widget(), sim, 60, [&] { Save(w, "loader-window-busy"); });
            Save(w, "loader-window-verdict");
        }
        {
            GuiSession s(Options(UpgradeIdentity));
            TForm5& w = *s.upgradeWindow();
            w.show();
            RunAndCatch(w.Button1.widget(), sim, 60, [&] { Save(w, "upgrade-window-busy"); });
            Save(w, "upgrade-window-verdict");
        }

        {
            // Modules that answer late, so that the picture catches both busy.
            bootsim::SimFaults late;
            late.lateMs = StationLateMs;
            sim.setFaults(late);
            bootsim::SimConfig secondModule;
            secondModule.faults = late;
            bootsim::SimRunner second{secondModule};
            if (const std::string failure = second.mapPort(SecondPort); !failure.empty())
                throw std::runtime_error("cannot map the second simulated device: " + failure);
            second.start();
            StationWindow w(HostPlatform(), StationSettingsFor(MainIdentity), {DevicePort, SecondPort});
            w.show();
            w.startAll->click();
            if (!QTest::qWaitFor([&] { return BlocksReceived(second) >= 60; }, StationRunsMs))
                throw std::runtime_error("the station's second module took no blocks");
            Save(w, "station-window-busy");
            if (!QTest::qWaitFor([&] { return !w.anyRunning(); }, StationRunsMs))
                throw std::runtime_error("the station's runs did not end");
            Save(w, "station-window-verdict");
            sim.setFaults({});
        }

        // A remembered port whose device has gone: the verdict and, beside
        // it, why and what to do.
        if (const std::string failure = posix::MapPort(GonePort, config.path() / "dev" / "ttyUSB3"); !failure.empty())
            throw std::runtime_error("cannot map the missing device: " + failure);
        RememberPort(std::to_string(GonePort));
        for (const auto& [identity, name] : {std::pair<std::string, const char*>{"TOLVA 1.2", "loader-window-port-unusable"},
                                             {UpgradeIdentity, "upgrade-window-port-unusable"}}) {
            GuiSession s(Options(identity));
            FrontEndWindow& w = s.frontWindow();
            w.show();
            StartButton(s).widget()->click();
            Save(w, name);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "torvane-screenshots: %s\n", e.what());
        return ExitFailure;
    }
    return g_failures == 0 ? ExitOk : ExitFailure;
}
