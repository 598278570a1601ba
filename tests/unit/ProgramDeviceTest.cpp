#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "TestContext.h"
#include "bootloader/Frames.h"
#include "bootloader/ProgramDevice.h"
#include "bootloader/Suitability.h"
#include "images/Scramble.h"

using namespace torvane;
using namespace torvane::test;

namespace {

using Bytes = std::vector<std::uint8_t>;

// An image whose header codes read as hardware 0 (suits every board).
struct Image {
    Bytes data, tail = Bytes(8, 0x11), eeprom;
    EmbeddedImage embedded;
    explicit Image(std::size_t size) : data(size, 0x5A) {
        for (std::size_t at : {std::size_t{14}, std::size_t{15}, std::size_t{1024}, std::size_t{1025}})
            if (at < size) data[at] = ScrambleByte(0);
        embedded = {data.data(), static_cast<std::int32_t>(size), tail.data(), 8, eeprom.data(), 0, 0, 0, 0};
    }
};

// A device that acknowledges everything, already found by a search.
class ProgramFixture : public ::testing::Test {
protected:
    TestContext t;
    void SetUp() override {
        t.openPort();
        t.line().onWrite = [](FakeLine& l, const Bytes&) { l.answer({'K'}); };
    }
    void Device(std::uint8_t chip, std::uint8_t version, bool identity = true) {
        t.ctx.identity.chipCode = chip;
        t.ctx.identity.biosVersion = version;
        t.ctx.identity.identitySeen = identity ? 1 : 0;
        t.ctx.identity.recordDone = 1;
    }
    void Product(std::initializer_list<ProductCell> cells) { BuildImageTable(t.ctx.images, std::vector<ProductCell>(cells)); }
    std::int32_t Run() { return ProgramDevice(t.ctx); }
    bool Sent204() const {
        const auto& w = const_cast<ProgramFixture*>(this)->t.line().writes;
        return std::any_of(w.begin(), w.end(), [](const Bytes& b) { return b == Bytes{EnterProgramming}; });
    }
    std::string Detail() { return t.main.StatusBar1.panelText(DetailPanel); }
};

TEST_F(ProgramFixture, LayoutFollowsTheChipAndTheBootLoaderVersion) {
    struct Case {
        std::uint8_t chip, version;
        ImageSlot slot;
        std::size_t size;
        std::uint32_t finalAddress, byteCount;
        Bytes jump;
        bool sends204;
        const char* detail;
    };
    const Case cases[] = {
        {70, 5, 4, 3000, 0x1E40, 3000, {0x80, 0xEF, 0x0F, 0xF0}, true, "Loaded 3000 bytes (0000 to 0BB8)"},
        {67, 6, 1, 40000, 0x7E40, 32320, {0x40, 0xEF, 0x3F, 0xF0}, true, "Loaded 40000 bytes (0000 to 7E40)"},
        {67, 4, 1, 40000, 0x7EC0, 32448, {0x80, 0xEF, 0x3F, 0xF0}, false, "Loaded 40000 bytes (0000 to 7EC0)"},
        {199, 5, 5, 2000, 0x3BC0, 2000, {0x00, 0xEF, 0x1E, 0xF0}, true, "Loaded 2000 bytes (0000 to 07D0)"},
        {72, 5, 9, 2000, 0xFE40, 2000, {0x40, 0xEF, 0x7F, 0xF0}, true, "Loaded 2000 bytes (0000 to 07D0)"},
        {252, 10, 6, 80000, 0xA780, 80000, {0x00, 0xA8, 0x04, 0x00, 0, 0, 0, 0}, true, "Loaded 40000 bytes (0000 to 9C40)"},
        {252, 10, 6, 85760, 0xA780, 85760, {0x00, 0xA8, 0x04, 0x00, 0, 0, 0, 0}, true, "Loaded 42880 bytes (0000 to A780)"},
        {253, 4, 7, 4000, 0x15380, 4000, {0x00, 0x54, 0x04, 0x00, 0x01, 0, 0, 0}, false, "Loaded 2000 bytes (0000 to 07D0)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "chip " << int(c.chip) << " version " << int(c.version));
        TestContext fresh;
        fresh.openPort();
        fresh.line().onWrite = [](FakeLine& l, const Bytes&) { l.answer({'K'}); };
        Image image(c.size);
        BuildImageTable(fresh.ctx.images, std::vector<ProductCell>{{0, c.slot, &image.embedded}});
        fresh.ctx.identity = {};
        fresh.ctx.identity.chipCode = c.chip;
        fresh.ctx.identity.biosVersion = c.version;
        fresh.ctx.identity.identitySeen = 1;
        fresh.ctx.identity.recordDone = 1;
        ProgramDevice(fresh.ctx);
        EXPECT_EQ(fresh.ctx.outcome, Outcome::Programmed);
        EXPECT_EQ(fresh.ctx.layout.finalBlockAddress, c.finalAddress);
        EXPECT_EQ(fresh.ctx.layout.byteCount, c.byteCount);
        EXPECT_EQ(Bytes(fresh.ctx.layout.bootJump.begin(), fresh.ctx.layout.bootJump.begin() + fresh.ctx.layout.bootJumpCount), c.jump);
        const auto& w = fresh.line().writes;
        EXPECT_EQ(std::count(w.begin(), w.end(), Bytes{EnterProgramming}), c.sends204 ? 1 : 0);
        EXPECT_EQ(fresh.main.StatusBar1.panelText(DetailPanel), c.detail);
        EXPECT_EQ(fresh.main.Label2.caption(), " Program Ok ");
    }
}

TEST_F(ProgramFixture, RefusalsComeBeforeAnyFrame) {
    struct Case {
        std::uint8_t chip, version;
        std::size_t size;  // of the image in the chip's slot (row 0)
        ImageSlot slot;
        const char* result;
        const char* devicePanel;
        Outcome outcome;
    };
    const Case cases[] = {
        {252, 33, 2000, 6, " Incompatible Bootloader !! ", "", Outcome::Incompatible},
        {100, 10, 2000, 0, " Error !! ", "Unknow Device", Outcome::UnknownDevice},
        {66, 10, 1, 0, " No Hex inside !! ", "Warning", Outcome::NoImage},
        {252, 10, 85761, 6, " Hex too Big !! ", "Warning", Outcome::NoImage},
        // No boot jump is known for K80 parts behind a loader older than 5.
        {71, 4, 2000, 8, " Incompatible Bootloader !! ", "", Outcome::Incompatible},
        // Scrambled images too short to hold their header codes are not read past their end.
        {67, 10, 15, 1, " Error !! ", "Found 2580", Outcome::NoImage},
        {252, 10, 1025, 6, " Error !! ", "Found 33FJ64", Outcome::NoImage},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.result);
        TestContext fresh;
        fresh.openPort();
        fresh.line().onWrite = [](FakeLine& l, const Bytes&) { l.answer({'K'}); };
        Image image(c.size);
        BuildImageTable(fresh.ctx.images, std::vector<ProductCell>{{0, c.slot, &image.embedded}});
        fresh.ctx.identity.chipCode = c.chip;
        fresh.ctx.identity.biosVersion = c.version;
        fresh.ctx.identity.identitySeen = 1;
        fresh.ctx.identity.recordDone = 1;
        EXPECT_EQ(ProgramDevice(fresh.ctx), 0);
        EXPECT_TRUE(fresh.line().writes.empty());
        EXPECT_EQ(fresh.main.Label2.caption(), c.result);
        EXPECT_EQ(fresh.main.StatusBar1.panelText(DevicePanel), c.devicePanel);
        EXPECT_EQ(fresh.ctx.outcome, c.outcome);
        EXPECT_TRUE(fresh.main.Button1.visible());  // idle again
    }
}

TEST_F(ProgramFixture, DeviceWithoutIdentityIsHardwareTwoWithout204OrComparison) {
    Image image(3000);
    image.data[14] = static_cast<std::uint8_t>(9 ^ ScrambleByte(0));  // image for board 9
    Image other(3000);
    Product({{0, 1, &image.embedded}, {2, 1, &other.embedded}});
    Device(67, 0, false);
    t.ctx.identity.hardwareCode = 40;
    Run();
    EXPECT_EQ(t.ctx.outcome, Outcome::Programmed);
    EXPECT_FALSE(Sent204());
    // Taken as board 2 (not 40): row 2's own image for slot 1 was sent.
    EXPECT_EQ(t.ctx.images.active.data, other.data.data());
}

TEST_F(ProgramFixture, SequenceModeCarriesOutTheRepeatActionOfAProgrammedSlot) {
    Image k80(2000), ds(2000);
    Product({{0, 9, &k80.embedded}, {0, 6, &ds.embedded}});
    t.ctx.SequenceMode = 1;
    // First pass on each slot programs it and returns what is still pending.
    Device(72, 10);
    EXPECT_EQ(Run(), 1);
    Device(252, 10);
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(t.ctx.outcome, Outcome::Programmed);

    // Slot 9 again: a one-second pause, nothing sent.
    t.line().writes.clear();
    Device(72, 10);
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(Run(), 1);
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(1000));
    EXPECT_TRUE(t.line().writes.empty());

    // Slot 6 again: the access-text frame, then the command-4 frame.
    Device(252, 10);
    EXPECT_EQ(Run(), 1);
    ASSERT_EQ(t.line().writes.size(), 2u);
    EXPECT_EQ(t.line().writes[0].size(), 19u);
    EXPECT_EQ(t.line().writes[1], (Bytes{0x04, 0x00, 0x00, 0x04}));
    EXPECT_EQ(t.ctx.outcome, Outcome::RepeatDone);
}

TEST_F(ProgramFixture, K80TailBytesFromIndexFourAreZeroed) {
    Image k80(2000);
    Product({{0, 9, &k80.embedded}});
    Device(72, 10);
    Run();
    EXPECT_EQ(k80.tail, (Bytes{0x11, 0x11, 0x11, 0x11, 0, 0, 0, 0}));
}

TEST(Suitability, FollowsTheHardwareAndPreparationRules) {
    struct Case { std::uint8_t ih, ip, dh, dp; bool identity, suits; };
    const Case cases[] = {
        {0x20, 0x04, 0x10, 0x04, true, true},    // a 0x20 image suits 0x10 boards
        {0x10, 0x04, 0x20, 0x04, true, false},   // not the other way
        {5, 0x85, 5, 3, true, true},             // board 3 takes any bit-7 image
        {5, 0x84, 5, 0x91, true, true},          // both bit 7
        {5, 0x01, 5, 0x11, true, false},         // board bit 4 needs image bit 4
        {5, 0x14, 5, 0x01, true, true},          // image bit 4 alone does not matter
        {5, 0x01, 5, 0x02, true, true},
        {5, 0x02, 5, 0x02, true, true},
        {5, 0x04, 5, 0x02, true, true},
        {5, 0x05, 5, 0x02, true, false},
        {5, 0x04, 5, 0x05, true, true},
        {5, 0x01, 5, 0x05, true, false},
        {5, 0x27, 5, 0x07, true, false},         // bit 5 counts
        {5, 0x01, 9, 0x07, false, true},         // no identity: never compared
        {255, 0x01, 9, 0x07, true, true},        // image for no board in particular
        {0, 0x01, 9, 0x07, true, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ImageSuitsBoard(c.ih, c.ip, c.dh, c.dp, c.identity), c.suits)
            << std::hex << "ih " << int(c.ih) << " ip " << int(c.ip) << " dh " << int(c.dh) << " dp " << int(c.dp);
}

TEST_F(ProgramFixture, UnsuitableBoardIsWarnedAndNothingIsSent) {
    Image image(3000);
    image.data[14] = static_cast<std::uint8_t>(26 ^ ScrambleByte(0));
    image.data[15] = static_cast<std::uint8_t>(0x84 ^ ScrambleByte(0));
    Product({{0, 1, &image.embedded}});
    Device(67, 10);
    t.ctx.identity.hardwareCode = 5;
    t.ctx.identity.preparationCode = 0x84;
    EXPECT_EQ(Run(), 0);
    EXPECT_TRUE(t.line().writes.empty());
    EXPECT_EQ(t.main.Label2.caption(), "27 - Preparation 84");
    EXPECT_EQ(t.main.StatusBar1.panelText(DevicePanel), "Warning!!");
    EXPECT_EQ(t.main.StatusBar1.panelText(DetailPanel), "not suitable apparatus");
    EXPECT_EQ(t.ctx.outcome, Outcome::NotSuitable);
}

}  // namespace
