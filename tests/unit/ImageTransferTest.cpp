#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <vector>

#include "ScriptedPump.h"
#include "TestContext.h"
#include "bootloader/AckedLink.h"
#include "bootloader/Frames.h"
#include "bootloader/ImageTransfer.h"
#include "images/Scramble.h"

using namespace torvane;
using namespace torvane::test;

namespace {

using Bytes = std::vector<std::uint8_t>;

// A transfer against a device that acknowledges every frame; the frames it
// received are the fake line's writes.
class TransferFixture : public ::testing::Test {
protected:
    TestContext t;
    Bytes data, tail, eeprom;

    void SetUp() override {
        t.openPort();
        t.line().onWrite = [](FakeLine& l, const Bytes&) { l.answer({'K'}); };
    }

    void Image(std::size_t size, std::size_t tailCount, std::size_t eepromCount, bool plain) {
        data.resize(size);
        for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * 3 + 1);
        tail.assign(tailCount, 0);
        for (std::size_t i = 0; i < tailCount; ++i) tail[i] = static_cast<std::uint8_t>(0xA0 + i);
        eeprom.assign(eepromCount, 0);
        for (std::size_t i = 0; i < eepromCount; ++i) eeprom[i] = static_cast<std::uint8_t>(i);
        auto& a = t.ctx.images.active;
        a = {data.data(), static_cast<std::int32_t>(size), eeprom.data(), static_cast<std::int32_t>(eepromCount),
             tail.data(), static_cast<std::int32_t>(tailCount), static_cast<std::uint8_t>(plain), 0, 0};
    }

    void Layout(std::uint32_t unit, std::uint32_t row, std::uint32_t finalAddress, std::uint32_t count) {
        auto& l = t.ctx.layout;
        l.addressUnit = unit;
        l.rowSize = row;
        l.finalBlockAddress = finalAddress;
        l.byteCount = count;
        l.bootJumpCount = unit == 2 ? 8 : 4;
    }

    SendResult Run() { return TransferImage(t.ctx); }

    // Address and length fields of each frame sent, without the final block.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> Blocks(int headerLength) {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
        for (const auto& w : t.line().writes) {
            if (w[0] == EepromCommand) continue;
            const std::uint32_t a = (std::uint32_t{w[0]} << 16) | (std::uint32_t{w[1]} << 8) | w[2];
            const std::uint32_t len = headerLength == 4 ? w[3] : (std::uint32_t{w[3]} << 8 | w[4]);
            out.emplace_back(a, len);
        }
        return out;
    }
};

TEST_F(TransferFixture, Pic18ShortLastBlockCarriesItsOwnLength) {
    Image(130, 8, 0, true);
    Layout(1, 64, 0x7E40, 130);
    ASSERT_EQ(Run(), SendOk);
    using P = std::pair<std::uint32_t, std::uint32_t>;
    EXPECT_EQ(Blocks(4), (std::vector<P>{{0x00, 64}, {0x40, 64}, {0x80, 2}, {0x7E40, 64}}));
    EXPECT_EQ(t.line().writes[2].size(), 4u + 2 + 1);
    // The boot jump went over the first bytes, unscrambled for a plain image.
    EXPECT_EQ(Bytes(t.line().writes[0].begin() + 4, t.line().writes[0].begin() + 8),
              Bytes(t.ctx.layout.bootJump.begin(), t.ctx.layout.bootJump.begin() + 4));
    // Final block of a plain image: header, 56 x 0xFF, the 8 tail bytes.
    const Bytes& fin = t.line().writes[3];
    ASSERT_EQ(fin.size(), 4u + 64 + 1);
    EXPECT_EQ(Bytes(fin.begin() + 4, fin.begin() + 60), Bytes(56, 0xFF));
    EXPECT_EQ(Bytes(fin.begin() + 60, fin.begin() + 68), tail);
}

TEST_F(TransferFixture, PadToRowFillsTheLastRowWithMaskedFiller) {
    Image(130, 8, 0, true);
    Layout(1, 64, 0xFE40, 130);
    t.ctx.layout.padToRow = 1;
    ASSERT_EQ(Run(), SendOk);
    const Bytes& last = t.line().writes[2];
    ASSERT_EQ(last.size(), 4u + 64 + 1);
    EXPECT_EQ(last[3], 64);
    EXPECT_EQ(last[4], data[128]);
    EXPECT_EQ(last[5], data[129]);
    // The filler is masked even for a plain image, by the block's address.
    EXPECT_EQ(Bytes(last.begin() + 6, last.begin() + 68), Bytes(62, static_cast<std::uint8_t>(0xFF ^ ScrambleByte(0x80))));
}

TEST_F(TransferFixture, ExactRowsSendTheLastFullRowAsTheLastBlock) {
    Image(128, 8, 0, true);
    Layout(1, 64, 0x7E40, 128);
    ASSERT_EQ(Run(), SendOk);
    using P = std::pair<std::uint32_t, std::uint32_t>;
    EXPECT_EQ(Blocks(4), (std::vector<P>{{0x00, 64}, {0x40, 64}, {0x7E40, 64}}));
}

TEST_F(TransferFixture, DspicBlocksHaveTwoLengthBytesAndHalfAddresses) {
    Image(300, 8, 0, false);
    Layout(2, 256, 0xA780, 300);
    ASSERT_EQ(Run(), SendOk);
    using P = std::pair<std::uint32_t, std::uint32_t>;
    EXPECT_EQ(Blocks(5), (std::vector<P>{{0, 256}, {128, 44}, {0xA780, 256}}));
    // Scrambled image: boot jump, fill and tail are masked; data goes as stored.
    const Bytes& first = t.line().writes[0];
    EXPECT_EQ(first[5], static_cast<std::uint8_t>(t.ctx.layout.bootJump[0] ^ ScrambleByte(0)));
    EXPECT_EQ(first[5 + 8], data[8]);
    const Bytes& fin = t.line().writes[2];
    EXPECT_EQ(fin[5], static_cast<std::uint8_t>(0xFF ^ ScrambleByte(0x80)));
    EXPECT_EQ(fin[5 + 255], static_cast<std::uint8_t>(tail[7] ^ ScrambleByte(0x80)));
}

TEST_F(TransferFixture, ProtectedRangeSkipsBlocksByTheAddressPastThem) {
    struct Case { std::uint32_t start, length; std::vector<std::uint32_t> skipped; };
    const Case cases[] = {
        {0x1000, 0x400, {0x0F80, 0x1000, 0x1080, 0x1100, 0x1180, 0x1200, 0x1280, 0x1300, 0x1380}},
        {0, 0x400, {}},  // start 0 disables the range
    };
    for (const auto& c : cases) {
        TestContext fresh;
        fresh.openPort();
        fresh.line().onWrite = [](FakeLine& l, const Bytes&) { l.answer({'K'}); };
        Image(0x3000, 8, 0, false);  // 0x1800 address units, 48 blocks
        fresh.ctx.images.active = t.ctx.images.active;
        fresh.ctx.layout = {};
        fresh.ctx.layout.addressUnit = 2;
        fresh.ctx.layout.rowSize = 256;
        fresh.ctx.layout.finalBlockAddress = 0xA780;
        fresh.ctx.layout.byteCount = 0x3000;
        fresh.ctx.layout.protectedRange = {c.start, c.length};
        ASSERT_EQ(TransferImage(fresh.ctx), SendOk);
        std::vector<std::uint32_t> sent;
        for (const auto& w : fresh.line().writes) sent.push_back((std::uint32_t{w[0]} << 16) | (w[1] << 8) | w[2]);
        for (std::uint32_t a = 0; a < 0x1800; a += 128) {
            const bool skip = std::find(c.skipped.begin(), c.skipped.end(), a) != c.skipped.end();
            EXPECT_EQ(std::count(sent.begin(), sent.end(), a), skip ? 0 : 1) << std::hex << "block 0x" << a;
        }
    }
}

TEST_F(TransferFixture, EepromGoesOneBytePerFrameWithTheLowIndexByte) {
    Image(64, 0, 301, true);
    Layout(1, 64, 0x7E40, 64);
    ASSERT_EQ(Run(), SendOk);
    const auto& w = t.line().writes;
    ASSERT_EQ(w.size(), 2u + 301);
    EXPECT_EQ(w[2], (Bytes{0x40, 0x00, 0x00, 0x01, 0x00, 0xBF}));
    EXPECT_EQ(w[2 + 300][1], 44);  // index 300 goes out as 44
    EXPECT_EQ(t.main.StatusBar1.panelText(StatusPanel), "Program EEP 300");
}

TEST_F(TransferFixture, NoEepromMeansNoEepromFrameAndNoCounter) {
    Image(64, 8, 0, true);
    Layout(1, 64, 0x7E40, 64);
    ASSERT_EQ(Run(), SendOk);
    EXPECT_EQ(t.line().writes.size(), 2u);
    EXPECT_EQ(t.main.StatusBar1.panelText(StatusPanel), "Fix Program");
}

TEST_F(TransferFixture, FiveRefusalsEndTheRunWithChkError) {
    Image(130, 8, 0, true);
    Layout(1, 64, 0x7E40, 130);
    t.line().onWrite = [](FakeLine& l, const Bytes&) { l.answer({'N'}); };
    EXPECT_EQ(Run(), SendRefused);
    EXPECT_EQ(t.line().writes.size(), 5u);
    EXPECT_EQ(t.main.Label2.caption(), " CHK Error !! ");
    EXPECT_EQ(t.ctx.outcome, Outcome::Refused);
}

// A device that takes its frames one after another and answers each `lateMs`
// after it took it in, where lateMs depends on the block (a slow row is slow
// for every copy of it); a frame that arrives while it is busy waits its turn.
// It notes whether a new block ever went out while an answer to an earlier
// one was still to come: the run would then count that answer for the new one.
class LateDevice {
public:
    LateDevice(TestContext& t, std::function<int(int block)> lateMs) : t_(t), lateMs_(std::move(lateMs)) {
        t.wire(pump_);
        pump_.onStep = [this](int) {
            while (!due_.empty() && due_.front() <= t_.clock.now()) {
                t_.line().answer({'K'});
                due_.pop_front();
            }
        };
        t.line().onWrite = [this](FakeLine& l, const Bytes& w) {
            if (w != last_) {
                if (!due_.empty() || !l.input.empty()) inStep = false;
                ++block_;
                last_ = w;
            }
            const auto taken = std::max(t_.clock.now(), busyUntil_);
            busyUntil_ = taken + std::chrono::milliseconds(lateMs_(block_));
            due_.push_back(busyUntil_);
        };
    }
    bool inStep = true;

private:
    TestContext& t_;
    std::function<int(int)> lateMs_;
    ScriptedPump pump_{t_.clock};
    std::deque<Clock::TimePoint> due_;
    Clock::TimePoint busyUntil_{};
    Bytes last_;
    int block_ = 0;
};

struct LateCase {
    const char* name;
    int lateBlock;  // the block (from 1) answered late; 0: every block
    int lateMs;
    SendResult result;
    std::size_t writes;
};

void PrintTo(const LateCase& c, std::ostream* os) { *os << c.name; }

class LateAnswers : public TransferFixture, public ::testing::WithParamInterface<LateCase> {};

// An answer later than the wait is never counted for the next frame, and a
// module that is always that late ends the transfer after a bounded number of
// silences instead of crawling through the whole image.
TEST_P(LateAnswers, AreCountedForTheirOwnFrame) {
    const auto& c = GetParam();
    Image(64 * 12, 8, 0, true);  // eleven blocks in the loop, the last block, the final block
    Layout(1, 64, 0x7E40, 64 * 12);
    LateDevice device(t, [&c](int block) { return c.lateBlock == 0 || block == c.lateBlock ? c.lateMs : 1; });
    EXPECT_EQ(Run(), c.result);
    EXPECT_EQ(t.line().writes.size(), c.writes);
    EXPECT_TRUE(device.inStep);
}

INSTANTIATE_TEST_SUITE_P(
    Transfer, LateAnswers,
    ::testing::Values(
        // The third block's answer comes after its resend went out: 14 frames in all.
        LateCase{"OneBlockAnswersLate", 3, 2300, SendOk, 14},
        // A block answered later than two waits ends the transfer at its second silence.
        LateCase{"OneBlockAnswersTooLate", 3, 4500, SendNoResponse, 4},
        // Every block late: eight resent blocks, then the ninth silence gives up.
        LateCase{"EveryBlockAnswersLate", 0, 2300, SendNoResponse, 2 * MaxSilencesPerTransfer + 1}),
    [](const auto& c) { return std::string(c.param.name); });

}  // namespace

namespace {

// A module behind a scripted line. It takes frames in the order they are
// written, keeps those it stores, and answers each in turn: `delayMs` after
// the frame came, and never before an earlier frame's answer, as a real
// device answers. What happens to a frame is decided by `plan` from the
// frame's place among the distinct frames of the transfer (from 0) and its
// copy (1 for the first write of it). Other bytes can be put on the line at
// set times: strays, or a late answer to an earlier command.
struct Fate {
    enum Kind { Stored, Refused, Lost } kind = Stored;
    int delayMs = 1;
    bool strayFirst = false;  // a stray 'K' reaches the line 1 ms after the frame came
};

class ScriptedModule {
public:
    ScriptedModule(TestContext& t, std::function<Fate(int frame, int copy)> plan) : t_(t), plan_(std::move(plan)) {
        t.wire(pump_);
        pump_.onStep = [this](int) {
            while (!due_.empty() && due_.begin()->first <= t_.clock.now()) {
                t_.line().input.push_back(due_.begin()->second);
                due_.erase(due_.begin());
            }
        };
        t.line().onWrite = [this](FakeLine&, const Bytes& w) {
            auto at = std::find(order_.begin(), order_.end(), w);
            if (at == order_.end()) at = order_.insert(order_.end(), w);
            const int frame = static_cast<int>(at - order_.begin());
            const Fate f = plan_(frame, ++copies_[frame]);
            if (f.strayFirst) due_.emplace(t_.clock.now() + std::chrono::milliseconds(1), 'K');
            if (f.kind == Fate::Lost) return;
            if (f.kind == Fate::Stored) stored_.push_back(w);
            lastAnswer_ = std::max(lastAnswer_, t_.clock.now() + std::chrono::milliseconds(f.delayMs));
            due_.emplace(lastAnswer_, f.kind == Fate::Stored ? 'K' : 'N');
        };
    }
    // Puts `byte` on the line `ms` after the module was made.
    void at(int ms, std::uint8_t byte) { due_.emplace(start_ + std::chrono::milliseconds(ms), byte); }
    // Every frame of `clean` was stored at least once.
    bool holds(const std::vector<Bytes>& clean) const {
        return std::all_of(clean.begin(), clean.end(), [this](const Bytes& f) {
            return std::find(stored_.begin(), stored_.end(), f) != stored_.end();
        });
    }

private:
    TestContext& t_;
    std::function<Fate(int, int)> plan_;
    ScriptedPump pump_{t_.clock};
    Clock::TimePoint start_ = t_.clock.now();
    std::multimap<Clock::TimePoint, std::uint8_t> due_;
    Clock::TimePoint lastAnswer_{};
    std::vector<Bytes> order_, stored_;
    std::map<int, int> copies_;
};

struct PairingCase {
    const char* name;
    std::function<Fate(int frame, int copy)> plan;
    std::vector<std::pair<int, std::uint8_t>> extra;  // ms after the start, byte
    bool owedAnswer = false;                           // a 204 went unanswered just before
};

void PrintTo(const PairingCase& c, std::ostream* os) { *os << c.name; }

class AnswerPairing : public TransferFixture, public ::testing::WithParamInterface<PairingCase> {};

// An answer that is not a frame's own never counts for it: whatever stray,
// late or second answers come, the transfer ends with every frame stored, or
// fails; never " Program Ok " over a row the module did not store.
TEST_P(AnswerPairing, NeverCountsAnotherFramesAnswer) {
    const auto& c = GetParam();
    Image(64 * 8, 8, 2, true);  // seven blocks in the loop, the last block, the final block, two EEPROM bytes
    Layout(1, 64, 0x7E40, 64 * 8);
    ASSERT_EQ(Run(), SendOk);
    const std::vector<Bytes> clean = t.line().writes;

    TestContext faulty;
    faulty.openPort();
    faulty.ctx.images.active = t.ctx.images.active;
    faulty.ctx.layout = t.ctx.layout;
    ScriptedModule module(faulty, c.plan);
    for (const auto& [ms, byte] : c.extra) module.at(ms, byte);
    if (c.owedAnswer) faulty.ctx.answerOwedSince = faulty.clock.now() - AckTimeout;
    const auto r = TransferImage(faulty.ctx);
    EXPECT_EQ(r, SendOk) << "the link recovers from one such fault";
    if (r == SendOk) {
        EXPECT_TRUE(module.holds(clean)) << "Program Ok over a frame the module never stored";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Transfer, AnswerPairing,
    ::testing::Values(
        // Block 3's copy is damaged and refused, but a stray 'K' comes first.
        PairingCase{"StrayAckBeforeARefusal",
                    [](int frame, int copy) { return frame == 3 && copy == 1 ? Fate{Fate::Refused, 8, true} : Fate{}; },
                    {}},
        // The 204's answer comes after its wait, while block 0's first copy
        // arrived damaged: the late 'K' lands in block 0's wait.
        PairingCase{"Late204AnswerWithBlock0Damaged",
                    [](int frame, int copy) { return frame == 0 && copy == 1 ? Fate{Fate::Refused, 310} : Fate{}; },
                    {{300, 'K'}}, true},
        // The same, with block 0 lost altogether while the device erased.
        PairingCase{"Late204AnswerWithBlock0Lost",
                    [](int frame, int copy) { return frame == 0 && copy == 1 ? Fate{Fate::Lost} : Fate{}; },
                    {{300, 'K'}}, true},
        // Silence on any frame is answered by one resend: the last block
        // (frame 7), the final block (8) and an EEPROM frame (10) alike.
        PairingCase{"SilenceOnTheLastBlock",
                    [](int frame, int copy) { return frame == 7 && copy == 1 ? Fate{Fate::Lost} : Fate{}; }, {}},
        PairingCase{"SilenceOnTheFinalBlock",
                    [](int frame, int copy) { return frame == 8 && copy == 1 ? Fate{Fate::Lost} : Fate{}; }, {}},
        PairingCase{"SilenceOnAnEepromFrame",
                    [](int frame, int copy) { return frame == 10 && copy == 1 ? Fate{Fate::Lost} : Fate{}; }, {}},
        // Six stray 'K's, one in each of the first frames' waits, start a
        // chain: every frame's own answer (60 ms late) lands in the wait of
        // the frame six on, block 3's refusal too.
        PairingCase{"ARefusalInsideAChainOfLateAnswers",
                    [](int frame, int copy) {
                        if (copy > 1) return Fate{};
                        return Fate{frame == 3 ? Fate::Refused : Fate::Stored, 60};
                    },
                    {{1, 'K'}, {6, 'K'}, {11, 'K'}, {16, 'K'}, {21, 'K'}, {26, 'K'}}},
        // Block 3 answers after the wait, its resend later than the time the
        // link listens for a second answer; block 4 is then refused.
        PairingCase{"ResendAnsweredAfterTheDuplicateWindow",
                    [](int frame, int copy) {
                        if (frame == 3 && copy <= 2) return Fate{Fate::Stored, copy == 1 ? 2300 : 3000};
                        if (frame == 4 && copy == 1) return Fate{Fate::Refused, 1};
                        return Fate{};
                    },
                    {}}),
    [](const auto& c) { return std::string(c.param.name); });

}  // namespace

namespace {

// A line that damages frame after frame: up to the limit of anomalies the
// transfer goes on and succeeds; past it, it ends with its own verdict
// instead of vouching for a result the 8-bit sums could not guard.
TEST_F(TransferFixture, TooManyAnomaliesEndTheTransferAsALineTooNoisy) {
    Image(64 * 8, 8, 2, true);  // eleven frames
    Layout(1, 64, 0x7E40, 64 * 8);
    for (const int refused : {NoisyLineAnomalies, NoisyLineAnomalies + 1}) {
        SCOPED_TRACE(refused);
        TestContext line;
        line.openPort();
        line.ctx.images.active = t.ctx.images.active;
        line.ctx.layout = t.ctx.layout;
        ScriptedModule module(line, [refused](int frame, int copy) {
            return frame < refused && copy == 1 ? Fate{Fate::Refused} : Fate{};
        });
        const bool tooNoisy = refused > NoisyLineAnomalies;
        EXPECT_EQ(TransferImage(line.ctx), tooNoisy ? SendLineTooNoisy : SendOk);
        EXPECT_EQ(line.ctx.tally.anomalies, refused);
        if (tooNoisy) {
            EXPECT_EQ(line.main.Label2.caption(), " Line too noisy !! ");
            EXPECT_EQ(line.main.StatusBar1.panelText(DetailPanel), "too much damage on the line to trust the result");
            EXPECT_EQ(line.ctx.outcome, Outcome::NoisyLine);
        }
    }
}

}  // namespace
