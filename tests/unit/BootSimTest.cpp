// The simulated boot loader: its answers, where written data lands, the rules
// it enforces, the faults it injects, and the runner on a real pseudo-terminal.

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
#include <string>
#include <vector>

#include "TempConfigDir.h"
#include "bootloader/ReplyDecoder.h"
#include "images/ProductData.h"
#include "tools/mkimage/ProductPacker.h"
#include "platform/posix/PortMap.h"
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
