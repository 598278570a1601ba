// torvane-screenshots: the pictures of the technicians' guide, as PNG files,
// taken from real runs against the simulated boot loader. Each of the three
// windows idle, busy programming, with its verdict of success and with a
// failure and its reason; the compact and START/STOP windows also with a port
// that cannot be used; the port dialog listing the simulated port; the
// version list; the station window busy with two modules and with their
// verdicts.
//
// usage: torvane-screenshots <folder>

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTest>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "GuiFixture.h"
#include "platform/posix/PortMap.h"
#include "platform/posix/SettingsFile.h"
#include "qt/StationWindow.h"

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

// An adapter that is not plugged in, as a technician would meet one: a
// /dev/ttyUSBn this machine does not have, or a path in `scratch` where it
// has them all.
std::filesystem::path MissingAdapter(const std::filesystem::path& scratch) {
    for (int n = 3; n < 10; ++n) {
        const std::filesystem::path device = "/dev/ttyUSB" + std::to_string(n);
        std::error_code ignored;
        if (!std::filesystem::exists(std::filesystem::symlink_status(device, ignored))) return device;
    }
    return scratch / "dev" / "ttyUSB3";
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
        const auto RememberPort = [](int port) {
            posix::SettingsFile file;
            SettingsStore store{file, {}};
            for (BrandIndex b : {BrandMain, BrandUpgrade, BrandLoader})
                WriteSetting(store, PortSettingName, std::to_string(port), b);
        };
        // A module mapped to COM7, in place of the one before it.
        std::unique_ptr<bootsim::SimRunner> sim;
        const auto Module = [&](bootsim::SimConfig device) -> bootsim::SimRunner& {
            sim.reset();
            sim = std::make_unique<bootsim::SimRunner>(std::move(device));
            if (const std::string failure = sim->mapPort(DevicePort); !failure.empty())
                throw std::runtime_error("cannot map the simulated device: " + failure);
            sim->start();
            return *sim;
        };
        const auto Refusing = [] {
            bootsim::SimConfig c;
            c.faults.refuseNext = 1000;
            return c;
        };
        const auto OtherBoard = [] {
            bootsim::SimConfig c;
            c.hardware = 5;
            return c;
        };
        // A remembered port whose device has gone: the verdict and, beside
        // it, why and what to do.
        if (const std::string failure = posix::MapPort(GonePort, MissingAdapter(config.path())); !failure.empty())
            throw std::runtime_error("cannot map the missing device: " + failure);
        // The window reads the remembered port as it is built.
        const auto PortUnusable = [&](const std::string& identity, const char* name) {
            RememberPort(GonePort);
            GuiSession s(Options(identity));
            FrontEndWindow& w = s.frontWindow();
            w.show();
            StartButton(s).widget()->click();
            Save(w, name);
            RememberPort(DevicePort);
        };
        RememberPort(DevicePort);

        {
            GuiSession s(Options(MainIdentity));
            TForm1& w = s.mainWindow();
            w.show();
            Save(w, "main-window-idle");
            RunAndCatch(w.Button1.widget(), Module({}), 60, [&] { Save(w, "main-window-busy"); });
            Save(w, "main-window-success");
            w.S1->trigger();
            Save(s.portDialog(), "port-dialog");
            s.portDialog().hide();
            QTest::mouseDClick(w.Label1.widget(), Qt::LeftButton);
            Save(s.versionDialog(), "version-dialog");
            s.versionDialog().hide();
            Module(OtherBoard());
            w.Button1.widget()->click();
            Save(w, "main-window-failure");
        }
        {
            GuiSession s(Options(LoaderIdentity));
            TForm6& w = *s.loaderWindow();
            w.show();
            Save(w, "loader-window-idle");
            RunAndCatch(w.Button1.widget(), Module({}), 60, [&] { Save(w, "loader-window-busy"); });
            Save(w, "loader-window-success");
            Module(Refusing());
            w.Button1.widget()->click();
            Save(w, "loader-window-failure");
        }
        PortUnusable(LoaderIdentity, "loader-window-port-unusable");
        {
            GuiSession s(Options(UpgradeIdentity));
            TForm5& w = *s.upgradeWindow();
            w.show();
            Save(w, "upgrade-window-idle");
            RunAndCatch(w.Button1.widget(), Module({}), 60, [&] { Save(w, "upgrade-window-busy"); });
            Save(w, "upgrade-window-success");
            Module(OtherBoard());
            w.Button1.widget()->click();
            Save(w, "upgrade-window-failure");
        }
        PortUnusable(UpgradeIdentity, "upgrade-window-port-unusable");
        {
            // Modules that answer late, so that the picture catches both busy.
            bootsim::SimFaults late;
            late.lateMs = StationLateMs;
            bootsim::SimConfig lateModule;
            lateModule.faults = late;
            Module(lateModule);
            bootsim::SimRunner second{lateModule};
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
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "torvane-screenshots: %s\n", e.what());
        return ExitFailure;
    }
    return g_failures == 0 ? ExitOk : ExitFailure;
}
