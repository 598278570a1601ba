// Frame layouts and checksums, acknowledged transmission of one frame against
// a scripted device, and the verdicts of the transmission results.

#include <gtest/gtest.h>

#include <array>
#include <numeric>
#include <string>
#include <vector>

#include "RecordingStatusBar.h"
#include "ScriptedPump.h"
#include "TestContext.h"
#include "bootloader/AckedLink.h"
#include "bootloader/Frames.h"

namespace torvane {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::RecordingStatusBar;
using test::TestContext;

Bytes Head(const std::array<std::uint8_t, FrameBufferSize>& buffer, int count) {
    return Bytes(buffer.begin(), buffer.begin() + count);
}

TEST(Frames, EepromFrameAndItsChecksum) {
    std::array<std::uint8_t, FrameBufferSize> buffer{};
    ASSERT_EQ(BuildEepromFrame(buffer, 3, 0x5A), 5);
    EXPECT_EQ(Head(buffer, 5), (Bytes{0x40, 0x03, 0x5A, 0x01, 0x00}));
    EXPECT_EQ(Checksum8({buffer.data(), 5}), 0x62);
    EXPECT_EQ(buffer[5], 0xFF) << "the rest of the buffer carries the fill";

    BuildEepromFrame(buffer, 300, 0x00);
    EXPECT_EQ(buffer[1], 44) << "only the low 8 bits of the index go on the wire";
}

TEST(Frames, BlockFramesCarryOneOrTwoLengthBytes) {
    struct Case {
        const char* name;
        std::uint32_t address, rowSize;
        std::size_t dataBytes;
        Bytes header;
    };
    const Case cases[] = {
        {"PIC18 full row", 0x000040, 64, 64, {0x00, 0x00, 0x40, 64}},
        {"PIC18 short last block", 0x000080, 64, 2, {0x00, 0x00, 0x80, 2}},
        {"dsPIC full row", 0x012300, 256, 256, {0x01, 0x23, 0x00, 0x01, 0x00}},
        {"dsPIC short last block", 0x000080, 256, 44, {0x00, 0x00, 0x80, 0x00, 0x2C}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes data(c.dataBytes);
        std::iota(data.begin(), data.end(), std::uint8_t{1});
        std::array<std::uint8_t, FrameBufferSize> buffer{};
        const int count = BuildBlockFrame(buffer, c.address, c.rowSize, data);
        ASSERT_EQ(count, static_cast<int>(c.header.size() + c.dataBytes));
        EXPECT_EQ(Head(buffer, static_cast<int>(c.header.size())), c.header);
        EXPECT_EQ(Bytes(buffer.begin() + static_cast<long>(c.header.size()), buffer.begin() + count), data);
        EXPECT_EQ(buffer[static_cast<std::size_t>(count)], FrameFill);
    }
}

TEST(Frames, StartedBlockTakesItsLengthLater) {
    std::array<std::uint8_t, FrameBufferSize> buffer{};
    buffer.fill(0x00);
    ASSERT_EQ(StartBlockFrame(buffer, 0x80, 256), 5);
    EXPECT_EQ(Head(buffer, 5), (Bytes{0x00, 0x00, 0x80, 0x01, 0x00}));
    EXPECT_EQ(buffer[FrameBufferSize - 1], 0xFF) << "the whole buffer is filled";
    SetBlockLength(buffer, 256, 0x2C);
    EXPECT_EQ(Head(buffer, 5), (Bytes{0x00, 0x00, 0x80, 0x00, 0x2C}));
}

TEST(Frames, FinalBlockIsAFullRowEndingWithTheTail) {
    const Bytes tail = {1, 2, 3, 4, 5, 6, 7, 8};
    std::array<std::uint8_t, FrameBufferSize> buffer{};
    ASSERT_EQ(BuildFinalBlockFrame(buffer, 0x7FC0, 64, 0xFF, tail, 0), 68);
    EXPECT_EQ(Head(buffer, 4), (Bytes{0x00, 0x7F, 0xC0, 64}));
    EXPECT_EQ(Bytes(buffer.begin() + 4, buffer.begin() + 60), Bytes(56, 0xFF));
    EXPECT_EQ(Bytes(buffer.begin() + 60, buffer.begin() + 68), tail);

    // A scrambled image: its own fill, and the tail masked byte by byte.
    BuildFinalBlockFrame(buffer, 0x7FC0, 64, 0x5A, tail, 0x0F);
    EXPECT_EQ(buffer[4], 0x5A);
    EXPECT_EQ(Bytes(buffer.begin() + 60, buffer.begin() + 62), (Bytes{0x0E, 0x0D}));
}

TEST(Frames, FixedFramesCarryASixteenBitSum) {
    TestContext t;
    t.openPort();
    EXPECT_EQ(SendCommand4Frame(t.ctx), WriteAccepted);
    EXPECT_EQ(SendAccessTextFrame(t.ctx), WriteAccepted);
    ASSERT_EQ(t.line().writes.size(), 2u);
    EXPECT_EQ(t.line().writes[0], (Bytes{0x04, 0x00, 0x00, 0x04}));
    Bytes access = {0x00, 15};
    for (char ch : std::string("K3m9Tz7Qa2Wd5Hx")) access.push_back(static_cast<std::uint8_t>(ch));
    access.insert(access.end(), {0x04, 0xCC});  // 15 + the text's bytes = 1228
    EXPECT_EQ(t.line().writes[1], access);
    EXPECT_EQ(t.ctx.receiver.ack, 0);
}

// --- acknowledged transmission ------------------------------------------------

// A device that answers the n-th write with replies[n] (the last one repeats).
void Script(TestContext& t, std::vector<Bytes> replies) {
    t.line().onWrite = [replies = std::move(replies)](test::FakeLine& line, const Bytes&) {
        const std::size_t n = std::min(line.writes.size(), replies.size()) - 1;
        line.input.insert(line.input.end(), replies[n].begin(), replies[n].end());
    };
}

struct Transmission {
    TestContext t;
    RecordingStatusBar mainBar{4};
    std::array<std::uint8_t, FrameBufferSize> buffer{};
    int count = 0;

    explicit Transmission(FrontEnd front = FrontEnd::MainWindow) : t(front) {
        t.ctx.presenter.main.StatusBar1 = &mainBar;
        t.openPort();
        count = BuildEepromFrame(buffer, 3, 0x5A);
    }
    SendResult send() { return AckedLink(t.ctx).send(std::span(buffer).first(static_cast<std::size_t>(count))); }
    std::vector<std::string> statusTexts() const {
        std::vector<std::string> texts;
        for (const auto& [panel, text] : mainBar.writes)
            if (panel == StatusPanel) texts.push_back(text);
        return texts;
    }
};

TEST(AckedLink, OutcomeFollowsTheDevicesReplies) {
    const Bytes frame = {0x40, 0x03, 0x5A, 0x01, 0x00, 0x62};
    struct Case {
        const char* name;
        std::vector<Bytes> replies;
        SendResult result;
        std::size_t writes;
        std::vector<std::string> resends;
    };
    const Case cases[] = {
        {"acknowledged at once", {{'K'}}, SendOk, 1, {}},
        {"refused, then acknowledged", {{'N'}, {'K'}}, SendOk, 2, {"Resend 0"}},
        // The 'K' may answer a stray byte of a frame the line damaged.
        {"ack and refusal in one read, then acknowledged", {{'N', 'K'}, {'K'}}, SendOk, 2, {"Resend 0"}},
        {"refused every time", {{'N'}}, SendRefused, 5,
         {"Resend 0", "Resend 1", "Resend 2", "Resend 3", "Resend 4"}},
        {"refused four times, then acknowledged", {{'N'}, {'N'}, {'N'}, {'N'}, {'K'}}, SendOk, 5,
         {"Resend 0", "Resend 1", "Resend 2", "Resend 3"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Transmission x;
        Script(x.t, c.replies);
        EXPECT_EQ(x.send(), c.result);
        ASSERT_EQ(x.t.line().writes.size(), c.writes);
        for (const Bytes& w : x.t.line().writes) EXPECT_EQ(w, frame) << "a resend is the unchanged frame";
        EXPECT_EQ(x.statusTexts(), c.resends);
        EXPECT_EQ(x.mainBar.repaintCount(), static_cast<int>(c.resends.size()));
        EXPECT_FALSE(x.t.main.Label2.visible()) << "the link shows no verdict itself";
    }
}

TEST(AckedLink, ResendCounterGoesToTheMainWindowWhateverTheFrontEnd) {
    for (FrontEnd front : {FrontEnd::LoaderWindow, FrontEnd::UpgradeWindow}) {
        Transmission x(front);
        Script(x.t, {{'N'}});
        EXPECT_EQ(x.send(), SendRefused);
        EXPECT_EQ(x.statusTexts().back(), "Resend 4");
        EXPECT_EQ(x.mainBar.repaintCount(), 5);
        const StatusBar& own = x.t.loader ? x.t.loader->StatusBar1 : x.t.upgrade->StatusBar1;
        EXPECT_EQ(own.panelText(StatusPanel), "");
    }
}

TEST(AckedLink, StopDuringTheWaitEndsWithoutAnotherWrite) {
    Transmission x;
    test::ScriptedPump pump{x.t.clock};
    x.t.wire(pump);
    Script(x.t, {{'N'}, {}});
    pump.onStep = [&](int) {
        if (x.t.line().writes.size() == 2) x.t.ctx.receiver.abort = 1;
    };
    EXPECT_EQ(x.send(), SendUserAbort);
    EXPECT_EQ(x.t.line().writes.size(), 2u);
    EXPECT_EQ(x.t.ctx.receiver.abort, 0);
}

// What a device still sends after its refusal (its answers to stray bytes of
// a damaged frame) is waited out and dropped, never taken for the resend's
// answer; a resend nobody answers is silence, sent once more.
TEST(AckedLink, AnswersTrailingARefusalAreNotCountedForTheResend) {
    Transmission x;
    test::ScriptedPump pump{x.t.clock};
    x.t.wire(pump);
    const auto start = x.t.clock.now();
    std::vector<std::pair<int, std::uint8_t>> due = {{1, 'N'}, {30, 'K'}, {60, 'V'}, {90, 'K'}};  // ms, byte
    pump.onStep = [&](int) {
        while (!due.empty() && x.t.clock.now() - start >= std::chrono::milliseconds(due.front().first)) {
            x.t.line().input.push_back(due.front().second);
            due.erase(due.begin());
        }
    };
    EXPECT_EQ(x.send(), SendNoResponse);
    EXPECT_EQ(x.t.line().writes.size(), 3u);
    EXPECT_EQ(x.t.ctx.tally.refused, 1);
}

// On a line with wire time, a 'K' that arrives before the frame can have
// crossed it (here a 6-byte frame and its answer: 0.7 ms) answers something
// else: the frame is sent again, and taken as written only by an answer in time.
TEST(AckedLink, AnAnswerSoonerThanTheLineAllowsIsNotTheFramesOwn) {
    Transmission x;
    test::ScriptedPump pump{x.t.clock};
    x.t.wire(pump);
    x.t.line().paced = true;
    x.t.line().onWrite = [](test::FakeLine& line, const Bytes&) {
        if (line.writes.size() == 1) line.answer({'K'});  // already on its way as the frame went out
    };
    const auto start = x.t.clock.now();
    pump.onStep = [&](int) {
        if (x.t.line().writes.size() == 2 && x.t.clock.now() - start >= std::chrono::milliseconds(200) &&
            x.t.line().input.empty())
            x.t.line().answer({'K'});
    };
    EXPECT_EQ(x.send(), SendOk);
    EXPECT_EQ(x.t.line().writes.size(), 2u);
    EXPECT_EQ(x.t.ctx.tally.anomalies, 1);
}

TEST(AckedLink, StaleFlagsFromEarlierRepliesAreClearedBeforeSending) {
    Transmission x;
    x.t.ctx.receiver.ack = 1;
    x.t.ctx.receiver.refusal = 1;
    Script(x.t, {{'N'}, {'K'}});
    EXPECT_EQ(x.send(), SendOk);
    EXPECT_EQ(x.t.line().writes.size(), 2u);
}

// --- verdicts -------------------------------------------------------------------

TEST(ShowErrorCode, EachFailureHasItsRedVerdictAndOthersShowNothing) {
    struct Case {
        SendResult code;
        const char* text;  // null: nothing shown
        Outcome outcome;
    };
    const Case cases[] = {
        {SendNoResponse, " not Response ", Outcome::NotAcknowledged},
        {SendUserAbort, " User Abort !! ", Outcome::Aborted},
        {SendRefused, " CHK Error !! ", Outcome::Refused},
        {IncompatibleBootloader, " Incompatible Bootloader !! ", Outcome::Incompatible},
        {SendOk, nullptr, Outcome::None},
        {static_cast<SendResult>(-5), nullptr, Outcome::None},
        {static_cast<SendResult>(1), nullptr, Outcome::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        TestContext t;
        std::vector<int> notified;
        t.ctx.presenter.notify = [&](std::uint8_t code) { notified.push_back(code); };
        ShowErrorCode(t.ctx, c.code);
        EXPECT_EQ(t.ctx.outcome, c.outcome);
        if (c.text == nullptr) {
            EXPECT_FALSE(t.main.Label2.visible());
            EXPECT_TRUE(notified.empty());
            continue;
        }
        EXPECT_TRUE(t.main.Label2.visible());
        EXPECT_EQ(t.main.Label2.caption(), c.text);
        EXPECT_EQ(t.main.Label2.background(), ClRed);
        EXPECT_EQ(notified, std::vector<int>{0});
    }
}

}  // namespace
}  // namespace torvane
