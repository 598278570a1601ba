#include <algorithm>
#include <chrono>

#include "RunFixture.h"
#include "bootloader/Frames.h"
#include "images/Scramble.h"

using namespace torvane;
using namespace torvane::test;
using bootsim::FrameKind;
using bootsim::SimConfig;
using Bytes = std::vector<std::uint8_t>;

namespace {

SimConfig Module(std::uint8_t chip, std::uint8_t version, std::uint8_t hardware, std::uint8_t preparation) {
    SimConfig c;
    c.chip = chip;
    c.version = version;
    c.hardware = hardware;
    c.preparation = preparation;
    return c;
}

Bytes Slice(const Bytes& b, std::size_t from, std::size_t count) {
    return Bytes(b.begin() + static_cast<long>(from), b.begin() + static_cast<long>(from + count));
}

struct ImageCase {
    const char* name;
    SimConfig module;
    const char* hex;
    const char* tail;
    std::size_t bootJumpBytes;
    Bytes bootJump;
    std::size_t finalRowOffset;  // byte offset of the final block's row in flash
    std::size_t rowBytes;
    Bytes expectedTail;          // as the device must hold it
};

void PrintTo(const ImageCase& c, std::ostream* os) { *os << c.name; }

class ProductImages : public RunFixture, public ::testing::WithParamInterface<ImageCase> {};

TEST_P(ProductImages, LandInFlashAsThePlainImage) {
    const auto& c = GetParam();
    Start(c.module);
    Press();
    ASSERT_EQ(ctx->outcome, Outcome::Programmed) << main.Label2.caption();
    EXPECT_EQ(main.Label2.caption(), " Program Ok ");
    EXPECT_EQ(main.Label2.background(), ClGreen);
    EXPECT_EQ(main.Label2.fontColour(), ClWhite);

    const Bytes plain = PlainImage(c.hex);
    const Bytes flash = sim->flash();
    ASSERT_GE(flash.size(), c.finalRowOffset + c.rowBytes);
    // Every image byte past the boot jump is in flash as the compiler made it.
    EXPECT_EQ(Slice(flash, c.bootJumpBytes, plain.size() - c.bootJumpBytes),
              Slice(plain, c.bootJumpBytes, plain.size() - c.bootJumpBytes));
    EXPECT_EQ(Slice(flash, 0, c.bootJump.size()), c.bootJump);
    // Between the image and the final row nothing was written (pad bytes read erased).
    const auto gap = Slice(flash, plain.size(), c.finalRowOffset - plain.size());
    EXPECT_TRUE(std::all_of(gap.begin(), gap.end(), [](std::uint8_t b) { return b == 0xFF; }));
    // The final row: erased filler, then the tail bytes at its end.
    const Bytes row = Slice(flash, c.finalRowOffset, c.rowBytes);
    EXPECT_EQ(Slice(row, 0, c.rowBytes - c.expectedTail.size()), Bytes(c.rowBytes - c.expectedTail.size(), 0xFF));
    EXPECT_EQ(Slice(row, c.rowBytes - c.expectedTail.size(), c.expectedTail.size()), c.expectedTail);
    EXPECT_EQ(Count(FrameKind::EnterProgramming), 1);
}

INSTANTIATE_TEST_SUITE_P(
    EndToEnd, ProductImages,
    ::testing::Values(
        ImageCase{"Dspic252", Module(252, 10, 26, 0x84), "kbv7e-33fj64.hex", "kbv7e-33fj64.tail", 8,
                  {0x00, 0xA8, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00}, 0xA780 * 2, 256,
                  TailBytes("kbv7e-33fj64.tail")},
        ImageCase{"Pic24Hj254", Module(254, 10, 26, 0x84), "kbv7e-33fj64.hex", "kbv7e-33fj64.tail", 8,
                  {0x00, 0xA8, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00}, 0xA780 * 2, 256,
                  TailBytes("kbv7e-33fj64.tail")},
        // K80: the short last block is padded to a row, and the tail keeps
        // only its jump: bytes 4 on go out as 0.
        ImageCase{"K80Chip72", Module(72, 10, 12, 0x04), "kbv7e-26k80.hex", "kbv7e-26k80.tail", 4,
                  {0x40, 0xEF, 0x7F, 0xF0}, 0xFE40, 64, {0x90, 0xEF, 0x00, 0xF0, 0, 0, 0, 0}}),
    [](const auto& c) { return std::string(c.param.name); });

TEST_F(RunFixture, K80LastBlockIsPaddedToAFullRow) {
    Start(Module(72, 10, 12, 0x04));
    Press();
    ASSERT_EQ(ctx->outcome, Outcome::Programmed);
    const auto blocks = BlockAddresses();
    ASSERT_GE(blocks.size(), 2u);
    EXPECT_EQ(blocks[blocks.size() - 2], 0x6880u);  // 26781 bytes: the last block starts at 26752
    for (const auto& f : sim->frames()) {
        if (f.kind == FrameKind::Block && f.address == 0x6880) {
            EXPECT_EQ(f.length, 64u);
        }
    }
}

struct Refusal {
    const char* name;
    SimConfig module;
    const char* result;
    const char* devicePanel;
    Outcome outcome;
};

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }

class RefusedModules : public RunFixture, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RefusedModules, GetTheirVerdictAndNothingWritten) {
    Start(GetParam().module);
    Press();
    EXPECT_EQ(main.Label2.caption(), GetParam().result);
    EXPECT_EQ(main.Label2.background(), ClRed);
    EXPECT_EQ(main.StatusBar1.panelText(DevicePanel), std::string());  // recorded bar is the one written
    EXPECT_EQ(main.recorded.panelText(DevicePanel), GetParam().devicePanel);
    EXPECT_EQ(ctx->outcome, GetParam().outcome);
    EXPECT_EQ(Count(FrameKind::Block), 0);
    EXPECT_EQ(Count(FrameKind::EnterProgramming), 0);
    const Bytes flash = sim->flash();
    EXPECT_TRUE(std::all_of(flash.begin(), flash.end(), [](std::uint8_t b) { return b == 0xFF; }));
    EXPECT_TRUE(main.Button1.visible());
    EXPECT_FALSE(main.Button2.visible());
}

INSTANTIATE_TEST_SUITE_P(
    EndToEnd, RefusedModules,
    ::testing::Values(Refusal{"NoImageForChip", Module(66, 10, 26, 0x84), " No Hex inside !! ", "Warning", Outcome::NoImage},
                      Refusal{"UnknownChip", Module(100, 10, 26, 0x84), " Error !! ", "Unknow Device", Outcome::UnknownDevice},
                      Refusal{"Version33", Module(252, 33, 26, 0x84), " Incompatible Bootloader !! ", "", Outcome::Incompatible},
                      Refusal{"BoardNotSuitable", Module(252, 10, 5, 0x84), "27 - Preparation 84", "Warning!!", Outcome::NotSuitable}),
    [](const auto& c) { return std::string(c.param.name); });

TEST_F(RunFixture, Version4GetsNo204AndTheNarrowReservation) {
    // A PIC18 image of our own for chip 67, so an old boot loader can take it.
    Bytes data(3000, 0x5A), tail(8, 0x21), eeprom(3, 0x33);
    data[14] = data[15] = ScrambleByte(0);  // header codes 0: any board
    EmbeddedImage image{data.data(), 3000, tail.data(), 8, eeprom.data(), 3, 0, 0, 0};
    Start(Module(67, 4, 26, 0x84));
    BuildImageTable(ctx->images, std::vector<ProductCell>{{0, 1, &image}});
    Press();
    ASSERT_EQ(ctx->outcome, Outcome::Programmed) << main.Label2.caption();
    EXPECT_EQ(Count(FrameKind::EnterProgramming), 0);
    const auto blocks = BlockAddresses();
    EXPECT_EQ(blocks.back(), 0x7EC0u);  // 0x8000 - 320
    EXPECT_EQ(Count(FrameKind::Eeprom), 3);
    EXPECT_EQ(Slice(sim->eeprom(), 0, 3), Bytes(3, 0x33));
}

TEST_F(RunFixture, NoIdentityIsBoardTwoWithout204OrComparison) {
    SimConfig module = Module(252, 10, 5, 0x01);  // codes that would not suit
    module.identity = false;
    Start(module);
    Press();
    EXPECT_EQ(ctx->outcome, Outcome::Programmed) << main.Label2.caption();
    EXPECT_EQ(Count(FrameKind::EnterProgramming), 0);
    EXPECT_GT(Count(FrameKind::Block), 200);
}

TEST_F(RunFixture, DspicRecordRangeProtectsItsBlocks) {
    SimConfig module = Module(252, 10, 26, 0x84);
    module.recordRangeStart = 0x1000;
    module.recordRangeLength = 0x400;
    Start(module);
    Press();
    ASSERT_EQ(ctx->outcome, Outcome::Programmed);
    const auto blocks = BlockAddresses();
    for (std::uint32_t a = 0x0F80; a <= 0x1380; a += 0x80)
        EXPECT_EQ(std::count(blocks.begin(), blocks.end(), a), 0) << std::hex << a;
    EXPECT_EQ(std::count(blocks.begin(), blocks.end(), 0x0F00u), 1);
    EXPECT_EQ(std::count(blocks.begin(), blocks.end(), 0x1400u), 1);
    EXPECT_EQ(main.Label4.caption(), "TORVANE BOOTSIM");  // the release line shows the record text
    EXPECT_TRUE(main.Label4.visible());
}

TEST_F(RunFixture, NoDeviceMeansExactlyOneHundredWakeUps) {
    SimConfig module = Module(252, 10, 26, 0x84);
    module.faults.silent = true;
    Start(module);
    Press();
    EXPECT_EQ(sim->wakeBytesSeen(), 100);
    EXPECT_EQ(main.recorded.panelText(StatusPanel), "Device not Found");
    EXPECT_EQ(ctx->outcome, Outcome::NotFound);
    const auto texts = StatusTexts();
    EXPECT_EQ(std::count_if(texts.begin(), texts.end(), [](const std::string& t) { return t.rfind("Try ", 0) == 0; }), 100);
    EXPECT_TRUE(main.Button1.visible());
}

// Frames as the module numbers them: 1 the wake-up, 2 the 204, then the
// blocks; frame 10 is the eighth block, at 0x380.
constexpr int EighthBlockFrame = 10;
constexpr std::uint32_t EighthBlock = 0x380;
constexpr std::uint32_t DspicFinalBlock = 0xA780;

struct LostFrames {
    const char* name;
    std::vector<int> mute;          // frames the module never received
    std::vector<int> loseAnswer;    // frames written whose answer was lost
    const char* verdict;
    Outcome outcome;
};

void PrintTo(const LostFrames& c, std::ostream* os) { *os << c.name; }

class SilentBlocks : public RunFixture, public ::testing::WithParamInterface<LostFrames> {};

// A run says " Program Ok " only when every block it sent was acknowledged:
// an unanswered block is sent once more, and a second silence ends the run.
TEST_P(SilentBlocks, AreSentOnceMoreAndNeverPassedOver) {
    const auto& c = GetParam();
    SimConfig module = Module(252, 10, 26, 0x84);
    module.faults.mute = c.mute;
    module.faults.loseAnswer = c.loseAnswer;
    Start(module);
    Press();
    EXPECT_EQ(main.Label2.caption(), c.verdict);
    EXPECT_EQ(ctx->outcome, c.outcome);
    const auto blocks = BlockAddresses();
    EXPECT_EQ(std::count(blocks.begin(), blocks.end(), EighthBlock), 2);
    if (c.outcome == Outcome::Programmed) {
        const Bytes plain = PlainImage("kbv7e-33fj64.hex");
        const Bytes flash = sim->flash();
        EXPECT_EQ(Slice(flash, 8, plain.size() - 8), Slice(plain, 8, plain.size() - 8));
        EXPECT_EQ(blocks.back(), DspicFinalBlock);
    } else {
        EXPECT_EQ(blocks.size(), 9u);  // nothing after the second silence, no final block
        EXPECT_EQ(blocks.back(), EighthBlock);
        EXPECT_EQ(Count(FrameKind::Eeprom), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    EndToEnd, SilentBlocks,
    ::testing::Values(
        LostFrames{"FrameLostOnce", {EighthBlockFrame}, {}, " Program Ok ", Outcome::Programmed},
        LostFrames{"AnswerLostOnce", {}, {EighthBlockFrame}, " Program Ok ", Outcome::Programmed},
        LostFrames{"FrameLostTwice", {EighthBlockFrame, EighthBlockFrame + 1}, {}, " not Response ",
                   Outcome::NotAcknowledged},
        LostFrames{"AnswerLostTwice", {}, {EighthBlockFrame, EighthBlockFrame + 1}, " not Response ",
                   Outcome::NotAcknowledged}),
    [](const auto& c) { return std::string(c.param.name); });

// Stop pressed at any point of a run ends it with " User Abort !! " there:
// in the middle of the transfer, and where the run listens for no block's
// answer (the wait for the device record, and the wait after the 204 of a
// module that never answers it).
enum class StopPoint { TwentiethBlock, RecordPoll, Wait204 };

struct StopCase {
    const char* name;
    StopPoint at;
    SimConfig module;
    bootsim::RunnerOptions line;
    int maxBlocks;     // blocks the module may still have received
    bool programming;  // the run got as far as the 204
};

void PrintTo(const StopCase& c, std::ostream* os) { *os << c.name; }

class StopPressed : public RunFixture, public ::testing::WithParamInterface<StopCase> {
protected:
    bool Reached(StopPoint at) const {
        switch (at) {
        case StopPoint::TwentiethBlock: return Count(FrameKind::Block) >= 20;
        case StopPoint::RecordPoll: return ctx->receiver.recordState != 0;
        case StopPoint::Wait204: return Count(FrameKind::EnterProgramming) > 0;
        }
        return false;
    }
};

TEST_P(StopPressed, EndsTheRunWithUserAbortThere) {
    const StopCase& c = GetParam();
    Start(c.module, FrontEnd::MainWindow, c.line);
    pump.onStep = [this, &c](int) {
        if (main.Button2.visible() && Reached(c.at)) ctx->front().StopClick();
    };
    Press();
    EXPECT_EQ(main.Label2.caption(), " User Abort !! ");
    EXPECT_EQ(ctx->outcome, Outcome::Aborted);
    EXPECT_LE(Count(FrameKind::Block), c.maxBlocks);
    EXPECT_EQ(Count(FrameKind::EnterProgramming) > 0, c.programming);
    EXPECT_TRUE(main.Button1.visible());
    EXPECT_FALSE(main.Button2.visible());
}

SimConfig Silent204() {
    SimConfig module = Module(252, 10, 26, 0x84);
    module.faults.mute = {2};  // a module that does not answer 204
    return module;
}

INSTANTIATE_TEST_SUITE_P(
    EndToEnd, StopPressed,
    ::testing::Values(
        StopCase{"InTheMiddleOfTheTransfer", StopPoint::TwentiethBlock, Module(252, 10, 26, 0x84), {}, 29, true},
        // At 2400 baud the record takes about 140 ms to arrive after the wake-up's 'K'.
        StopCase{"DuringTheRecordPoll", StopPoint::RecordPoll, Module(252, 10, 26, 0x84), bootsim::RunnerOptions{2400},
                 0, false},
        StopCase{"DuringThe204Wait", StopPoint::Wait204, Silent204(), {}, 1, true}),
    [](const auto& c) { return std::string(c.param.name); });

TEST_F(RunFixture, SilenceOnTheLastBlockAndItsResendIsFatal) {
    // 57,592 bytes in 256-byte rows: 225 blocks, so frames 3..227; 227 is the
    // last, and 228 its one resend.
    SimConfig module = Module(252, 10, 26, 0x84);
    module.faults.mute = {227, 228};
    Start(module);
    Press();
    EXPECT_EQ(main.Label2.caption(), " not Response ");
    EXPECT_EQ(ctx->outcome, Outcome::NotAcknowledged);
    const auto blocks = BlockAddresses();
    ASSERT_GE(blocks.size(), 2u);
    EXPECT_EQ(blocks.back(), 0x7000u);  // no final block after it
    EXPECT_EQ(blocks[blocks.size() - 2], 0x7000u);
}

TEST_F(RunFixture, AModuleUnpluggedMidTransferEndsTheRunAtOnce) {
    SimConfig module = Module(252, 10, 26, 0x84);
    module.faults.hangUpAfter = 30;
    Start(module);
    const auto before = std::chrono::steady_clock::now();
    Press();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(30));  // not 2 s for each block left
    EXPECT_EQ(main.Label2.caption(), " not Response ");
    EXPECT_EQ(main.recorded.panelText(DetailPanel), "the device was disconnected");
    EXPECT_EQ(ctx->outcome, Outcome::NotAcknowledged);
    EXPECT_TRUE(main.Button1.visible());
}

TEST_F(RunFixture, SequenceModeRepeatsUntilNothingIsPending) {
    Start(Module(252, 10, 26, 0x84), FrontEnd::UpgradeWindow);
    ASSERT_TRUE(SequenceModeFor("KBV KEW 1.0"));
    ctx->SequenceMode = 1;
    // The operator takes the programmed module off once it has been told so
    // (the access frames) and puts a K80 module on the same port.
    auto k80 = std::unique_ptr<bootsim::SimRunner>();
    pump.onStep = [&](int) {
        if (!k80 && Count(FrameKind::Command4) > 0) {
            SimConfig next = Module(72, 10, 12, 0x04);
            k80 = std::make_unique<bootsim::SimRunner>(next);
            ASSERT_EQ(k80->mapPort(ModulePort), "");
            k80->start();
        }
    };
    Press();
    EXPECT_EQ(Count(FrameKind::AccessText), 1);
    EXPECT_EQ(Count(FrameKind::Command4), 1);
    ASSERT_TRUE(k80);
    EXPECT_EQ(PendingCount(ctx->images), 0);
    EXPECT_EQ(upgrade->StatusBar1.panelText(StatusPanel), "Program OK");
    EXPECT_EQ(upgrade->ProgressBar2.maximum(), 3);
    EXPECT_EQ(upgrade->ProgressBar2.position(), 3);

    // START again: both pending once more. The K80 module is still on the
    // line: programmed, then found again (a one-second pause), then the
    // operator puts the dsPIC module back and the sequence ends.
    const int wakesBefore = k80->wakeBytesSeen();
    const auto firstFrames = k80->frames();
    const auto blocksBefore = std::count_if(firstFrames.begin(), firstFrames.end(),
                                            [](const auto& f) { return f.kind == FrameKind::Block; });
    std::unique_ptr<bootsim::SimRunner> ds;
    // Swapped once the K80 has been found again: the updater keeps the line
    // it has open until its next search, after the pause.
    pump.onStep = [&](int) {
        if (!ds && k80->wakeBytesSeen() >= wakesBefore + 2) ds = StartModule(Module(252, 10, 26, 0x84));
    };
    const auto before = std::chrono::steady_clock::now();
    Press();
    ASSERT_TRUE(ds);
    const auto k80Frames = k80->frames();
    const auto k80Blocks = std::count_if(k80Frames.begin(), k80Frames.end(), [](const auto& f) { return f.kind == FrameKind::Block; });
    EXPECT_EQ(k80->wakeBytesSeen(), wakesBefore + 2);  // found twice ...
    EXPECT_EQ(k80Blocks, 2 * blocksBefore);             // ... programmed once
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(1000 + 2000));
    const auto dsFrames = ds->frames();
    EXPECT_GT(std::count_if(dsFrames.begin(), dsFrames.end(), [](const auto& f) { return f.kind == FrameKind::Block; }), 200);
    EXPECT_EQ(PendingCount(ctx->images), 0);
    EXPECT_EQ(upgrade->StatusBar1.panelText(StatusPanel), "Program OK");
}

}  // namespace
