#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <vector>

#include "ScriptedPump.h"
#include "TestContext.h"
#include "bootloader/Frames.h"
#include "bootloader/ProgramDevice.h"
#include "bootloader/Suitability.h"
#include "images/ProductData.h"
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

// Every chip the updater knows, with an image of its own in each slot (filled
// with the slot number), so the bytes sent show which slot the chip took.
TEST(ChipTable, EveryKnownChipFindsItsSlotNameAndLayout) {
    struct Case {
        std::uint8_t chip, version;
        ImageSlot slot;
        const char* panel;
        std::uint32_t finalAddress;
        Bytes jump;
    };
    const Case cases[] = {
        {66, 10, 0, "Found 258", 0x7E40, {0x40, 0xEF, 0x3F, 0xF0}},
        {66, 4, 0, "Found 258", 0x7EC0, {0x80, 0xEF, 0x3F, 0xF0}},
        {67, 10, 1, "Found 2580", 0x7E40, {0x40, 0xEF, 0x3F, 0xF0}},
        {68, 10, 2, "Found 2480", 0x3E40, {0x40, 0xEF, 0x1F, 0xF0}},
        {68, 4, 2, "Found 2480", 0x3EC0, {0x80, 0xEF, 0x1F, 0xF0}},
        {69, 10, 3, "Found 248", 0x3E40, {0x40, 0xEF, 0x1F, 0xF0}},
        {69, 4, 3, "Found 248", 0x3EC0, {0x80, 0xEF, 0x1F, 0xF0}},
        {70, 4, 4, "Found 2320", 0x1EC0, {0x80, 0xEF, 0x0F, 0xF0}},
        {71, 10, 8, "Found 18F25k80", 0x7E40, {0x40, 0xEF, 0x3F, 0xF0}},
        {72, 10, 9, "Found 18F26k80", 0xFE40, {0x40, 0xEF, 0x7F, 0xF0}},
        {199, 4, 5, "Found 24j10", 0x3BC0, {0x00, 0xEF, 0x1E, 0xF0}},
        {252, 4, 6, "Found 33FJ64", 0xA780, {0x00, 0xA8, 0x04, 0x00, 0, 0, 0, 0}},
        {254, 10, 6, "Found 24HJ64", 0xA780, {0x00, 0xA8, 0x04, 0x00, 0, 0, 0, 0}},
        {253, 10, 7, "Found 33FJ128 - 24HJ128", 0x15380, {0x00, 0x54, 0x04, 0x00, 0x01, 0, 0, 0}},
    };
    std::deque<Image> images;
    std::vector<ProductCell> cells;
    for (std::uint8_t slot = 0; slot < SelectableSlots; ++slot) {
        Image& image = images.emplace_back(3000);
        for (std::size_t i = 16; i < 1024; ++i) image.data[i] = slot;
        cells.push_back({0, slot, &image.embedded});
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "chip " << int(c.chip) << " version " << int(c.version));
        TestContext t;
        t.openPort();
        t.line().onWrite = [](FakeLine& l, const Bytes&) { l.answer({'K'}); };
        BuildImageTable(t.ctx.images, cells);
        t.ctx.identity.chipCode = c.chip;
        t.ctx.identity.biosVersion = c.version;
        t.ctx.identity.recordDone = 1;
        ProgramDevice(t.ctx);
        ASSERT_EQ(t.ctx.outcome, Outcome::Programmed) << t.main.Label2.caption();
        EXPECT_EQ(t.main.StatusBar1.panelText(DevicePanel), c.panel);
        EXPECT_EQ(t.line().writes.front()[30], c.slot);  // an image byte of the first block
        EXPECT_EQ(t.ctx.layout.finalBlockAddress, c.finalAddress);
        EXPECT_EQ(Bytes(t.ctx.layout.bootJump.begin(), t.ctx.layout.bootJump.begin() + t.ctx.layout.bootJumpCount),
                  c.jump);
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
    // Taken as board 2 (not 40): row 2's own image for slot 1 was sent (its
    // header byte differs from row 0's; the first bytes carry the boot jump).
    const auto* sent = t.ctx.images.active.data;
    EXPECT_EQ(Bytes(sent + 4, sent + 3000), Bytes(other.data.begin() + 4, other.data.end()));
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
    const auto before = t.clock.elapsed();
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(t.clock.elapsed() - before, RepeatWait);
    EXPECT_TRUE(t.line().writes.empty());

    // Slot 6 again: the access-text frame, then the command-4 frame.
    Device(252, 10);
    EXPECT_EQ(Run(), 1);
    ASSERT_EQ(t.line().writes.size(), 2u);
    EXPECT_EQ(t.line().writes[0].size(), 19u);
    EXPECT_EQ(t.line().writes[1], (Bytes{0x04, 0x00, 0x00, 0x04}));
    EXPECT_EQ(t.ctx.outcome, Outcome::RepeatDone);
}

// Stop pressed in one of the sequence's pauses between modules ends the
// sequence there instead of after the pause.
TEST_F(ProgramFixture, StopEndsTheSequencesPausesBetweenModules) {
    Image k80(2000), ds(2000);
    Product({{0, 9, &k80.embedded}, {0, 6, &ds.embedded}});
    t.ctx.SequenceMode = 1;
    test::ScriptedPump pump{t.clock};
    t.wire(pump);
    const auto stopWhen = [&](std::function<bool()> reached) {
        pump.onStep = [&t = t, reached](int) {
            if (reached()) t.ctx.receiver.abort = 1;
        };
    };

    // The K80 slot settles after it is programmed: stopped there, the module
    // keeps its verdict and nothing more is pending for this START.
    Device(72, 10);
    stopWhen([&] { return t.ctx.outcome == Outcome::Programmed; });
    auto before = t.clock.elapsed();
    EXPECT_EQ(Run(), 0);
    EXPECT_LT(t.clock.elapsed() - before, K80Settle);
    EXPECT_EQ(t.ctx.outcome, Outcome::Programmed);
    EXPECT_EQ(t.ctx.receiver.abort, 0) << "the Stop is used up, not left for the next START";

    // Slot 9 again: its one-second pause.
    t.line().writes.clear();
    Device(72, 10);
    stopWhen([] { return true; });
    before = t.clock.elapsed();
    EXPECT_EQ(Run(), 0);
    EXPECT_LT(t.clock.elapsed() - before, RepeatWait);
    EXPECT_EQ(t.main.Label2.caption(), " User Abort !! ");

    // Slot 6, programmed once, then again: stopped after the access-text
    // frame, the command-4 frame is never sent.
    Device(252, 10);
    pump.onStep = nullptr;
    Run();
    t.line().writes.clear();
    Device(252, 10);
    stopWhen([&] { return !t.line().writes.empty(); });
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(t.line().writes.size(), 1u);
    EXPECT_EQ(t.ctx.outcome, Outcome::Aborted);
}

TEST_F(ProgramFixture, K80TailBytesFromIndexFourAreZeroedForTheLifeOfTheContext) {
    Image k80(2000);
    Product({{0, 9, &k80.embedded}});
    Device(72, 10);
    Run();
    const auto tailOf = [&] { return Bytes(t.ctx.images.cell(0, 9).tailBytes, t.ctx.images.cell(0, 9).tailBytes + 8); };
    const Bytes zeroed{0x11, 0x11, 0x11, 0x11, 0, 0, 0, 0};
    EXPECT_EQ(tailOf(), zeroed);
    const Bytes& finalBlock = t.line().writes.back();
    Bytes scrambled;  // as the final block below 0xFE40 carries them
    for (auto b : zeroed) scrambled.push_back(static_cast<std::uint8_t>(b ^ ScrambleByte(0x40)));
    EXPECT_EQ(Bytes(finalBlock.end() - 9, finalBlock.end() - 1), scrambled);  // before the checksum
    EXPECT_EQ(k80.tail, Bytes(8, 0x11));  // the image it was built from is never written

    // A table built again, as each front end builds it, keeps this context's patches.
    Product({{0, 9, &k80.embedded}});
    EXPECT_EQ(tailOf(), zeroed);
    EXPECT_EQ(t.ctx.images.cell(0, 9).data[0], static_cast<std::uint8_t>(0x40 ^ ScrambleByte(0)));
}

// Two contexts in one process, one run each on the same compiled-in image:
// behind an old and a new boot loader the boot jumps differ, and each context
// keeps its own.
TEST(ImageCopies, TwoContextsNeverSeeEachOthersPatches) {
    Image pic18(3000), k80(2000);
    const std::vector<ProductCell> cells{{0, 1, &pic18.embedded}, {0, 9, &k80.embedded}};
    struct Run { std::uint8_t version; Bytes jump; };
    const Run runs[] = {{4, {0x80, 0xEF, 0x3F, 0xF0}}, {10, {0x40, 0xEF, 0x3F, 0xF0}}};
    TestContext a, b;
    TestContext* contexts[] = {&a, &b};
    const auto program = [](TestContext& c, std::uint8_t chip, std::uint8_t version) {
        c.ctx.identity.chipCode = chip;
        c.ctx.identity.biosVersion = version;
        c.ctx.identity.identitySeen = 1;
        c.ctx.identity.recordDone = 1;
        ProgramDevice(c.ctx);
        EXPECT_EQ(c.ctx.outcome, Outcome::Programmed) << c.main.Label2.caption();
    };
    for (int n = 0; n < 2; ++n) {
        TestContext& c = *contexts[n];
        c.openPort();
        c.line().onWrite = [](FakeLine& l, const Bytes&) { l.answer({'K'}); };
        BuildImageTable(c.ctx.images, cells);
        program(c, 67, runs[n].version);
    }
    program(b, 72, 10);  // B programs a K80 part too; A's tail stays as compiled in

    for (int n = 0; n < 2; ++n) {
        SCOPED_TRACE(n == 0 ? "context A" : "context B");
        TestContext& c = *contexts[n];
        Bytes masked;
        for (auto j : runs[n].jump) masked.push_back(static_cast<std::uint8_t>(j ^ ScrambleByte(0)));
        const auto* copy = c.ctx.images.cell(0, 1).data;
        EXPECT_EQ(Bytes(copy, copy + 4), masked);
        const auto& w = c.line().writes;
        const Bytes& firstBlock = *std::find_if(w.begin(), w.end(), [](const Bytes& f) { return f.size() == 4 + 64 + 1; });
        EXPECT_EQ(Bytes(firstBlock.begin() + 4, firstBlock.begin() + 8), masked);
    }
    EXPECT_EQ(a.ctx.images.cell(0, 9).tailBytes, k80.tail.data());  // never copied: A did not program it
    EXPECT_EQ(b.ctx.images.cell(0, 9).tailBytes[4], 0);
    EXPECT_EQ(pic18.data, Image(3000).data);
    EXPECT_EQ(k80.data, Image(2000).data);
    EXPECT_EQ(k80.tail, Bytes(8, 0x11));
}

// The product's own images, compiled in as read-only data, are shared by
// every context and changed by none.
TEST(ImageCopies, TheProductsImagesStayAsCompiledIn) {
    TestContext k80Run, dspicRun;
    const auto& productK80 = *std::find_if(product::Cells().begin(), product::Cells().end(), [](const ProductCell& c) {
                                  return c.row == 0 && c.slot == 9;
                              })->image;
    const auto& productDspic = *std::find_if(product::Cells().begin(), product::Cells().end(), [](const ProductCell& c) {
                                   return c.row == 0 && c.slot == 6;
                               })->image;
    ASSERT_GT(productK80.size, 1) << "the product carries a K80 image";
    ASSERT_GT(productDspic.size, 1) << "the product carries a dsPIC image";
    const Bytes k80Start(productK80.data, productK80.data + 8), k80Tail(productK80.tailBytes, productK80.tailBytes + productK80.tailCount);
    const Bytes dspicStart(productDspic.data, productDspic.data + 8);

    const std::pair<TestContext*, std::uint8_t> runs[] = {{&k80Run, 72}, {&dspicRun, 252}};
    for (auto [c, chip] : runs) {
        c->openPort();
        c->line().onWrite = [](FakeLine& l, const Bytes&) { l.answer({'K'}); };
        BuildImageTable(c->ctx.images);
        c->ctx.identity.chipCode = chip;
        c->ctx.identity.biosVersion = 10;
        c->ctx.identity.recordDone = 1;  // no identity: no board comparison
        ProgramDevice(c->ctx);
        ASSERT_EQ(c->ctx.outcome, Outcome::Programmed) << c->main.Label2.caption();
    }
    EXPECT_NE(k80Run.ctx.images.cell(0, 9).data, productK80.data);
    EXPECT_EQ(k80Run.ctx.images.cell(0, 6).data, productDspic.data);  // only what a context programs is copied
    EXPECT_EQ(dspicRun.ctx.images.cell(0, 9).data, productK80.data);
    EXPECT_NE(dspicRun.ctx.images.cell(0, 6).data, productDspic.data);
    EXPECT_EQ(Bytes(productK80.data, productK80.data + 8), k80Start);
    EXPECT_EQ(Bytes(productK80.tailBytes, productK80.tailBytes + productK80.tailCount), k80Tail);
    EXPECT_EQ(Bytes(productDspic.data, productDspic.data + 8), dspicStart);
    EXPECT_EQ(k80Run.ctx.images.cell(0, 9).tailBytes[productK80.tailCount - 1], 0);
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
