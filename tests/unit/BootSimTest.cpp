// The simulated boot loader: its answers, where written data lands, the rules
// it enforces, the faults it injects, the check of its memory after an
// update, and the runner on a real pseudo-terminal.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <numeric>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "TempConfigDir.h"
#include "bootloader/ReplyDecoder.h"
#include "images/ProductData.h"
#include "tools/mkimage/ProductPacker.h"
#include "platform/posix/PortMap.h"
#include "tools/bootsim/ImageCheck.h"
#include "tools/bootsim/SimRunner.h"

namespace torvane::bootsim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

constexpr std::uint8_t Key = 0x5A;

Bytes WithChecksum(Bytes frame) {
    const int sum = std::accumulate(frame.begin(), frame.end(), 0);
    frame.push_back(static_cast<std::uint8_t>(-sum));
    return frame;
}

// A block frame as the updater builds it: the length field is one byte for
// 64-byte rows and two (high first) for 256-byte rows.
Bytes BlockFrame(std::uint32_t address, std::uint32_t rowBytes, const Bytes& data) {
    Bytes f{static_cast<std::uint8_t>(address >> 16), static_cast<std::uint8_t>(address >> 8),
            static_cast<std::uint8_t>(address)};
    if (rowBytes > 255) f.push_back(static_cast<std::uint8_t>(data.size() >> 8));
    f.push_back(static_cast<std::uint8_t>(data.size()));
    f.insert(f.end(), data.begin(), data.end());
    return WithChecksum(f);
}

Bytes EepromFrame(std::uint8_t index, std::uint8_t value) { return WithChecksum({0x40, index, value, 1, 0}); }

// Command, payload length, payload, then the 16-bit sum high byte first.
Bytes WithSum16(Bytes f) {
    const int sum = std::accumulate(f.begin(), f.end(), 0);
    f.push_back(static_cast<std::uint8_t>(sum >> 8));
    f.push_back(static_cast<std::uint8_t>(sum));
    return f;
}

Bytes AccessFrame(std::string text = AccessTextBytes) {
    Bytes f{0x00, 15};
    f.insert(f.end(), text.begin(), text.end());
    return WithSum16(f);
}

Bytes Pattern(std::size_t n, std::uint8_t seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed + i * 7);
    return b;
}

Bytes Scrambled(const Bytes& plain, std::uint8_t mask) {
    Bytes out = plain;
    for (auto& b : out) b ^= mask;
    return out;
}

SimConfig Pic18(std::uint8_t chip = 67, std::uint8_t version = 10) {
    SimConfig c;
    c.chip = chip;
    c.version = version;
    c.scrambleKey = Key;
    c.scrambleEnable = 1;
    return c;
}

SimConfig Dspic(std::uint8_t chip = 252) { return Pic18(chip, 10); }

BootSim Awake(SimConfig c) {
    BootSim sim(std::move(c));
    sim.feed(Bytes{WakeCode194});
    return sim;
}

bool Erased(const Bytes& b) {
    return std::all_of(b.begin(), b.end(), [](std::uint8_t x) { return x == ErasedByte; });
}

TEST(BootSim, AnswersAWakeUpWithItsIdentity) {
    Bytes record{'R', 28, 0x00};
    const std::string text = "KBV7E BOARD";
    record.insert(record.end(), text.begin(), text.end());
    record.resize(3 + 24, 0x00);
    record.insert(record.end(), {0x00, 0x10, 0x00, 0x04, 'K'});  // start 0x1000, length 0x400

    struct Case {
        const char* name;
        bool identity;
        std::uint8_t version;
        Bytes expected;
    };
    Bytes withRecord{'V', 10, 252, 26, 0x84, 'K'};
    withRecord.insert(withRecord.end(), record.begin(), record.end());
    const Case cases[] = {
        {"version 10 sends the record", true, 10, withRecord},
        {"version 5 sends no record", true, 5, {'V', 5, 252, 26, 0x84, 'K'}},
        {"version 32 sends no record", true, 32, {'V', 32, 252, 26, 0x84, 'K'}},
        {"no identity: chip code and K", false, 10, {252, 'K'}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimConfig cfg;
        cfg.identity = c.identity;
        cfg.version = c.version;
        cfg.recordText = text;
        cfg.recordRangeStart = 0x1000;
        cfg.recordRangeLength = 0x400;
        BootSim sim(cfg);
        EXPECT_EQ(sim.feed(Bytes{WakeCode197}), c.expected);
        EXPECT_TRUE(sim.awake());
    }
    EXPECT_THROW(BootSim([] {
                     SimConfig c;
                     c.recordText = std::string(25, 'x');
                     return c;
                 }()),
                 std::invalid_argument);
}

TEST(BootSim, TheUpdatersReceiverReadsItsIdentityAndRecord) {
    SimConfig cfg = Dspic(253);
    cfg.version = 31;
    cfg.recordText = "ABCDEFGHIJKLMNOPQRSTUVWX";  // the full 24
    cfg.recordRangeStart = 0x1234;
    cfg.recordRangeLength = 0x0480;
    BootSim sim(cfg);
    ReceiverState rx;
    DeviceIdentity id;
    for (std::uint8_t b : sim.feed(Bytes{WakeCode194})) FeedReplyByte(rx, id, b);
    EXPECT_EQ(id.biosVersion, 31);
    EXPECT_EQ(id.chipCode, 253);
    EXPECT_EQ(id.hardwareCode, 26);
    EXPECT_EQ(id.preparationCode, 0x84);
    EXPECT_EQ(id.identitySeen, 1);
    EXPECT_STREQ(id.recordText.data(), "ABCDEFGHIJKLMNOPQRSTUVWX");
    EXPECT_EQ(id.recordRangeStart, 0x1234);
    EXPECT_EQ(id.recordRangeLength, 0x0480);
    EXPECT_EQ(id.recordDone, 1);
    EXPECT_EQ(rx.recordState, RecordIdle);
}

TEST(BootSim, SleepsUntilOneOfItsWakeUpCodesAndRestartsOnAnother) {
    SimConfig cfg = Pic18();
    cfg.wakeCodes = {WakeCode198};
    cfg.version = 5;
    BootSim sim(cfg);

    const Bytes block = BlockFrame(0x40, 64, Bytes(64, 0x11));
    EXPECT_TRUE(sim.feed(block).empty()) << "a sleeping device hears no frames";
    EXPECT_TRUE(sim.feed(Bytes{WakeCode194, WakeCode197}).empty()) << "codes it does not answer";
    EXPECT_FALSE(sim.awake());
    EXPECT_TRUE(Erased(sim.flash()));

    const Bytes identity{'V', 5, 67, 26, 0x84, 'K'};
    EXPECT_EQ(sim.feed(Bytes{WakeCode198}), identity);
    EXPECT_EQ(sim.feed(Bytes{EnterProgrammingCode}), Bytes{'K'});
    EXPECT_TRUE(sim.inProgrammingMode());
    // A new search while awake starts over with a fresh answer.
    EXPECT_EQ(sim.feed(Bytes{WakeCode198}), identity);
    EXPECT_FALSE(sim.inProgrammingMode());
    EXPECT_EQ(sim.wakeBytesSeen(), 4);

    ASSERT_EQ(sim.frames().size(), 6u);
    EXPECT_EQ(sim.frames()[0].kind, FrameKind::Stray);
    EXPECT_EQ(sim.frames()[0].bytes, block) << "a run of stray bytes is one entry";
    EXPECT_EQ(sim.frames()[1].verdict, Verdict::Ignored);
    EXPECT_EQ(sim.frames()[3].verdict, Verdict::Accepted);
}

TEST(BootSim, BlocksLandUnscrambledAtTheirAddress) {
    struct Case {
        const char* name;
        SimConfig config;
        std::uint32_t address;       // address units, as on the wire
        std::size_t length;
        std::size_t flashOffset;     // where the first byte lands
        std::uint8_t mask;           // what the updater's stored image carries
        bool byteByByte;
    };
    SimConfig plain = Pic18();
    plain.plain = true;
    SimConfig off = Pic18();
    off.scrambleEnable = 0;
    const Case cases[] = {
        {"PIC18 row", Pic18(), 0x0040, 64, 0x0040, static_cast<std::uint8_t>(Key + 0x40), false},
        {"PIC18 short last block", Pic18(), 0x0080, 2, 0x0080, static_cast<std::uint8_t>(Key + 0x80), false},
        {"PIC18 final block", Pic18(), 0x7E40, 64, 0x7E40, static_cast<std::uint8_t>(Key + 0x40), false},
        {"dsPIC row at half the offset", Dspic(), 0x0080, 256, 0x0100, static_cast<std::uint8_t>(Key + 0x80), false},
        {"dsPIC row fed a byte at a time", Dspic(253), 0x12300, 256, 0x24600, Key, true},
        {"dsPIC final block", Dspic(), 0xA780, 256, 0x14F00, static_cast<std::uint8_t>(Key + 0x80), false},
        {"data stored plain", plain, 0x0040, 64, 0x0040, 0, false},
        {"scrambling off", off, 0x0040, 64, 0x0040, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BootSim sim = Awake(c.config);
        const Bytes program = Pattern(c.length, 3);
        const Bytes frame = BlockFrame(c.address, sim.geometry().rowBytes, Scrambled(program, c.mask));
        Bytes answer;
        if (c.byteByByte) {
            for (std::uint8_t b : frame) {
                const Bytes a = sim.feed(Bytes{b});
                answer.insert(answer.end(), a.begin(), a.end());
            }
        } else {
            answer = sim.feed(frame);
        }
        EXPECT_EQ(answer, Bytes{'K'});
        const Bytes& flash = sim.flash();
        EXPECT_EQ(Bytes(flash.begin() + static_cast<long>(c.flashOffset),
                        flash.begin() + static_cast<long>(c.flashOffset + c.length)),
                  program);
        EXPECT_EQ(std::count(flash.begin(), flash.end(), ErasedByte),
                  static_cast<long>(flash.size() - c.length) + std::count(program.begin(), program.end(), 0xFF))
            << "nothing else written";
        const FrameRecord& r = sim.frames().back();
        EXPECT_EQ(r.kind, FrameKind::Block);
        EXPECT_EQ(r.address, c.address);
        EXPECT_EQ(r.length, c.length);
    }
}

// The product's stored images, sent row by row as they are stored, land in
// flash as the plain program the packer was given.
TEST(BootSim, TheProductsImagesLandAsTheirPlainProgram) {
    const mkimage::Product product = mkimage::LoadProduct(TORVANE_SOURCE_DIR "/product");
    constexpr std::uint8_t ChipOfSlot[] = {66, 67, 68, 69, 70, 199, 252, 253, 71, 72};
    int checked = 0;
    for (const ProductCell& cell : product::Cells()) {
        if (cell.image->size <= 1 || cell.slot >= std::size(ChipOfSlot)) continue;
        const auto named = std::find_if(product.cells.begin(), product.cells.end(), [&](const mkimage::CellSpec& c) {
            return c.cell.row == cell.row && c.cell.slot == cell.slot;
        });
        ASSERT_NE(named, product.cells.end());
        const mkimage::ImageSpec& image = product.images[named->image];
        SCOPED_TRACE(image.name);

        SimConfig cfg;
        cfg.chip = ChipOfSlot[cell.slot];
        cfg.plain = image.plain;
        BootSim sim = Awake(cfg);
        const ChipGeometry g = sim.geometry();
        const std::size_t size = std::min<std::size_t>(static_cast<std::size_t>(cell.image->size),
                                                       std::size_t{g.finalBlock} * g.addressUnit);
        for (std::size_t at = 0; at < size; at += g.rowBytes) {
            const std::size_t n = std::min<std::size_t>(g.rowBytes, size - at);
            const Bytes row(cell.image->data + at, cell.image->data + at + n);
            ASSERT_EQ(sim.feed(BlockFrame(static_cast<std::uint32_t>(at / g.addressUnit), g.rowBytes, row)),
                      Bytes{'K'});
        }
        EXPECT_TRUE(std::equal(image.data.begin(), image.data.begin() + static_cast<long>(size), sim.flash().begin()));
        ++checked;
    }
    EXPECT_GT(checked, 0) << "the product carries images";
}

TEST(BootSim, RefusesBlocksThatBreakItsRulesAndWritesNothing) {
    struct Case {
        const char* name;
        SimConfig config;
        Bytes frame;
        const char* reason;
    };
    Bytes badSum = BlockFrame(0x40, 64, Pattern(64, 1));
    badSum[10] ^= 0x01;
    Bytes tooLong = BlockFrame(0x40, 64, Pattern(65, 1));
    const Case cases[] = {
        {"bad checksum", Pic18(), badSum, "bad checksum"},
        {"longer than a row", Pic18(), tooLong, "length above the row size"},
        {"PIC18 not on a row", Pic18(), BlockFrame(0x41, 64, Pattern(2, 1)), "address not at the start of a row"},
        {"dsPIC not on a row", Dspic(), BlockFrame(0x40, 256, Pattern(2, 1)), "address not at the start of a row"},
        {"past the end of flash", Pic18(), BlockFrame(0x10000, 64, Pattern(64, 1)), "address outside flash"},
        {"PIC18 boot loader row", Pic18(), BlockFrame(0x7E80, 64, Pattern(64, 1)), "reaches into the boot loader"},
        {"version 4 keeps less", Pic18(67, 4), BlockFrame(0x7F00, 64, Pattern(64, 1)), "reaches into the boot loader"},
        {"J10 keeps 1088 bytes", Pic18(199), BlockFrame(0x3C00, 64, Pattern(64, 1)), "reaches into the boot loader"},
        {"dsPIC boot loader row", Dspic(), BlockFrame(0xA800, 256, Pattern(256, 1)), "address outside flash"},
        {"dsPIC longer than a row", Dspic(253), BlockFrame(0x100, 256, Pattern(257, 1)), "length above the row size"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BootSim sim = Awake(c.config);
        EXPECT_EQ(sim.feed(c.frame), Bytes{'N'});
        EXPECT_TRUE(Erased(sim.flash()));
        EXPECT_EQ(sim.frames().back().verdict, Verdict::Refused);
        EXPECT_EQ(sim.frames().back().reason, c.reason);
        EXPECT_EQ(sim.feed(BlockFrame(0, sim.geometry().rowBytes, Pattern(4, 1))), Bytes{'K'})
            << "the device is back in step for the next frame";
    }
    // The row just below the boot loader of a version-4 device is writable.
    BootSim old = Awake(Pic18(67, 4));
    EXPECT_EQ(old.feed(BlockFrame(0x7EC0, 64, Pattern(64, 1))), Bytes{'K'});
}

// Two flips that cancel in the 8-bit sum get past the checksum. The device
// cannot know, but the simulated line does, and the log and summary say so.
TEST(BootSim, DamageTheChecksumCannotShowIsLogged) {
    BootSim sim = Awake(Pic18());
    Bytes block = BlockFrame(0x40, 64, Pattern(64, 1));
    std::vector<ByteDamage> marks(block.size(), ByteDamage::None);
    // One byte up by one, another down by one: the sum of the frame holds.
    ++block[10];
    --block[20];
    marks[10] = marks[20] = ByteDamage::Flipped;
    EXPECT_EQ(sim.feed(block, marks), Bytes{'K'});
    Bytes refused = BlockFrame(0x80, 64, Pattern(64, 2));
    refused[10] ^= 0x01;
    std::vector<ByteDamage> one(refused.size(), ByteDamage::None);
    one[10] = ByteDamage::Flipped;
    EXPECT_EQ(sim.feed(refused, one), Bytes{'N'});
    EXPECT_EQ(sim.feed(BlockFrame(0xC0, 64, Pattern(64, 3))), Bytes{'K'});

    const auto& f = sim.frames();
    ASSERT_EQ(f.size(), 4u);
    EXPECT_TRUE(f[1].lineDamaged);
    EXPECT_TRUE(f[2].lineDamaged);
    EXPECT_FALSE(f[3].lineDamaged);
    EXPECT_NE(FormatFrameRecord(f[1]).find("DAMAGED-BY-LINE-UNSEEN"), std::string::npos);
    const auto lines = SummaryLines(f, sim.config());
    EXPECT_NE(std::find(lines.begin(), lines.end(), std::string(UnseenDamageText) + ": frames 2"), lines.end());
}

TEST(BootSim, EepromFramesWriteOneByteEach) {
    SimConfig cfg = Pic18();
    cfg.eepromSize = 16;
    BootSim sim = Awake(cfg);
    EXPECT_EQ(EepromFrame(3, 0x5A), (Bytes{0x40, 0x03, 0x5A, 0x01, 0x00, 0x62}));
    EXPECT_EQ(sim.feed(EepromFrame(3, 0x5A)), Bytes{'K'});
    EXPECT_EQ(sim.eeprom()[3], 0x5A) << "EEPROM bytes are stored as they travel";

    Bytes badSum = EepromFrame(4, 0x11);
    badSum.back() ^= 1;
    const Bytes refused[] = {badSum, EepromFrame(16, 0x11), WithChecksum({0x40, 5, 0x11, 0, 0})};
    for (const Bytes& f : refused) EXPECT_EQ(sim.feed(f), Bytes{'N'});
    Bytes expected(16, ErasedByte);
    expected[3] = 0x5A;
    EXPECT_EQ(sim.eeprom(), expected);
    EXPECT_TRUE(Erased(sim.flash()));
}

TEST(BootSim, RecognisesTheAccessTextAndCommand4Frames) {
    BootSim sim = Awake(Pic18());
    ASSERT_EQ(AccessFrame().size(), 19u);
    EXPECT_EQ(sim.feed(AccessFrame()), Bytes{'K'});
    EXPECT_EQ(sim.feed(Bytes{0x04, 0x00, 0x00, 0x04}), Bytes{'K'});
    EXPECT_EQ(sim.feed(Bytes{0x04, 0x00, 0x00, 0x05}), Bytes{'N'});
    EXPECT_EQ(sim.feed(AccessFrame("K3m9Tz7Qa2Wd5Hy")), Bytes{'N'});
    EXPECT_TRUE(Erased(sim.flash())) << "the access text is no block at address 0";
    EXPECT_EQ(sim.feed(BlockFrame(0, 64, Pattern(64, 9))), Bytes{'K'}) << "a real block at address 0 still is";

    const auto& log = sim.frames();
    ASSERT_EQ(log.size(), 6u);
    EXPECT_EQ(log[1].kind, FrameKind::AccessText);
    EXPECT_EQ(log[2].kind, FrameKind::Command4);
    EXPECT_EQ(log[4].reason, "unknown access text");
    EXPECT_EQ(log[5].kind, FrameKind::Block);
}

TEST(BootSim, AFrameLeftUnfinishedIsDroppedWhenTheLineGoesQuiet) {
    BootSim sim = Awake(Pic18());
    const Bytes block = BlockFrame(0x40, 64, Pattern(64, 1));
    EXPECT_TRUE(sim.feed({block.data(), 20}).empty());
    EXPECT_TRUE(sim.hasPartialFrame());
    sim.lineIdle();
    EXPECT_FALSE(sim.hasPartialFrame());
    EXPECT_EQ(sim.frames().back().kind, FrameKind::Incomplete);
    EXPECT_EQ(sim.feed(Bytes{WakeCode194}).front(), 'V') << "the next byte starts a new frame";
    EXPECT_TRUE(Erased(sim.flash()));
}

TEST(BootSim, FaultsChangeTheAnswersOfTheFramesTheyName) {
    // Frames 1 wake-up, 2 enter programming, 3 and 4 blocks, 5 EEPROM.
    const Bytes identity{'V', 4, 67, 26, 0x84, 'K'};
    const std::vector<Bytes> script = {Bytes{WakeCode194}, Bytes{EnterProgrammingCode},
                                       BlockFrame(0x00, 64, Pattern(64, 1)), BlockFrame(0x40, 64, Pattern(64, 2)),
                                       EepromFrame(0, 0x33)};
    const Bytes K{'K'}, N{'N'}, none{};
    struct Case {
        const char* name;
        SimFaults faults;
        std::vector<Bytes> answers;
        bool blocksWritten;
    };
    auto faults = [](auto set) {
        SimFaults f;
        set(f);
        return f;
    };
    const Case cases[] = {
        {"none", {}, {identity, K, K, K, K}, true},
        {"refuse the next 3 data frames", faults([](SimFaults& f) { f.refuseNext = 3; }), {identity, K, N, N, N}, false},
        {"silent", faults([](SimFaults& f) { f.silent = true; }), {none, none, none, none, none}, true},
        {"silent after frame 2", faults([](SimFaults& f) { f.silentAfter = 2; }), {identity, K, none, none, none}, true},
        {"mute frame 3", faults([](SimFaults& f) { f.mute = {3}; }), {identity, K, none, K, K}, true},
        {"garble frame 3", faults([](SimFaults& f) { f.garbleFrame = 3; }), {identity, K, Bytes{'k'}, K, K}, true},
        {"garble the wake-up answer", faults([](SimFaults& f) { f.garbleFrame = 1; }),
         {{'v', 4, 67, 26, 0x84, 'K'}, K, K, K, K}, true},
        {"hang up after frame 3", faults([](SimFaults& f) { f.hangUpAfter = 3; }), {identity, K, K, none, none}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimConfig cfg = Pic18(67, 4);
        cfg.faults = c.faults;
        BootSim sim(cfg);
        for (std::size_t i = 0; i < script.size(); ++i) EXPECT_EQ(sim.feed(script[i]), c.answers[i]) << "frame " << i + 1;
        EXPECT_EQ(sim.flash()[0x40] == ErasedByte, !c.blocksWritten);
        if (c.faults.hangUpAfter) {
            EXPECT_TRUE(sim.hangUpDue());
            EXPECT_EQ(sim.frames().size(), 3u) << "nothing is heard after the hang-up";
        } else {
            ASSERT_EQ(sim.frames().size(), 5u);
            for (std::size_t i = 0; i < script.size(); ++i) EXPECT_EQ(sim.frames()[i].answer, c.answers[i]);
        }
    }
}

// A muted frame is one the device never received; a lost answer is one the
// line dropped after the device had done its work. Either way the updater
// hears nothing and sends the same bytes again, which must then land.
TEST(BootSim, AMutedFrameDoesNothingWhileALostAnswerFollowsTheWork) {
    SimConfig cfg = Pic18(67, 4);
    cfg.eepromSize = 16;
    const Bytes program = Pattern(64, 5);
    const Bytes row = Scrambled(program, Key);  // the row at address 0
    auto rowWritten = [&](const BootSim& s) { return Bytes(s.flash().begin(), s.flash().begin() + 64) == program; };
    struct Target {
        const char* name;
        Bytes frame;
        std::function<bool(const BootSim&)> done;
    };
    const std::vector<Target> script = {
        {"wake-up", Bytes{WakeCode194}, [](const BootSim& s) { return s.awake(); }},
        {"enter programming", Bytes{EnterProgrammingCode}, [](const BootSim& s) { return s.inProgrammingMode(); }},
        {"block", BlockFrame(0x00, 64, row), rowWritten},
        {"EEPROM", EepromFrame(9, 0x77), [](const BootSim& s) { return s.eeprom()[9] == 0x77; }},
    };
    for (std::size_t target = 0; target < script.size(); ++target) {
        for (const bool mute : {true, false}) {
            SCOPED_TRACE(std::string(script[target].name) + (mute ? ", muted" : ", answer lost"));
            const int number = static_cast<int>(target) + 1;
            SimConfig c = cfg;
            (mute ? c.faults.mute : c.faults.loseAnswer) = {number};
            BootSim faulty(c);
            BootSim clean(cfg);
            for (std::size_t i = 0; i < target; ++i) faulty.feed(script[i].frame);
            const BootSim before = faulty;

            EXPECT_TRUE(faulty.feed(script[target].frame).empty());
            EXPECT_EQ(script[target].done(faulty), !mute);
            const FrameRecord& hit = faulty.frames().back();
            EXPECT_EQ(hit.number, number);
            EXPECT_EQ(hit.verdict, mute ? Verdict::Muted : Verdict::Accepted);
            EXPECT_TRUE(hit.answer.empty());
            EXPECT_EQ(hit.lostAnswer.empty(), mute);
            if (mute) {
                EXPECT_EQ(faulty.flash(), before.flash());
                EXPECT_EQ(faulty.eeprom(), before.eeprom());
                EXPECT_EQ(faulty.awake(), before.awake());
                EXPECT_EQ(faulty.wakeBytesSeen(), before.wakeBytesSeen());
            }

            // The updater's second try is frame number + 1 and is answered
            // as in a session without the fault; so is everything after it.
            for (std::size_t i = 0; i < target; ++i) clean.feed(script[i].frame);
            for (std::size_t i = target; i < script.size(); ++i)
                EXPECT_EQ(faulty.feed(script[i].frame), clean.feed(script[i].frame)) << script[i].name;
            EXPECT_EQ(faulty.frames()[target + 1].number, number + 1);
            EXPECT_TRUE(rowWritten(faulty));
            EXPECT_EQ(faulty.flash(), clean.flash());
            EXPECT_EQ(faulty.eeprom(), clean.eeprom());
        }
    }
}

TEST(BootSim, AMutedFrameIsNotCountedByTheOtherFaults) {
    SimConfig cfg = Pic18(67, 4);
    cfg.faults.wakeAt = 1;
    cfg.faults.refuseNext = 1;
    cfg.faults.mute = {1, 4};
    BootSim sim(cfg);
    EXPECT_TRUE(sim.feed(Bytes{WakeCode194}).empty()) << "frame 1: muted";
    EXPECT_TRUE(sim.feed(Bytes{WakeCode194}).empty()) << "frame 2: the first wake-up the device hears";
    EXPECT_EQ(sim.feed(Bytes{WakeCode194}).front(), 'V');
    EXPECT_EQ(sim.wakeBytesSeen(), 2);
    const Bytes block = BlockFrame(0x40, 64, Pattern(64, 1));
    EXPECT_TRUE(sim.feed(block).empty()) << "frame 4: muted";
    EXPECT_EQ(sim.feed(block), Bytes{'N'}) << "the refusal is still due";
    EXPECT_EQ(sim.feed(block), Bytes{'K'});
}

// The device keeps the rows touching units S .. S+L-1 of the range its record
// reports. The updater leaves out each row whose next row starts from S to
// S+L; every row it does send must be taken.
TEST(BootSim, KeepsTheProtectedRangeItReportsAndTakesEveryRowTheUpdaterSends) {
    struct Case {
        const char* name;
        SimConfig config;
        std::uint16_t start, length;
        std::uint32_t keptFrom, keptTo;  // rows the device keeps: keptFrom <= row < keptTo
    };
    const Case cases[] = {
        {"dsPIC, eight rows", Dspic(), 0x1000, 0x400, 0x1000, 0x1400},
        {"PIC18, one row", Pic18(), 0x1000, 0x40, 0x1000, 0x1040},
        {"start inside a row keeps that row", Pic18(), 0x1010, 0x70, 0x1000, 0x1080},
        {"up to the final block, which stays writable", Pic18(), 0x7000, 0xE40, 0x7000, 0x7E40},
        {"start 0: nothing kept", Pic18(), 0, 0x400, 0, 0},
        {"length 0: nothing kept", Pic18(), 0x1000, 0, 0, 0},
        {"version 5 sends no record: nothing kept", Pic18(67, 5), 0x1000, 0x400, 0, 0},
    };
    for (Case c : cases) {
        SCOPED_TRACE(c.name);
        c.config.recordRangeStart = c.start;
        c.config.recordRangeLength = c.length;
        BootSim sim = Awake(c.config);
        const ChipGeometry g = sim.geometry();
        const std::uint32_t rowUnits = g.rowBytes / g.addressUnit;

        const std::uint32_t startRow = c.start / rowUnits * rowUnits;
        const std::uint32_t from = startRow >= 4 * rowUnits ? startRow - 4 * rowUnits : 0;
        const std::uint32_t to = std::min(std::uint32_t{c.start} + c.length + 4 * rowUnits, g.finalBlock + rowUnits);
        for (std::uint32_t a = from; a < to; a += rowUnits) {
            const bool kept = c.keptFrom <= a && a < c.keptTo;
            const std::uint32_t next = a + rowUnits;
            const bool updaterSends = c.start == 0 || next < c.start || next > std::uint32_t{c.start} + c.length;
            if (updaterSends) {
                EXPECT_FALSE(kept) << "the updater sends row " << a;
            }
            // A short block still rewrites the whole row.
            const std::size_t n = a % (2 * rowUnits) == 0 ? g.rowBytes : 2;
            const Bytes answer = sim.feed(BlockFrame(a, g.rowBytes, Pattern(n, 1)));
            const FrameRecord& r = sim.frames().back();
            EXPECT_EQ(answer, Bytes{static_cast<std::uint8_t>(kept ? 'N' : 'K')}) << "row " << a;
            EXPECT_EQ(r.protectedRow, kept) << "row " << a;
            const auto at = sim.flash().begin() + static_cast<long>(a * g.addressUnit);
            if (kept) {
                EXPECT_TRUE(std::all_of(at, at + static_cast<long>(n), [](std::uint8_t b) { return b == ErasedByte; }));
                EXPECT_NE(FormatFrameRecord(r).find(" refused (row in the protected range 0x"), std::string::npos);
            }
        }
        const std::vector<std::string> summary = SummaryLines(sim.frames(), sim.config());
        EXPECT_EQ(summary.back().find("REFUSED") != std::string::npos, c.keptTo != 0) << summary.back();
    }
}

TEST(BootSim, AnswersTheWakeUpOnlyFromTheGivenTryOn) {
    SimConfig cfg = Pic18();
    cfg.faults.wakeAt = 57;
    BootSim sim(cfg);
    for (int i = 0; i < 57; ++i) ASSERT_TRUE(sim.feed(Bytes{WakeCode194}).empty()) << "try " << i;
    EXPECT_FALSE(sim.awake());
    EXPECT_EQ(sim.feed(Bytes{WakeCode194}).front(), 'V');
    EXPECT_EQ(sim.wakeBytesSeen(), 58);
}

TEST(BootSim, FrameLogLinesNameKindVerdictAndBytes) {
    SimConfig cfg = Pic18();
    cfg.faults.mute = {3};
    cfg.faults.loseAnswer = {4};
    BootSim sim = Awake(cfg);
    sim.feed(BlockFrame(0x41, 64, {0xAB}));
    sim.feed(BlockFrame(0x40, 64, {0xAB}));
    sim.feed(BlockFrame(0x40, 64, {0xAB}));
    std::vector<std::string> lines;
    for (const FrameRecord& r : sim.frames()) lines.push_back(FormatFrameRecord(r));
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()),
              (std::vector<std::string>{
                  "2 block addr=0x000041 len=1 refused (address not at the start of a row) answer=4E "
                  "frame=00 00 41 01 AB 13",
                  "3 block addr=0x000040 len=1 muted (never received: nothing done, no answer) answer=- "
                  "frame=00 00 40 01 AB 14",
                  "4 block addr=0x000040 len=1 accepted answer=lost(4B) frame=00 00 40 01 AB 14",
              }));
}

TEST(BootSim, TheSummarySaysWhatWasMutedLostAndKeptFromTheProtectedRange) {
    SimConfig cfg = Pic18();
    cfg.recordRangeStart = 0x1000;
    cfg.recordRangeLength = 0x80;
    cfg.faults.mute = {2};
    cfg.faults.loseAnswer = {3};
    BootSim sim = Awake(cfg);
    sim.feed(BlockFrame(0x0000, 64, Pattern(64, 1)));
    sim.feed(BlockFrame(0x0000, 64, Pattern(64, 1)));
    sim.feed(BlockFrame(0x1040, 64, Pattern(64, 1)));
    sim.feed(Bytes{0x55});
    EXPECT_EQ(SummaryLines(sim.frames(), sim.config()),
              (std::vector<std::string>{
                  "5 frames: 2 accepted, 1 refused, 1 ignored, 1 muted",
                  "muted, never received (nothing done, no answer): frames 2",
                  "done but the answer lost: frames 3",
                  "protected range 0x1000-0x107F: 1 block write(s) into it REFUSED, not written: frames 4",
              }));
    cfg.faults = {};
    EXPECT_EQ(SummaryLines(Awake(cfg).frames(), cfg),
              (std::vector<std::string>{"1 frames: 1 accepted, 0 refused, 0 ignored, 0 muted",
                                        "protected range 0x1000-0x107F: kept, no write into it"}));
}

// --- faults of time: stray bytes, a late enter-programming answer, jitter ----

// What the device puts on the line for `bytes` arriving at `ms`, as (due, bytes, stray).
struct Out {
    long dueMs;
    Bytes bytes;
    bool stray;
    bool operator==(const Out&) const = default;
};
std::vector<Out> FeedAt(BootSim& sim, long ms, const Bytes& bytes, std::span<const ByteDamage> marks = {}) {
    std::vector<Out> out;
    for (const Reply& r : sim.feedAt(std::chrono::milliseconds{ms}, bytes, marks))
        out.push_back({static_cast<long>(r.due.count()), r.bytes, r.stray});
    return out;
}
std::ostream& operator<<(std::ostream& os, const Out& o) {
    return os << "{" << o.dueMs << " ms, " << testing::PrintToString(o.bytes) << (o.stray ? ", stray}" : "}");
}

// A stray follows its frame whatever became of the frame and its answer: it
// is no answer, and an updater that pairs it with a frame is wrong.
TEST(BootSim, StraysFollowTheirFrameWhateverBecameOfIt) {
    const Bytes K{'K'}, N{'N'};
    struct Case {
        const char* name;
        StrayBytes stray;     // after frame 2, the block
        int lateMs;
        bool mute, loseAnswer;
        std::vector<Out> out;  // for the block arriving at 1000 ms
        const char* logged;
    };
    const Case cases[] = {
        {"at once: before the answer", {2, 0, {'K'}}, 0, false, false, {{1000, K, true}, {1000, K, false}}, " stray=4B+0ms"},
        {"at once, the answer late", {2, 0, {'N'}}, 40, false, false, {{1000, N, true}, {1040, K, false}}, " stray=4E+0ms"},
        {"after the answer", {2, 30, {'K'}}, 0, false, false, {{1000, K, false}, {1030, K, true}}, " stray=4B+30ms"},
        {"between a late answer and its frame", {2, 30, {'K', 'K'}}, 50, false, false,
         {{1030, {'K', 'K'}, true}, {1050, K, false}}, " stray=4B4B+30ms"},
        {"the answer lost", {2, 10, {'K'}}, 0, false, true, {{1010, K, true}}, " stray=4B+10ms"},
        {"the frame muted", {2, 0, {'K'}}, 0, true, false, {{1000, K, true}}, " stray=4B+0ms"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimConfig cfg = Pic18();
        cfg.faults.strays = {c.stray};
        cfg.faults.lateMs = c.lateMs;
        if (c.mute) cfg.faults.mute = {2};
        if (c.loseAnswer) cfg.faults.loseAnswer = {2};
        BootSim sim(cfg);
        FeedAt(sim, 0, Bytes{WakeCode194});
        const Bytes block = BlockFrame(0x40, 64, Pattern(64, 1));
        std::vector<Out> out = FeedAt(sim, 1000, block);
        std::stable_sort(out.begin(), out.end(), [](const Out& a, const Out& b) { return a.dueMs < b.dueMs; });
        EXPECT_EQ(out, c.out);
        EXPECT_EQ(sim.flash()[0x40] == ErasedByte, c.mute) << "the stray changes nothing of the frame";
        const std::string line = FormatFrameRecord(sim.frames().back());
        EXPECT_NE(line.find(c.logged), std::string::npos) << line;
        EXPECT_TRUE(FeedAt(sim, 2000, block).size() == 1) << "a stray goes out once, after its own frame only";
        const auto summary = SummaryLines(sim.frames(), sim.config());
        EXPECT_NE(std::find(summary.begin(), summary.end(),
                            "stray bytes sent to the updater: " + std::string(c.logged).substr(7) + " after frame 2"),
                  summary.end());
    }
    // A stray after a frame that never comes is reported as not sent, and
    // one after a fragment the line left unfinished goes out when it is dropped.
    SimConfig cfg = Pic18();
    cfg.faults.strays = {{2, 0, {'K'}}, {9, 0, {'K'}}};
    BootSim sim = Awake(cfg);
    EXPECT_TRUE(sim.feed(Bytes{0x00, 0x00}).empty());
    ASSERT_EQ(sim.lineIdle().size(), 1u);
    const auto summary = SummaryLines(sim.frames(), sim.config());
    EXPECT_NE(std::find(summary.begin(), summary.end(), "stray bytes not sent, the frame never came: after frames 9"),
              summary.end());
}

// A module that erases before it answers the enter-programming command hears
// nothing meanwhile: a frame that starts coming before the end is lost, even
// when it ends after it.
TEST(BootSim, TheEraseBeforeTheEnterProgrammingAnswerLosesWhatComesMeanwhile) {
    SimConfig cfg = Pic18(67, 4);
    cfg.faults.late204Ms = 3000;
    cfg.faults.lateMs = 7;  // does not add to the erase
    cfg.faults.refuseNext = 1;
    BootSim sim(cfg);
    FeedAt(sim, 0, Bytes{WakeCode194});
    EXPECT_EQ(FeedAt(sim, 100, Bytes{EnterProgrammingCode}), (std::vector<Out>{{3100, {'K'}, false}}));
    EXPECT_EQ(sim.erasingUntil(), std::chrono::milliseconds{3100});

    const Bytes block = BlockFrame(0x40, 64, Pattern(64, 1));
    EXPECT_TRUE(FeedAt(sim, 2100, block).empty()) << "the updater gave up waiting and sent block 0";
    EXPECT_TRUE(FeedAt(sim, 2200, Bytes{EnterProgrammingCode}).empty()) << "nor is a second 204 heard";
    EXPECT_TRUE(FeedAt(sim, 3050, Bytes(block.begin(), block.begin() + 30)).empty());
    EXPECT_TRUE(FeedAt(sim, 3150, Bytes(block.begin() + 30, block.end())).empty()) << "began during the erase";
    EXPECT_TRUE(Erased(sim.flash()));
    for (std::size_t i = 2; i < 5; ++i) {
        const FrameRecord& r = sim.frames()[i];
        EXPECT_EQ(r.verdict, Verdict::Muted) << i;
        EXPECT_EQ(r.reason, "arrived while erasing") << i;
        EXPECT_TRUE(r.answer.empty() && r.lostAnswer.empty()) << i;
    }
    EXPECT_EQ(FeedAt(sim, 3200, block), (std::vector<Out>{{3207, {'N'}, false}})) << "the refusal is still due";
    EXPECT_EQ(FeedAt(sim, 3300, block), (std::vector<Out>{{3307, {'K'}, false}}));
    EXPECT_FALSE(Erased(sim.flash()));
    const auto summary = SummaryLines(sim.frames(), sim.config());
    EXPECT_NE(std::find(summary.begin(), summary.end(),
                        "enter-programming answered 3000 ms late, erasing meanwhile; lost while erasing: frames 3, 4, 5"),
              summary.end());
    EXPECT_EQ(summary.front(), "7 frames: 3 accepted, 1 refused, 0 ignored, 3 muted");
    EXPECT_TRUE(std::none_of(summary.begin(), summary.end(), [](const std::string& l) { return l.starts_with("muted"); }))
        << "the updater sent them; no muting fault lost them";
}

// Answers late by a random amount still go out in the order of their frames,
// and a seed gives every frame the same delay on every build.
TEST(BootSim, JitteredAnswersKeepTheirOrderAndReplayWithTheirSeed) {
    auto run = [](std::uint64_t seed, bool loseSome, long spacingMs = 30) {
        SimConfig cfg = Pic18();
        cfg.faults.lateMs = 10;
        cfg.faults.jitter = AnswerJitter{20, 500, seed};
        if (loseSome) cfg.faults.loseAnswer = {3, 5};
        BootSim sim(cfg);
        std::vector<long> delays;
        long lastDue = 0;
        int waited = 0;
        for (int i = 0; i < 40; ++i) {
            const long at = i * spacingMs;
            const Bytes frame = i == 0 ? Bytes{WakeCode194} : BlockFrame(0x40, 64, Pattern(64, 1));
            for (const Out& o : FeedAt(sim, at, frame)) {
                EXPECT_GE(o.dueMs, lastDue) << "frame " << i + 1 << " overtook an earlier answer";
                EXPECT_GE(o.dueMs, at + 30) << "frame " << i + 1;
                waited += o.dueMs == lastDue;
                lastDue = o.dueMs;
            }
            delays.push_back(sim.frames().back().answerDelayMs);
        }
        if (spacingMs < 500) {
            EXPECT_GT(waited, 0) << "no answer waited for the one before it";
        }
        return delays;
    };
    const std::vector<long> first = run(7, false);
    EXPECT_EQ(run(7, false), first);
    EXPECT_EQ(run(7, true), first) << "a lost answer takes its delay with it, the others keep theirs";
    EXPECT_NE(run(8, false), first);
    // The delays are the generator's, not a library's: pinned, they hold on
    // every build. Frames a second apart wait for nobody.
    const std::vector<long> apart = run(7, false, 1000);
    EXPECT_EQ(std::vector<long>(apart.begin(), apart.begin() + 5), (std::vector<long>{479, 104, 419, 151, 329}));
}

// A stray enter-programming or wake-up byte in what the line left of a broken
// frame is answered like the real thing; its answer is one the updater never
// asked for, so the log marks it.
TEST(BootSim, AnswersToWhatTheLineLeftOfABrokenFrameAreMarked) {
    constexpr auto F = ByteDamage::Flipped, L = ByteDamage::AfterLoss, O = ByteDamage::None;
    struct Case {
        const char* name;
        Bytes before;                  // ahead of the command byte, with their damage
        std::vector<ByteDamage> beforeDamage;
        bool pause;                    // the line goes quiet between
        std::uint8_t command;
        ByteDamage commandDamage;
        bool marked;
    };
    const Case cases[] = {
        {"204 after a flipped byte", {0x55}, {F}, false, EnterProgrammingCode, O, true},
        {"wake-up after a lost byte", {0x55}, {L}, false, WakeCode197, O, true},
        {"204 itself flipped", {}, {}, false, EnterProgrammingCode, F, true},
        {"damage in the frame before", BlockFrame(0x40, 64, {0x11}), {O, O, O, F, O, O}, false, EnterProgrammingCode, O,
         true},
        {"damage before the line went quiet", {0x55}, {F}, true, EnterProgrammingCode, O, false},
        {"an undamaged line", {0x55}, {O}, false, EnterProgrammingCode, O, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BootSim sim = Awake(Pic18());
        sim.feed(c.before, c.beforeDamage);
        if (c.pause) sim.lineIdle();
        const std::vector<ByteDamage> mark{c.commandDamage};
        EXPECT_EQ(sim.feed(Bytes{c.command}, mark).empty(), false) << "answered all the same";
        const FrameRecord& r = sim.frames().back();
        EXPECT_EQ(r.bytes, Bytes{c.command});
        EXPECT_EQ(r.lineDamaged, c.marked);
        EXPECT_EQ(FormatFrameRecord(r).find(" DAMAGED-BY-LINE-UNSEEN") != std::string::npos, c.marked);
        const auto summary = SummaryLines(sim.frames(), sim.config());
        const bool listed = std::any_of(summary.begin(), summary.end(), [&](const std::string& l) {
            return l.starts_with("answered wake-up or enter-programming bytes") &&
                   l.ends_with("frames " + std::to_string(r.number));
        });
        EXPECT_EQ(listed, c.marked);
        EXPECT_TRUE(std::none_of(summary.begin(), summary.end(), [&](const std::string& l) {
            return l.starts_with(UnseenDamageText) && l.ends_with(" " + std::to_string(r.number));
        })) << "no checksum let it through";
    }
}

// The check after an update judges each row that differs by the write the
// device last took there: only damage the frame's checksum could not show
// explains it; anything else is the updater's doing.
TEST(ImageCheck, ADifferenceIsExplainedOnlyByTheLastWriteBeingUnseenLineDamage) {
    // Rows 0x00 to 0xC0 of a PIC18 part; row 0x80 is the one under test.
    const Bytes program = Pattern(0x100, 3);
    const auto rowOf = [&](std::uint32_t at) { return Bytes(program.begin() + at, program.begin() + at + 64); };
    enum Write { Right, Wrong, WrongUnseen, RightRefusedDamaged };
    struct Case {
        const char* name;
        std::vector<Write> writes;  // to row 0x80, in order
        bool differs;
        std::optional<int> lastWrite;
        bool explained;
    };
    // Frames: 1 wake-up, 2 to 4 rows 0x00, 0x40, 0xC0, then the writes to row 0x80.
    const Case cases[] = {
        {"never written", {}, true, std::nullopt, false},
        {"written wrong, undamaged", {Wrong}, true, 5, false},
        {"written wrong by unseen damage", {WrongUnseen}, true, 5, true},
        {"unseen damage, then written wrong undamaged", {WrongUnseen, Wrong}, true, 6, false},
        {"undamaged wrong, then unseen damage", {Wrong, WrongUnseen}, true, 6, true},
        {"unseen damage, then written right", {WrongUnseen, Right}, false, std::nullopt, false},
        {"a damaged frame refused changes nothing", {Right, RightRefusedDamaged}, false, std::nullopt, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimConfig cfg = Pic18();
        cfg.plain = true;
        BootSim sim = Awake(cfg);
        for (std::uint32_t at : {0x00u, 0x40u, 0xC0u}) ASSERT_EQ(sim.feed(BlockFrame(at, 64, rowOf(at))), Bytes{'K'});
        for (const Write w : c.writes) {
            Bytes frame = BlockFrame(0x80, 64, rowOf(0x80));
            std::vector<ByteDamage> marks(frame.size(), ByteDamage::None);
            if (w == Wrong) frame = BlockFrame(0x80, 64, Pattern(64, 9));
            if (w == WrongUnseen || w == RightRefusedDamaged) {
                // Up by one and down by one: the sum holds. One flip alone does not.
                ++frame[10];
                if (w == WrongUnseen) --frame[20];
                marks[10] = marks[20] = ByteDamage::Flipped;
            }
            sim.feed(frame, marks);
        }
        const ImageCheck check = CheckImage(sim, program, {});
        const std::vector<std::string> lines = CheckLines(check, "image.hex");
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(check.holds(), !c.differs);
        if (!c.differs) {
            EXPECT_TRUE(lines.back().starts_with("check passed")) << lines.back();
            continue;
        }
        ASSERT_EQ(check.differences.size(), 1u);
        const MemoryDifference& d = check.differences.front();
        EXPECT_EQ(d.where, 0x80u);
        EXPECT_EQ(d.lastWrite, c.lastWrite);
        EXPECT_EQ(d.explained, c.explained);
        EXPECT_EQ(check.allExplained(), c.explained);
        EXPECT_TRUE(lines.front().starts_with("check: row 0x80 differs")) << lines.front();
        EXPECT_TRUE(lines.front().ends_with(c.explained ? ": explained" : ": NOT explained")) << lines.front();
        const std::string& verdict = lines.back();
        EXPECT_EQ(verdict.starts_with(ExplainedCheckText), c.explained) << verdict;
        EXPECT_EQ(verdict.find(UnseenDamageText) != std::string::npos, c.explained) << verdict;
        EXPECT_EQ(verdict.starts_with("check FAILED"), !c.explained) << verdict;
    }
}

// One explained difference does not excuse another, in flash or EEPROM; a
// stretch never written is named in one line.
TEST(ImageCheck, EveryDifferenceMustBeExplainedForTheWholeToBe) {
    SimConfig cfg = Pic18();
    cfg.plain = true;
    cfg.eepromSize = 8;
    const Bytes program = Pattern(0x200, 3);
    const Bytes eeprom{1, 2, 3};
    auto run = [&](bool eepromUnseen, bool rowsLeftOut) {
        BootSim sim = Awake(cfg);
        for (std::uint32_t at = 0; at < program.size(); at += 64) {
            if (rowsLeftOut && at >= 0x100 && at < 0x1C0) continue;
            Bytes frame = BlockFrame(at, 64, Bytes(program.begin() + at, program.begin() + at + 64));
            std::vector<ByteDamage> marks(frame.size(), ByteDamage::None);
            if (at == 0x40) {
                ++frame[10];
                --frame[20];
                marks[10] = marks[20] = ByteDamage::Flipped;
            }
            sim.feed(frame, marks);
        }
        for (std::uint8_t i = 0; i < eeprom.size(); ++i) {
            Bytes frame = EepromFrame(i, eeprom[i]);
            std::vector<ByteDamage> marks(frame.size(), ByteDamage::None);
            if (i == 1) {
                ++frame[2];
                --frame[5];
                marks[2] = marks[5] = eepromUnseen ? ByteDamage::Flipped : ByteDamage::None;
            }
            sim.feed(frame, marks);
        }
        return CheckImage(sim, program, eeprom);
    };
    const ImageCheck both = run(true, false);
    ASSERT_EQ(both.differences.size(), 2u);
    EXPECT_TRUE(both.differences[0].eeprom);
    EXPECT_EQ(both.differences[0].where, 1u);
    EXPECT_EQ(both.differences[1].where, 0x40u);
    EXPECT_TRUE(both.allExplained());
    EXPECT_TRUE(CheckLines(both, "x.hex").back().starts_with(ExplainedCheckText));

    EXPECT_FALSE(run(false, false).allExplained()) << "an EEPROM byte written wrong without line damage";
    const ImageCheck leftOut = run(true, true);
    EXPECT_FALSE(leftOut.allExplained());
    const std::vector<std::string> lines = CheckLines(leftOut, "x.hex");
    EXPECT_EQ(std::count(lines.begin(), lines.end(),
                         "check: rows 0x100 to 0x180 (3 rows) differ, never written: NOT explained"),
              1)
        << testing::PrintToString(lines);
    EXPECT_TRUE(lines.back().starts_with("check FAILED: memory differs from x.hex in 4 flash row(s) and 1 EEPROM byte(s)"))
        << lines.back();
}

// --- the runner on a real pseudo-terminal -------------------------------------

class DeviceEnd {
public:
    explicit DeviceEnd(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
    ~DeviceEnd() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    void write(const Bytes& b) const { ASSERT_EQ(::write(fd_, b.data(), b.size()), static_cast<ssize_t>(b.size())); }
    // Reads until `want` bytes came, the line hung up, or `timeout` passed.
    Bytes read(std::size_t want, std::chrono::milliseconds timeout, bool* hungUp = nullptr) const {
        Bytes got;
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (got.size() < want && std::chrono::steady_clock::now() < end) {
            pollfd p{fd_, POLLIN, 0};
            ::poll(&p, 1, 20);
            std::uint8_t buf[256];
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n > 0) got.insert(got.end(), buf, buf + n);
            if ((n < 0 && errno == EIO) || (p.revents & POLLHUP)) {
                if (hungUp) *hungUp = true;
                break;
            }
        }
        return got;
    }

private:
    int fd_;
};

TEST(SimRunner, AnswersOverAPseudoTerminalAndWritesItsReport) {
    test::TempConfigDir config;
    SimConfig cfg = Dspic();
    cfg.version = 6;
    SimRunner runner(cfg);
    ASSERT_EQ(runner.mapPort(6), "");
    const auto mapped = posix::DevicePathOfPort(6);
    ASSERT_TRUE(mapped);
    EXPECT_EQ(std::filesystem::canonical(*mapped), std::filesystem::path(runner.devicePath()));
    runner.start();

    DeviceEnd line(runner.devicePath());
    ASSERT_TRUE(line.ok());
    line.write({WakeCode194});
    EXPECT_EQ(line.read(6, 5000ms), (Bytes{'V', 6, 252, 26, 0x84, 'K'}));

    // Half a frame, then quiet: the device forgets it and hears the next frame.
    const Bytes block = BlockFrame(0x80, 256, Scrambled(Pattern(256, 4), static_cast<std::uint8_t>(Key + 0x80)));
    line.write(Bytes(block.begin(), block.begin() + 100));
    EXPECT_TRUE(line.read(1, FrameGap + 300ms).empty());
    line.write(block);
    EXPECT_EQ(line.read(1, 5000ms), Bytes{'K'});
    line.write(EepromFrame(7, 0x42));
    EXPECT_EQ(line.read(1, 5000ms), Bytes{'K'});
    runner.stop();

    const Bytes flash = runner.flash();
    EXPECT_EQ(Bytes(flash.begin() + 0x100, flash.begin() + 0x200), Pattern(256, 4));
    EXPECT_EQ(runner.wakeBytesSeen(), 1);

    const auto report = config.path() / "report";
    runner.writeReport(report);
    std::ifstream flashFile(report / "flash.bin", std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(flashFile), {}), flash);
    std::ifstream eepromFile(report / "eeprom.bin", std::ios::binary);
    const Bytes eeprom(std::istreambuf_iterator<char>(eepromFile), {});
    ASSERT_EQ(eeprom.size(), static_cast<std::size_t>(DefaultEepromSize));
    EXPECT_EQ(eeprom[7], 0x42);
    std::ifstream log(report / "frames.log");
    std::vector<std::string> lines;
    for (std::string l; std::getline(log, l);) lines.push_back(l.substr(0, l.find(" answer=")));
    EXPECT_EQ(lines, (std::vector<std::string>{"1 wake-up code=194 accepted", "2 incomplete bytes=100 ignored "
                                                                             "(the line went quiet in the middle of the frame)",
                                               "3 block addr=0x000080 len=256 accepted",
                                               "4 eeprom index=7 value=0x42 accepted"}));
    std::ifstream summary(report / "summary.txt");
    std::string first;
    std::getline(summary, first);
    EXPECT_EQ(first, "4 frames: 3 accepted, 0 refused, 1 ignored, 0 muted");
}

TEST(SimRunner, AnswersLateAtLineSpeedAndHangsUpWhenTold) {
    SimConfig cfg = Pic18(67, 5);
    cfg.faults.lateMs = 200;
    cfg.faults.hangUpAfter = 2;
    SimRunner runner(cfg, RunnerOptions{.baud = 1200});
    runner.start();
    DeviceEnd line(runner.devicePath());
    ASSERT_TRUE(line.ok());

    const auto sent = std::chrono::steady_clock::now();
    line.write({WakeCode194});
    EXPECT_EQ(line.read(1, 10'000ms), Bytes{'V'});
    const auto first = std::chrono::steady_clock::now();
    EXPECT_EQ(line.read(5, 10'000ms).size(), 5u);
    // 200 ms late, plus 7 bytes of 11 bits at 1200 baud (64 ms); the answer
    // comes a byte at a time, its last five bytes 46 ms after the first.
    EXPECT_GE(std::chrono::steady_clock::now() - sent, 260ms);
    EXPECT_GE(std::chrono::steady_clock::now() - first, 40ms);

    line.write({EnterProgrammingCode});
    bool hungUp = false;
    EXPECT_EQ(line.read(2, 10'000ms, &hungUp), Bytes{'K'});
    EXPECT_TRUE(hungUp);
    EXPECT_TRUE(runner.waitForHangUp(5000ms));
}

// Answers that wait do not stop the device hearing the next frame: each is
// late from its own frame, a stray goes out at its own time, all in order.
TEST(SimRunner, LateAnswersAndStraysWaitInAQueueWhileTheDeviceReads) {
    SimConfig cfg = Pic18(67, 5);
    cfg.faults.lateMs = 400;
    cfg.faults.strays = {{2, 0, {'N'}}};
    SimRunner runner(cfg);
    runner.start();
    DeviceEnd line(runner.devicePath());
    ASSERT_TRUE(line.ok());
    line.write({WakeCode194});
    ASSERT_EQ(line.read(6, 10'000ms).size(), 6u);

    const auto sent = std::chrono::steady_clock::now();
    line.write(BlockFrame(0x40, 64, Pattern(64, 1)));
    EXPECT_EQ(line.read(1, 10'000ms), Bytes{'N'}) << "the stray, at once";
    EXPECT_LT(std::chrono::steady_clock::now() - sent, 300ms);
    line.write(BlockFrame(0x80, 64, Pattern(64, 2)));
    EXPECT_EQ(line.read(2, 10'000ms), (Bytes{'K', 'K'}));
    const auto both = std::chrono::steady_clock::now() - sent;
    EXPECT_GE(both, 400ms);
    // One after the other they would take 800 ms.
    EXPECT_LT(both, 750ms);
    runner.stop();
    EXPECT_EQ(runner.frames().size(), 3u);
}

// A station's socket: a module stays on until it is programmed, however long
// a station probes it with wake-ups; once programmed it goes off although the
// probing goes on, the line is silent for the change, and a blank one comes.
TEST(SimRunner, TakesTheProgrammedModuleOffAndPutsABlankOneOn) {
    SimRunner runner(Pic18(), RunnerOptions{.modules = 2, .moduleChangeGap = 500ms});
    runner.start();
    DeviceEnd line(runner.devicePath());
    ASSERT_TRUE(line.ok());
    // One wake-up of a search or a station's probe: whether anything answered.
    const auto probe = [&] {
        line.write({WakeCode194});
        return !line.read(64, 100ms).empty();
    };
    ASSERT_TRUE(probe());
    const ChipGeometry g = runner.geometry();
    line.write(BlockFrame(0, g.rowBytes, Pattern(g.rowBytes, 3)));
    EXPECT_EQ(line.read(1, 5000ms), Bytes{'K'});
    for (int k = 0; k < 6; ++k) EXPECT_TRUE(probe()) << k;  // not programmed: it stays

    line.write(BlockFrame(g.finalBlock, g.rowBytes, Pattern(g.rowBytes, 9)));
    EXPECT_EQ(line.read(1, 5000ms), Bytes{'K'});
    line.write(EepromFrame(0, 0x42));
    EXPECT_EQ(line.read(1, 5000ms), Bytes{'K'});
    std::string answers;  // '+' answered, '-' not
    for (int k = 0; k < 40 && !answers.ends_with("-+"); ++k) answers += probe() ? '+' : '-';
    // Off 300 ms after its EEPROM, on again 500 ms later.
    EXPECT_TRUE(answers.starts_with("++")) << answers;
    EXPECT_NE(answers.find("--"), std::string::npos) << answers;
    EXPECT_TRUE(answers.ends_with("-+")) << answers;
    runner.stop();

    ASSERT_EQ(runner.modulesPutOn(), 2);
    const Bytes first = runner.module(0).flash();
    const auto finalRow = first.begin() + static_cast<long>(g.finalBlock);
    EXPECT_FALSE(Erased(Bytes(finalRow, finalRow + g.rowBytes)));
    EXPECT_EQ(runner.module(0).eeprom()[0], 0x42);
    EXPECT_TRUE(Erased(runner.module(1).flash()));
    EXPECT_TRUE(Erased(runner.module(1).eeprom()));
    EXPECT_EQ(runner.flash(), runner.module(1).flash());
    EXPECT_EQ(runner.summary(1).front(), "1 frames: 1 accepted, 0 refused, 0 ignored, 0 muted");
    EXPECT_GE(runner.bytesWhileOff(), 3);
}

}  // namespace
}  // namespace torvane::bootsim
