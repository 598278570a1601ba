// Acknowledged transmission over a real pseudo-terminal, the simulated
// module at the far end.

#include <chrono>

#include "RunFixture.h"
#include "bootloader/DeviceSearch.h"
#include "bootloader/AckedLink.h"
#include "bootloader/Frames.h"

using namespace torvane;
using namespace torvane::test;
using bootsim::FrameKind;
using Bytes = std::vector<std::uint8_t>;

namespace {

class LinkFixture : public RunFixture {
protected:
    // A found module, ready for frames; returns a full block frame.
    std::span<const std::uint8_t> Ready(bootsim::SimFaults faults) {
        Start({});
        EXPECT_EQ(SearchDevice(*ctx), SearchFound);
        sim->setFaults(faults);
        const Bytes row(256, 0x42);
        const int n = BuildBlockFrame(ctx->FrameBuffer, 0x0100, 256, row);
        return std::span(ctx->FrameBuffer).first(static_cast<std::size_t>(n));
    }
    std::vector<Bytes> Blocks() const {
        std::vector<Bytes> b;
        for (const auto& f : sim->frames())
            if (f.kind == FrameKind::Block) b.push_back(f.bytes);
        return b;
    }
};

TEST_F(LinkFixture, FiveRefusalsMeanFiveIdenticalWritesThenChkError) {
    bootsim::SimFaults f;
    f.refuseNext = 5;
    const auto frame = Ready(f);
    EXPECT_EQ(AckedLink(*ctx).send(frame), SendRefused);
    const auto blocks = Blocks();
    ASSERT_EQ(blocks.size(), 5u);
    for (const auto& b : blocks) EXPECT_EQ(b, blocks[0]);
    EXPECT_EQ(StatusTexts().back(), "Resend 4");
    std::vector<std::string> resends;
    for (const auto& t : StatusTexts())
        if (t.rfind("Resend", 0) == 0) resends.push_back(t);
    EXPECT_EQ(resends, (std::vector<std::string>{"Resend 0", "Resend 1", "Resend 2", "Resend 3", "Resend 4"}));
}

TEST_F(LinkFixture, ARefusalThenAnAcknowledgementIsTwoWrites) {
    bootsim::SimFaults f;
    f.refuseNext = 1;
    const auto frame = Ready(f);
    EXPECT_EQ(AckedLink(*ctx).send(frame), SendOk);
    EXPECT_EQ(Blocks().size(), 2u);
}

TEST_F(LinkFixture, SilenceIsNoResponseAfterTheResendsFullWait) {
    bootsim::SimFaults f;
    f.silent = true;
    const auto frame = Ready(f);
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(AckedLink(*ctx).send(frame), SendNoResponse);
    EXPECT_GE(std::chrono::steady_clock::now() - before, 2 * AckTimeout);
    EXPECT_EQ(Blocks().size(), 1u + SilentFrameResends);
}

TEST_F(LinkFixture, StopDuringTheWaitIsUserAbort) {
    bootsim::SimFaults f;
    f.silent = true;
    const auto frame = Ready(f);
    pump.onStep = [this](int step) {
        if (step == 40) ctx->front().StopClick();
    };
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(AckedLink(*ctx).send(frame), SendUserAbort);
    EXPECT_LT(std::chrono::steady_clock::now() - before, AckTimeout);
}

TEST_F(LinkFixture, APortThatIsOpenCannotBeOpenedAgain) {
    Start({});
    ReopenPort(*ctx);
    ASSERT_EQ(FlushPort(ctx->port, ModulePort), PortUsable);
    posix::PosixSerialPorts other;
    const auto second = other.open(ModulePort);
    EXPECT_EQ(second.device, nullptr);
    EXPECT_NE(second.reason.find("in use"), std::string::npos) << second.reason;
}

TEST_F(LinkFixture, ChoosingAnotherPortAfterARunReleasesTheFirst) {
    Start({});
    ctx->front().StartClick();
    ASSERT_EQ(ctx->outcome, Outcome::Programmed) << main.Label2.caption();
    ctx->port.CurrentPort = 0;  // COM1, as the port dialog sets it
    ReopenPort(*ctx);
    posix::PosixSerialPorts other;
    const auto second = other.open(ModulePort);
    EXPECT_NE(second.device, nullptr) << second.reason;
}

TEST_F(LinkFixture, AnUnmappedPortIsInvalidWithItsReasonBeside) {
    Start({});
    ctx->port.CurrentPort = 199;  // COM200: no device behind it
    EXPECT_EQ(SearchDevice(*ctx), SearchPortUnusable);
    EXPECT_EQ(main.Label2.caption(), "Invalid Port Com");
    EXPECT_NE(main.recorded.panelText(DetailPanel).find("COM200"), std::string::npos);
    EXPECT_EQ(ctx->outcome, Outcome::PortUnusable);
    EXPECT_EQ(sim->wakeBytesSeen(), 0);
}

TEST_F(LinkFixture, TheUpgradeWindowKeepsTheReasonBesideItsVerdict) {
    Start({}, FrontEnd::UpgradeWindow);
    ctx->port.CurrentPort = 199;
    ctx->front().StartClick();
    EXPECT_EQ(upgrade->StatusBar1.panelText(StatusPanel), "Invalid Port Com");
    EXPECT_NE(upgrade->StatusBar1.panelText(DetailPanel).find("COM200"), std::string::npos);
}

}  // namespace
