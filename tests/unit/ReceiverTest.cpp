// The reply decoder byte by byte, and the receiver's waits against a fake line.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "ScriptedPump.h"
#include "TestContext.h"
#include "bootloader/ReplyDecoder.h"
#include "bootloader/Receiver.h"

namespace torvane {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::ScriptedPump;
using test::TestContext;

const Bytes Identity10 = {'V', 0x0A, 0x43, 0x05, 0x02, 'K'};

// 'R', size, ignored byte, the data, and the closing 'K'.
Bytes Record(std::uint8_t size, const Bytes& data) {
    Bytes r = {'R', size, 0x00};
    r.insert(r.end(), data.begin(), data.end());
    r.push_back('K');
    return r;
}

// 24 text bytes "ABCD...", range start 0x1234 and length 0x0400 low byte first.
Bytes RecordData28() {
    Bytes d;
    for (int i = 0; i < 24; ++i) d.push_back(static_cast<std::uint8_t>('A' + i));
    d.insert(d.end(), {0x34, 0x12, 0x00, 0x04});
    return d;
}

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Decoder {
    ReceiverState rx;
    DeviceIdentity id;
    void feed(const Bytes& bytes) {
        for (std::uint8_t b : bytes) FeedReplyByte(rx, id, b);
    }
    std::string text() const { return id.recordText.data(); }
};

TEST(ReplyDecoder, IdentityInOneReplyCommitsAllFourCodesAtTheAck) {
    Decoder d;
    d.feed({'V', 0x0A, 0x43, 0x05, 0x02});
    EXPECT_EQ(d.id.chipCode, 0) << "nothing is committed before the 'K'";
    EXPECT_EQ(d.rx.ack, 0);
    d.feed({'K'});
    EXPECT_EQ(d.id.biosVersion, 10);
    EXPECT_EQ(d.id.chipCode, 67);
    EXPECT_EQ(d.id.hardwareCode, 5);
    EXPECT_EQ(d.id.preparationCode, 2);
    EXPECT_EQ(d.id.identitySeen, 1);
    EXPECT_EQ(d.rx.ack, 1);
    EXPECT_EQ(d.rx.refusal, 0);
}

TEST(ReplyDecoder, RecordAfterIdentityFillsTextAndRange) {
    Decoder d;
    d.feed(Cat(Identity10, Record(28, RecordData28())));
    EXPECT_EQ(d.text(), "ABCDEFGHIJKLMNOPQRSTUVWX");
    EXPECT_EQ(d.id.recordRangeStart, 0x1234);
    EXPECT_EQ(d.id.recordRangeLength, 0x0400);
    EXPECT_EQ(d.id.recordDone, 1);
    EXPECT_EQ(d.rx.recordState, RecordIdle);
}

TEST(ReplyDecoder, RecordSizeDecidesWhatIsStored) {
    // Size 30: 28 stored, the last two dropped. Size 10: a 10-character text,
    // the range keeps its reset value.
    Decoder big;
    big.feed(Cat(Identity10, Record(30, Cat(RecordData28(), {0x99, 0x98}))));
    EXPECT_EQ(big.text(), "ABCDEFGHIJKLMNOPQRSTUVWX");
    EXPECT_EQ(big.id.recordRangeStart, 0x1234);
    EXPECT_EQ(big.id.recordRangeLength, 0x0400);
    EXPECT_EQ(big.id.recordDone, 1);

    Decoder small;
    small.feed(Cat(Identity10, Record(10, {'F', 'W', ' ', '1', '.', '2', '.', '3', '-', 'b'})));
    EXPECT_EQ(small.text(), "FW 1.2.3-b");
    EXPECT_EQ(small.id.recordRangeStart, 0);
    EXPECT_EQ(small.id.recordRangeLength, 0);
    EXPECT_EQ(small.id.recordDone, 1);
}

TEST(ReplyDecoder, ControlLettersInsideRecordDataAreData) {
    Decoder d;
    d.feed(Identity10);
    d.rx.ack = 0;
    d.feed({'R', 4, 'K', 'K', 'N', 'V', 'R'});
    EXPECT_EQ(d.text(), "KNVR");
    EXPECT_EQ(d.rx.ack, 0);
    EXPECT_EQ(d.rx.refusal, 0);
    EXPECT_EQ(d.id.recordDone, 0);
    EXPECT_EQ(d.id.biosVersion, 10);
    // Surplus bytes before the closing 'K' are ignored; that 'K' closes the
    // record without acknowledging anything.
    d.feed({0x01, 'N', 'K'});
    EXPECT_EQ(d.id.recordDone, 1);
    EXPECT_EQ(d.rx.ack, 0);
    EXPECT_EQ(d.rx.refusal, 0);
    EXPECT_EQ(d.text(), "KNVR");
    // Back to idle: the next 'K' is an acknowledgement again.
    d.feed({'K'});
    EXPECT_EQ(d.rx.ack, 1);
}

TEST(ReplyDecoder, RecordAnnouncementOnlyFromVersionsEightToThirtyOne) {
    struct Case {
        std::uint8_t version;
        bool startsRecord;
    };
    for (Case c : {Case{5, false}, Case{7, false}, Case{8, true}, Case{31, true}, Case{32, false}}) {
        SCOPED_TRACE("version " + std::to_string(c.version));
        Decoder d;
        d.feed({'V', c.version, 0x43, 0x05, 0x02, 'K'});
        d.feed({'R'});
        if (c.startsRecord) {
            EXPECT_EQ(d.rx.recordState, RecordExpectSize);
            EXPECT_EQ(d.id.identitySeen, 1);
        } else {
            // Taken as a bare chip code: the identity is reset and the next
            // 'K' commits chip 'R' with version 0.
            EXPECT_EQ(d.rx.recordState, RecordIdle);
            EXPECT_EQ(d.id.identitySeen, 0);
            d.feed({'K'});
            EXPECT_EQ(d.id.chipCode, 'R');
            EXPECT_EQ(d.id.biosVersion, 0);
        }
    }
}

TEST(ReplyDecoder, AnnouncementAloneCommitsVersionOneWithEarlierPendingCodes) {
    Decoder d;
    d.feed(Identity10);
    d.feed({'V', 'K'});
    EXPECT_EQ(d.id.biosVersion, 1);
    EXPECT_EQ(d.id.chipCode, 67);
    EXPECT_EQ(d.id.hardwareCode, 5);
    EXPECT_EQ(d.id.preparationCode, 2);
    EXPECT_EQ(d.id.identitySeen, 1);
    // The announcement opened the identity: the next byte is a version byte.
    EXPECT_EQ(d.rx.identityCounter, 0);
}

TEST(ReplyDecoder, BareChipCodeAfterFullIdentityCommitsVersionZero) {
    Decoder d;
    d.feed(Identity10);
    d.feed({0x42, 'K'});
    EXPECT_EQ(d.id.chipCode, 66);
    EXPECT_EQ(d.id.biosVersion, 0);
    EXPECT_EQ(d.id.identitySeen, 0);
    EXPECT_EQ(d.id.hardwareCode, 5) << "hardware and preparation codes stay as pending before";
    EXPECT_EQ(d.id.preparationCode, 2);
}

TEST(ReplyDecoder, SurplusAndControlValuedIdentityBytes) {
    // A sixth identity byte is a bare chip code: it ends the identity.
    Decoder surplus;
    surplus.feed({'V', 0x0A, 0x43, 0x05, 0x02, 0x07, 'K'});
    EXPECT_EQ(surplus.id.chipCode, 0x07);
    EXPECT_EQ(surplus.id.biosVersion, 0);
    EXPECT_EQ(surplus.id.identitySeen, 0);
    EXPECT_EQ(surplus.id.hardwareCode, 5);

    // An identity byte with the value 'N' is the refusal, not a code.
    Decoder control;
    control.feed({'V', 0x0A, 'N', 0x43, 0x05, 0x02, 'K'});
    EXPECT_EQ(control.rx.refusal, 1);
    EXPECT_EQ(control.id.chipCode, 0x43);
    EXPECT_EQ(control.id.preparationCode, 2);
}

TEST(Receiver, ResetRecordEndsARecordThatNeverClosed) {
    TestContext t;
    Decoder d;
    d.feed(Identity10);
    d.feed({'R', 20, 0, 'a', 'b'});
    t.ctx.receiver = d.rx;
    t.ctx.identity = d.id;
    ResetRecord(t.ctx);
    EXPECT_EQ(std::string(t.ctx.identity.recordText.data()), "");
    t.ctx.receiver.ack = 0;
    FeedReplyByte(t.ctx.receiver, t.ctx.identity, 'K');
    EXPECT_EQ(t.ctx.receiver.ack, 1) << "after the reset a 'K' is an acknowledgement again";
}

// --- PollReceiver and WaitForReply over the fake line ---------------------------

TEST(Receiver, IdentityAndRecordInOneReadAreDecodedAndAcknowledged) {
    TestContext t;
    t.openPort();
    t.line().answer({'V', 0x0A, 0x43, 0x05, 0x02, 'K'});
    for (std::uint8_t b : Record(28, RecordData28())) t.line().input.push_back(b);
    EXPECT_EQ(WaitForReply(t.ctx, std::chrono::milliseconds(100)), WaitAcknowledged);
    EXPECT_EQ(t.line().reads.size(), 1u);
    EXPECT_EQ(t.ctx.identity.chipCode, 67);
    EXPECT_EQ(t.ctx.identity.recordDone, 1);
    EXPECT_EQ(t.ctx.identity.recordRangeStart, 0x1234);
    EXPECT_EQ(t.ctx.receiver.ack, 0) << "the reported flag is consumed";
}

TEST(Receiver, AckAndRefusalInOneReadReportTheAckAndKeepTheRefusal) {
    TestContext t;
    t.openPort();
    t.line().answer({'N', 'K'});
    EXPECT_EQ(WaitForReply(t.ctx, std::chrono::milliseconds(100)), WaitAcknowledged);
    EXPECT_EQ(t.ctx.receiver.refusal, 1);
    EXPECT_EQ(WaitForReply(t.ctx, std::chrono::milliseconds(100)), WaitRefused) << "the next wait without a sender reports it";
    EXPECT_EQ(t.ctx.receiver.refusal, 0);
}

TEST(Receiver, AbortAlreadyRaisedEndsTheWaitAfterOneStep) {
    TestContext t;
    ScriptedPump pump{t.clock};
    t.wire(pump);
    t.openPort();
    t.ctx.receiver.abort = 1;
    t.line().answer({'K'});
    EXPECT_EQ(WaitForReply(t.ctx, std::chrono::milliseconds(2000)), WaitAborted);
    EXPECT_EQ(pump.steps, 1);
    EXPECT_EQ(t.line().reads.size(), 1u);
    EXPECT_EQ(t.ctx.receiver.abort, 0);
    EXPECT_EQ(t.ctx.receiver.ack, 1) << "abort wins; the acknowledgement stays for the next sender to clear";
}

TEST(Receiver, ClickDuringTheWaitAbortsIt) {
    TestContext t;
    ScriptedPump pump{t.clock};
    t.wire(pump);
    t.openPort();
    pump.onStep = [&](int step) {
        if (step == 3) t.ctx.receiver.abort = 1;
    };
    EXPECT_EQ(WaitForReply(t.ctx, std::chrono::milliseconds(2000)), WaitAborted);
    EXPECT_EQ(pump.steps, 3);
}

TEST(Receiver, ReplyArrivingMidWaitEndsItAtThatStep) {
    TestContext t;
    ScriptedPump pump{t.clock};
    t.wire(pump);
    t.openPort();
    pump.onStep = [&](int step) {
        if (step == 4) t.line().answer({'K'});
    };
    EXPECT_EQ(WaitForReply(t.ctx, std::chrono::milliseconds(2000)), WaitAcknowledged);
    EXPECT_EQ(pump.steps, 4);
    EXPECT_EQ(t.clock.elapsed(), 3 * Step) << "three silent steps, then the reply at once";
    EXPECT_EQ(pump.stepsWatchingInput, 4) << "each step watches the open port for input";
}

TEST(Receiver, SilenceLastsTheWholeNominalTime) {
    for (bool open : {true, false}) {
        SCOPED_TRACE(open ? "port open" : "port closed");
        TestContext t;
        if (open) t.openPort();
        t.line().answer({0x11, 0x22});  // bytes that are no reply
        EXPECT_EQ(WaitForReply(t.ctx, std::chrono::milliseconds(100)), WaitNothing);
        EXPECT_EQ(t.clock.elapsed(), std::chrono::milliseconds(100));
        EXPECT_EQ(t.line().input.empty(), open);
    }
}

TEST(Receiver, WaitBelowOneStepNeitherPumpsNorReads) {
    using std::chrono::milliseconds;
    for (milliseconds timeout : {milliseconds(-1), milliseconds(0), milliseconds(4)}) {
        TestContext t;
        ScriptedPump pump{t.clock};
        t.wire(pump);
        t.openPort();
        t.line().answer({'K'});
        EXPECT_EQ(WaitForReply(t.ctx, timeout), WaitNothing) << timeout.count();
        EXPECT_EQ(pump.steps, 0);
        EXPECT_TRUE(t.line().reads.empty());
    }
}

TEST(Receiver, PumpWaitStepsInFiveMillisecondsWithoutWatchingThePort) {
    struct Case {
        std::chrono::milliseconds duration;
        int steps;
    };
    using std::chrono::milliseconds;
    for (Case c : {Case{milliseconds(-5), 0}, Case{milliseconds(0), 0}, Case{milliseconds(1), 1},
                   Case{milliseconds(5), 1}, Case{milliseconds(6), 2}, Case{milliseconds(300), 60}}) {
        TestContext t;
        ScriptedPump pump{t.clock};
        pump.waits = false;
        t.wire(pump);
        t.openPort();
        t.line().answer({'K'});
        PumpWait(t.ctx, c.duration);
        EXPECT_EQ(pump.steps, c.steps) << c.duration.count() << " ms";
        EXPECT_EQ(pump.stepsWatchingInput, 0);
        EXPECT_TRUE(t.line().reads.empty()) << "PumpWait reads nothing";
    }
}

TEST(Receiver, PumpWaitLetsItsTimePass) {
    TestContext t;
    PumpWait(t.ctx, std::chrono::milliseconds(50));
    EXPECT_EQ(t.clock.elapsed(), std::chrono::milliseconds(50));
}

}  // namespace
}  // namespace torvane
