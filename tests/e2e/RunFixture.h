#pragma once
// One updater and one simulated module on a real pseudo-terminal, mapped to
// COM7 in a fresh configuration folder. The updater runs in the test's thread
// with the real POSIX serial device; the module answers from its own thread.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>

#include "RecordingStatusBar.h"
#include "ScriptedPump.h"
#include "TempConfigDir.h"
#include "ui/FrontEndContext.h"
#include "images/ImageTable.h"
#include "platform/Platform.h"
#include "platform/posix/PosixSerial.h"
#include "tools/bootsim/SimRunner.h"
#include "tools/mkimage/ProductPacker.h"
#include "ui/FrontEnds.h"

namespace torvane::test {

inline constexpr int ModulePort = 6;  // COM7
// A product identity without tags: no wake-up variant, no sequence mode.
inline constexpr std::string_view NoTags = "";

inline std::string ProductImageFile(const std::string& name, std::string& path) {
    path = (std::filesystem::path(TORVANE_SOURCE_DIR) / "product" / "images" / name).string();
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The plain firmware of a product image, as its HEX file holds it.
inline std::vector<std::uint8_t> PlainImage(const std::string& hexName) {
    std::string path;
    const std::string text = ProductImageFile(hexName, path);
    return mkimage::ParseIntelHex(text, path);
}

inline std::vector<std::uint8_t> TailBytes(const std::string& name) {
    std::string path;
    const std::string text = ProductImageFile(name, path);
    return mkimage::ParseByteList(text, path);
}

class RecordingBox : public MessageBoxHost {
public:
    int ShowMessageBox(std::string_view text, std::string_view, unsigned) override {
        shown.emplace_back(text);
        return 1;
    }
    std::vector<std::string> shown;
};

// The main window with a status bar that keeps every write.
struct RecordingMainWindow : HeadlessMainWindow {
    RecordingStatusBar recorded{4};
    MainWindowView view() {
        auto v = HeadlessMainWindow::view();
        v.StatusBar1 = &recorded;
        return v;
    }
};

class RunFixture : public ::testing::Test {
protected:
    TempConfigDir config;
    posix::PosixSerialPorts ports;
    RecordingBox box;
    ScriptedPump pump{HostPlatform().clock()};
    RecordingMainWindow main;
    std::optional<HeadlessLoaderWindow> loader;
    std::optional<HeadlessUpgradeWindow> upgrade;
    std::optional<FrontEndContext> ctx;  // made by Start, for its front end
    std::unique_ptr<bootsim::SimRunner> sim;

    // Starts a module and builds an updater of the given front end, as its
    // window's construction would, with this build's product.
    void Start(bootsim::SimConfig module, FrontEnd front = FrontEnd::MainWindow, bootsim::RunnerOptions line = {}) {
        sim = StartModule(std::move(module), line);
        ctx.emplace(front);
        WireRun(*ctx, {.ports = ports, .pump = pump, .host = &box});
        ctx->presenter.main = main.view();
        if (front == FrontEnd::LoaderWindow) ctx->presenter.loader = loader.emplace().view();
        if (front == FrontEnd::UpgradeWindow) ctx->presenter.upgrade = upgrade.emplace().view();
        ctx->front().SetUp(std::to_string(ModulePort), NoTags);
    }

    static std::unique_ptr<bootsim::SimRunner> StartModule(bootsim::SimConfig module, bootsim::RunnerOptions line = {}) {
        auto s = std::make_unique<bootsim::SimRunner>(std::move(module), line);
        const auto why = s->mapPort(ModulePort);
        if (!why.empty()) throw std::runtime_error(why);
        s->start();
        return s;
    }

    // The start button of the front end.
    void Press() { ctx->front().StartClick(); }

    int Count(bootsim::FrameKind kind) const {
        int n = 0;
        for (const auto& f : sim->frames()) n += f.kind == kind;
        return n;
    }

    std::vector<std::uint32_t> BlockAddresses() const {
        std::vector<std::uint32_t> a;
        for (const auto& f : sim->frames())
            if (f.kind == bootsim::FrameKind::Block) a.push_back(f.address);
        return a;
    }

    std::vector<std::string> StatusTexts() const {
        std::vector<std::string> t;
        for (const auto& [i, text] : main.recorded.writes)
            if (i == StatusPanel) t.push_back(text);
        return t;
    }
};

}  // namespace torvane::test
