// A write the port refuses ends the run at once, with the verdict a module
// that stays silent at that point gets, instead of waiting out its silence.

#include <gtest/gtest.h>

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "TestContext.h"
#include "bootloader/Frames.h"
#include "images/Scramble.h"
#include "ui/FrontEnds.h"
#include "ui/RunRecord.h"

namespace torvane {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Frame = std::span<const std::uint8_t>;

constexpr std::uint8_t Chip2580 = 67;  // a PIC18 with 64-byte rows
constexpr std::uint8_t BootLoaderVersion = 5;  // answers 204, keeps no device record

// A PIC18 image whose header codes suit every board, with EEPROM bytes.
struct Image {
    Bytes data = Bytes(3000, 0x5A), tail = Bytes(8, 0x11), eeprom = Bytes(4, 0x33);
    EmbeddedImage embedded;
    Image() {
        for (std::size_t at : {14u, 15u, 1024u, 1025u}) data[at] = ScrambleByte(0);
        embedded = {data.data(), static_cast<std::int32_t>(data.size()), tail.data(), 8, eeprom.data(), 4, 0, 0, 0};
    }
};

// A module that reports itself to the wake-up and acknowledges everything else.
void AnswerEverything(test::FakeLine& line, const Bytes& written) {
    if (written == Bytes{WakeCodeStandard})
        line.answer({'V', BootLoaderVersion, Chip2580, 0, 0, 'K'});
    else
        line.answer({'K'});
}

bool IsBlock(Frame f) { return f.size() > 6; }
bool IsEeprom(Frame f) { return f.size() == 6 && f[0] == EepromCommand; }

TEST(WriteFailure, EndsTheRunAtOnceWithTheVerdictOfSilence) {
    struct Case {
        const char* name;
        std::function<bool(Frame)> refuse;
        Outcome outcome;
        const char* verdict;
        int blocksWritten;
    };
    const Case cases[] = {
        {"wake-up", [](Frame f) { return f.size() == 1 && f[0] == WakeCodeStandard; }, Outcome::NotFound,
         "Device not Found", 0},
        {"enter programming", [](Frame f) { return f.size() == 1 && f[0] == EnterProgramming; },
         Outcome::NotAcknowledged, " not Response ", 0},
        {"a block frame", [n = 0](Frame f) mutable { return IsBlock(f) && ++n == 3; }, Outcome::NotAcknowledged,
         " not Response ", 2},
        // 46 full rows, the short last block and the final block went out.
        {"an EEPROM frame", IsEeprom, Outcome::NotAcknowledged, " not Response ", 48},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TestContext t;
        Image image;
        BuildImageTable(t.ctx.images, std::vector<ProductCell>{{0, SlotForChip(Chip2580), &image.embedded}});
        t.line().onWrite = AnswerEverything;
        // From the refused write on, the port takes nothing: any later
        // attempt would be counted.
        bool refusing = false;
        t.line().refuseWrite = [&](Frame f) { return refusing = refusing || c.refuse(f); };

        t.ctx.front().StartClick();

        EXPECT_EQ(t.ctx.outcome, c.outcome);
        EXPECT_EQ(t.ctx.front().VerdictText(), c.verdict);
        EXPECT_EQ(t.line().refusedWrites, 1) << "nothing is written, or tried again, after the refused write";
        EXPECT_LT(t.clock.elapsed(), AckTimeout) << "no wait for an answer to what was never written";
        int blocks = 0, eeprom = 0;
        for (const Bytes& w : t.line().writes) {
            blocks += IsBlock(w);
            eeprom += IsEeprom(w);
        }
        EXPECT_EQ(blocks, c.blocksWritten);
        EXPECT_EQ(eeprom, 0);
    }
}

}  // namespace
}  // namespace torvane
