// Two updaters in one process, each with its own context, port and simulated
// module: what a production station does with several ports at once.

#include <algorithm>
#include <thread>

#include "RunFixture.h"

using namespace torvane;
using namespace torvane::test;
using Bytes = std::vector<std::uint8_t>;

namespace {

// One port of the station: a module on it and an updater for it.
struct Station {
    explicit Station(int portIndex, std::uint8_t chip) : port(portIndex) {
        bootsim::SimConfig module;
        module.chip = chip;
        sim = std::make_unique<bootsim::SimRunner>(module);
        const auto why = sim->mapPort(port);
        if (!why.empty()) throw std::runtime_error(why);
        sim->start();
        WireRun(ctx, {.ports = ports, .pump = pump, .host = &box});
        ctx.presenter.main = main.view();
        ctx.front().SetUp(std::to_string(port), NoTags);
    }
    ~Station() { ClosePortsOnExit(ctx); }

    // The module's flash holds the image past the boot jump, and the jump.
    void ExpectProgrammed(const Bytes& plain, const Bytes& jump) {
        SCOPED_TRACE(ComName(port));
        EXPECT_EQ(ctx.outcome, Outcome::Programmed) << main.Label2.caption();
        const Bytes flash = sim->flash();
        ASSERT_GE(flash.size(), plain.size());
        EXPECT_TRUE(std::equal(plain.begin() + static_cast<long>(jump.size()), plain.end(),
                               flash.begin() + static_cast<long>(jump.size())));
        EXPECT_TRUE(std::equal(jump.begin(), jump.end(), flash.begin()));
    }

    // The image this run programmed: its own copy, with its jump patched in.
    const std::uint8_t* ImageCopy() const {
        const auto& images = ctx.images;
        const auto copy = std::find_if(images.patched.begin(), images.patched.end(),
                                       [&](const PatchedBytes& p) { return p.bytes.data() == images.active.data; });
        return copy == images.patched.end() ? nullptr : copy->bytes.data();
    }

    int port;
    std::unique_ptr<bootsim::SimRunner> sim;
    posix::PosixSerialPorts ports;
    RecordingBox box;
    ScriptedPump pump{HostPlatform().clock()};
    HeadlessMainWindow main;
    FrontEndContext ctx;
};

// The jumps of the two runs are alike, so their flash alone would not tell
// one shared copy of the image from two: the buffers must differ as well.
void ExpectCopiesOfTheirOwn(const Station& a, const Station& b) {
    ASSERT_NE(a.ImageCopy(), nullptr) << "the first run programmed no copy of its own";
    ASSERT_NE(b.ImageCopy(), nullptr) << "the second run programmed no copy of its own";
    EXPECT_NE(a.ImageCopy(), b.ImageCopy());
}

// 252 and 254 take the same image (slot 6): both runs patch their boot jump
// into it, each into its own copy.
TEST(TwoModules, AreProgrammedOneAfterTheOtherAndAtTheSameTime) {
    TempConfigDir config;
    const Bytes plain = PlainImage("kbv7e-33fj64.hex");
    const Bytes jump{0x00, 0xA8, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00};
    {
        Station a(6, 252), b(7, 254);
        a.ctx.front().StartClick();
        b.ctx.front().StartClick();
        a.ExpectProgrammed(plain, jump);
        b.ExpectProgrammed(plain, jump);
        ExpectCopiesOfTheirOwn(a, b);
    }
    {
        Station a(6, 252), b(7, 254);
        std::thread first([&] { a.ctx.front().StartClick(); });
        std::thread second([&] { b.ctx.front().StartClick(); });
        first.join();
        second.join();
        a.ExpectProgrammed(plain, jump);
        b.ExpectProgrammed(plain, jump);
        ExpectCopiesOfTheirOwn(a, b);
    }
}

}  // namespace
