#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "FakeSerial.h"
#include "serial/PortChannel.h"

using namespace torvane;
using namespace torvane::test;

namespace {

struct ShownBox {
    std::string text, caption;
    unsigned flags;
};

class BoxRecorder : public MessageBoxHost {
public:
    int ShowMessageBox(std::string_view text, std::string_view caption, unsigned flags) override {
        shown.push_back({std::string(text), std::string(caption), flags});
        return 1;
    }
    std::vector<ShownBox> shown;
};

// Time that passes only on paper: the sleeps asked for are counted.
class CountingClock : public Clock {
public:
    TimePoint now() const override { return TimePoint{} + slept; }
    void sleep(std::chrono::nanoseconds d) override {
        ++sleeps;
        if (d > d.zero()) slept += d;
    }
    int sleeps = 0;
    std::chrono::nanoseconds slept{0};
};

class PortChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ch.system = &ports;
        ch.clock = &clock;
        ch.host = &boxes;
        ch.trace = [this](TraceDirection d, std::span<const std::uint8_t> bytes) {
            auto& seen = d == TraceDirection::Sent ? sent : received;
            seen.insert(seen.end(), bytes.begin(), bytes.end());
        };
    }

    PortSlot* openPort(int index, std::uint8_t halfDuplex = 0) {
        return OpenPort(ch, index, PortBaudRate, NoParity, TwoStopBits, EightDataBits, halfDuplex);
    }
    PortSlot& slot(int index) { return ch.PortTable[static_cast<std::size_t>(index)]; }
    // What the device saw from the given point on.
    std::vector<std::string> journalFrom(std::size_t start) const {
        return {line->journal.begin() + static_cast<long>(start), line->journal.end()};
    }
    static std::vector<std::uint8_t> Counting(std::size_t n) {
        std::vector<std::uint8_t> v(n);
        for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(i % 251 + 1);
        return v;
    }

    std::shared_ptr<FakeLine> line = std::make_shared<FakeLine>();
    FakeSerialPorts ports{line};
    BoxRecorder boxes;
    CountingClock clock;
    PortChannel ch;
    std::vector<std::uint8_t> sent, received;
};

TEST_F(PortChannelTest, OpenAppliesTheUpdateLineSettingOverWhateverWasThere) {
    // A line left in some other program's state.
    line->config = LineConfig{.baudRate = 9600, .dataBits = 7, .parity = Parity::Even, .stopBits = StopBits::One,
                              .flow = FlowControl::RtsCts, .inputQueueBytes = 1, .outputQueueBytes = 1};
    ch.lastOpenFailure = "an earlier failure";

    PortSlot* s = openPort(3);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s, &slot(3));
    EXPECT_EQ(s->index, 3);
    EXPECT_EQ(s->open, 1);
    EXPECT_EQ(s->HalfDuplex, 0);
    EXPECT_TRUE(ch.lastOpenFailure.empty());
    EXPECT_TRUE(boxes.shown.empty());

    const LineConfig& l = line->config;
    EXPECT_EQ(l.baudRate, 115200u);
    EXPECT_EQ(l.dataBits, 8);
    EXPECT_EQ(l.parity, Parity::None);
    EXPECT_EQ(l.stopBits, StopBits::Two);
    EXPECT_EQ(l.flow, FlowControl::None);
    EXPECT_EQ(l.inputQueueBytes, 32768u);
    EXPECT_EQ(l.outputQueueBytes, 9216u);
    EXPECT_EQ(line->timeouts.writePerByteMs, 10u);
    EXPECT_EQ(line->timeouts.writeConstantMs, 1000u);
    EXPECT_EQ(line->journal.front(), "open 3");
    EXPECT_EQ(line->journal.at(1), "drain");  // what an earlier user wrote leaves first
    EXPECT_EQ(FlushPort(ch, 3), PortUsable);
}

TEST_F(PortChannelTest, ControlLinesDropOrRaiseDtrThenRts) {
    ASSERT_NE(openPort(0), nullptr);
    EXPECT_EQ(SetControlLines(ch, 0, 1), 0);
    EXPECT_EQ(SetControlLines(ch, 0, 0), 0);
    using Op = std::pair<ControlLine, bool>;
    EXPECT_EQ(line->lineOps, (std::vector<Op>{{ControlLine::Dtr, false}, {ControlLine::Rts, false},
                                              {ControlLine::Dtr, true}, {ControlLine::Rts, true}}));

    // A line without modem control (a pseudo-terminal) is still a usable port.
    line->controlLinesSupported = false;
    EXPECT_EQ(SetControlLines(ch, 0, 1), 0);
    EXPECT_EQ(slot(0).open, 1);
    EXPECT_EQ(FlushPort(ch, 0), PortUsable);
}

struct OpenFailureCase {
    const char* name;
    Step failing;
    const char* box;  // nullptr: no message box
    bool opens;
};

class OpenFailureTest : public PortChannelTest, public ::testing::WithParamInterface<OpenFailureCase> {};

TEST_P(OpenFailureTest, LeavesTheSlotClosedAndTellsWhy) {
    const auto& c = GetParam();
    line->failing.insert(c.failing);

    PortSlot* s = openPort(5);

    EXPECT_EQ(s != nullptr, c.opens);
    EXPECT_EQ(slot(5).index, 5);  // written by every attempt
    EXPECT_EQ(slot(5).open, c.opens ? 1 : 0);
    EXPECT_EQ(slot(5).handle != nullptr, c.opens);
    EXPECT_EQ(line->openDevices, c.opens ? 1 : 0);  // a failed open leaves no handle behind
    EXPECT_EQ(FlushPort(ch, 5), c.opens ? PortUsable : PortNotOpen);
    EXPECT_EQ(ch.lastOpenFailure.empty(), c.opens);
    if (c.box) {
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text, c.box);
        EXPECT_EQ(boxes.shown[0].caption, "Error");
        EXPECT_EQ(boxes.shown[0].flags, 0u);
    } else {
        EXPECT_TRUE(boxes.shown.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Steps, OpenFailureTest,
    ::testing::Values(OpenFailureCase{"Absent", Step::Open, nullptr, false},
                      OpenFailureCase{"Configure", Step::Configure, "Unable to configure the serial port", false},
                      OpenFailureCase{"Timeouts", Step::Timeouts, "Unable to set the time-out parameters", false},
                      // only the outcome of the writes counts: a failing drain opens all the same
                      OpenFailureCase{"Drain", Step::Drain, nullptr, true}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(PortChannelTest, ParityAndStopCodesBecomeTheLinesFrameOrAreRefused) {
    const struct {
        std::uint8_t parity, stopBits;
        std::optional<Parity> wantParity;  // nothing: refused like a setting the device cannot run
        StopBits wantStop;
    } cases[] = {
        {0, 0, Parity::None, StopBits::One},  {1, 1, Parity::Odd, StopBits::OneAndHalf},
        {2, 2, Parity::Even, StopBits::Two},  {3, 2, Parity::Mark, StopBits::Two},
        {4, 2, Parity::Space, StopBits::Two}, {5, 2, std::nullopt, {}},
        {0, 3, std::nullopt, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.parity) << "/" << int(c.stopBits));
        line->config = {};
        boxes.shown.clear();
        PortSlot* s = OpenPort(ch, 1, 9600, c.parity, c.stopBits, 7, 0);
        EXPECT_EQ(s != nullptr, c.wantParity.has_value());
        if (c.wantParity) {
            EXPECT_EQ(line->config.parity, *c.wantParity);
            EXPECT_EQ(line->config.stopBits, c.wantStop);
            EXPECT_EQ(line->config.baudRate, 9600u);
            EXPECT_EQ(line->config.dataBits, 7);
        } else {
            EXPECT_EQ(line->config.baudRate, 0u);  // nothing reached the device
            ASSERT_EQ(boxes.shown.size(), 1u);
            EXPECT_EQ(boxes.shown[0].text, "Unable to configure the serial port");
            EXPECT_EQ(ch.lastOpenFailure, "Unable to configure the serial port COM2");
        }
    }
}

TEST_F(PortChannelTest, AbsentPortKeepsTheSystemsReason) {
    line->absentPorts.insert(7);
    EXPECT_EQ(openPort(7), nullptr);
    EXPECT_EQ(ch.lastOpenFailure, "no such device");
}

TEST_F(PortChannelTest, IndicesOutsideTheTableTouchNothing) {
    ASSERT_NE(openPort(0), nullptr);
    const std::uint8_t byte = 0xC2;
    const std::size_t before = line->journal.size();

    for (int index : {-1, 257, 1000, -32768}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(openPort(index), nullptr);
        EXPECT_FALSE(ch.lastOpenFailure.empty());
        ClosePort(ch, index);
        EXPECT_EQ(SetControlLines(ch, index, 1), 0);
        EXPECT_EQ(WritePort(ch, index, std::span(&byte, 1)), WriteRejected);
        EXPECT_EQ(FlushPort(ch, static_cast<std::int16_t>(index)), PortNotOpen);
    }
    EXPECT_EQ(journalFrom(before), std::vector<std::string>{});
    EXPECT_EQ(slot(0).open, 1);

    // A slot never opened behaves the same.
    EXPECT_EQ(WritePort(ch, 9, std::span(&byte, 1)), WriteRejected);
    EXPECT_EQ(FlushPort(ch, 9), PortNotOpen);
    EXPECT_TRUE(line->writes.empty());
}

TEST_F(PortChannelTest, HighestIndexIsCom257) {
    ASSERT_NE(openPort(256), nullptr);
    EXPECT_EQ(ports.openedIndices, std::vector<int>{256});
    EXPECT_EQ(ComName(256), "COM257");
    EXPECT_EQ(ComName(0), "COM1");
}

TEST_F(PortChannelTest, ReopenClosesTheOldHandleFirst) {
    ASSERT_NE(openPort(2), nullptr);
    std::size_t mark = line->journal.size();
    ASSERT_NE(openPort(2), nullptr);
    EXPECT_EQ(journalFrom(mark).at(0), "close");
    EXPECT_EQ(journalFrom(mark).at(1), "open 2");
    EXPECT_EQ(line->openDevices, 1);

    // Even when the new open fails, the old handle is gone.
    line->failing.insert(Step::Open);
    EXPECT_EQ(openPort(2), nullptr);
    EXPECT_EQ(line->openDevices, 0);
    EXPECT_EQ(FlushPort(ch, 2), PortNotOpen);
}

TEST_F(PortChannelTest, CloseReleasesOnlyItsOwnSlot) {
    ASSERT_NE(openPort(0), nullptr);
    ASSERT_NE(openPort(1), nullptr);
    ClosePort(ch, 0);
    ClosePort(ch, 0);
    EXPECT_EQ(line->closes, 1);
    EXPECT_EQ(FlushPort(ch, 0), PortNotOpen);
    EXPECT_EQ(FlushPort(ch, 1), PortUsable);
    EXPECT_EQ(slot(0).handle, nullptr);
}

TEST_F(PortChannelTest, FullDuplexWriteIsAcceptedOnceDrained) {
    ASSERT_NE(openPort(0), nullptr);
    const std::size_t mark = line->journal.size();
    const std::vector<std::uint8_t> frame{0x01, 0x02, 0x03, 0x04};

    EXPECT_EQ(WritePort(ch, 0, std::span(frame).first(4)), WriteAccepted);

    EXPECT_EQ(journalFrom(mark), (std::vector<std::string>{"write 4", "drain"}));
    EXPECT_EQ(line->allWritten(), frame);
    EXPECT_EQ(sent, frame);
}

TEST_F(PortChannelTest, FailedWriteIsRejectedAtOnce) {
    // Half duplex leaves the line turned to transmit, as it was when the write failed.
    const struct {
        std::uint8_t halfDuplex;
        std::vector<std::string> journal;
    } cases[] = {{0, {}}, {1, {"rts+"}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.halfDuplex));
        line->failing.clear();
        ASSERT_NE(openPort(0, c.halfDuplex), nullptr);
        line->failing.insert(Step::Write);
        const std::size_t mark = line->journal.size();
        const std::uint8_t byte = 0x55;
        EXPECT_EQ(WritePort(ch, 0, std::span(&byte, 1)), WriteRejected);
        EXPECT_EQ(journalFrom(mark), c.journal);
    }
    EXPECT_TRUE(sent.empty());
}

struct EchoCase {
    const char* name;
    std::size_t count;       // bytes written
    std::size_t extra;       // reply bytes arriving right behind the echo
    std::size_t readChunk;   // the driver hands out at most this many per read (0: all)
    std::vector<std::string> reads;
};

class HalfDuplexTest : public PortChannelTest, public ::testing::WithParamInterface<EchoCase> {};

TEST_P(HalfDuplexTest, TurnsTheLineAndAbsorbsExactlyTheEcho) {
    const auto& c = GetParam();
    ASSERT_NE(openPort(0, 1), nullptr);
    EXPECT_EQ(slot(0).HalfDuplex, 1);
    line->onWrite = [&c](FakeLine& l, const std::vector<std::uint8_t>& w) {
        l.input.insert(l.input.end(), w.begin(), w.end());
        l.input.insert(l.input.end(), c.extra, 0xEE);
    };
    const auto frame = Counting(c.count);
    line->readChunk = c.readChunk;
    const std::size_t mark = line->journal.size();

    EXPECT_EQ(WritePort(ch, 0, std::span(frame).first(static_cast<std::size_t>(c.count))), WriteAccepted);

    std::vector<std::string> expected{"rts+", "write " + std::to_string(c.count), "drain", "rts-"};
    expected.insert(expected.end(), c.reads.begin(), c.reads.end());
    EXPECT_EQ(journalFrom(mark), expected);
    EXPECT_EQ(line->input.size(), c.extra);  // the reply is left for the receiver
    EXPECT_EQ(received, frame);
}

INSTANTIATE_TEST_SUITE_P(
    Echo, HalfDuplexTest,
    ::testing::Values(EchoCase{"ReadsNoMoreThanRemains", 10, 5, 4, {"read 4", "read 4", "read 2"}},
                      // longer than the 3000-byte scratch: absorbed in two reads, nothing overrun
                      EchoCase{"LongerThanTheScratch", 3500, 0, 0, {"read 3000", "read 500"}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(PortChannelTest, EchoAbsorptionGivesUpAfterAHundredSteps) {
    ASSERT_NE(openPort(0, 1), nullptr);
    const std::uint8_t frame[10] = {};
    line->answer({1, 2});  // only part of the echo ever comes back

    EXPECT_EQ(WritePort(ch, 0, frame), WriteAccepted);

    ASSERT_EQ(line->reads.size(), 100u);
    EXPECT_EQ(line->reads[0], 2);
    EXPECT_EQ(std::count(line->reads.begin() + 1, line->reads.end(), 0), 99);
    // The steps pass on the channel's clock, not the wall's.
    EXPECT_EQ(clock.sleeps, 100);
    EXPECT_EQ(clock.slept, 100 * EchoStep);
}

TEST_F(PortChannelTest, DrainOnceClearsTheFirst3000BytesThenReadsOnce) {
    for (std::size_t waiting : {std::size_t{3050}, std::size_t{10}, std::size_t{0}}) {
        SCOPED_TRACE(waiting);
        ASSERT_NE(openPort(0), nullptr);
        ch.ReceiveBuffer.fill(0xAA);
        const auto bytes = Counting(waiting);
        line->input.assign(bytes.begin(), bytes.end());

        EXPECT_EQ(DrainOnce(ch), waiting);

        for (std::size_t i = 0; i < ReceiveBufferSize; ++i) {
            const std::uint8_t want = i < waiting ? bytes[i] : i < 3000 ? 0 : 0xAA;
            ASSERT_EQ(ch.ReceiveBuffer[i], want) << "byte " << i;
        }
    }
}

TEST_F(PortChannelTest, DrainOnceOnAClosedOrFailingPortReadsNothing) {
    ch.ReceiveBuffer.fill(0xAA);
    EXPECT_EQ(DrainOnce(ch), 0);
    EXPECT_EQ(ch.ReceiveBuffer[0], 0xAA);  // a closed port leaves the buffer alone

    ASSERT_NE(openPort(0), nullptr);
    line->failing.insert(Step::Read);
    EXPECT_EQ(DrainOnce(ch), 0);
    EXPECT_EQ(ReadCurrentPort(ch), 0);
}

TEST_F(PortChannelTest, DrainInputReadsUntilAReadReturnsNothing) {
    ASSERT_NE(openPort(0), nullptr);
    const auto waiting = Counting(5000);
    line->input.assign(waiting.begin(), waiting.end());

    DrainInput(ch);

    EXPECT_EQ(line->reads, (std::vector<long>{3072, 1928, 0}));
    EXPECT_EQ(received, waiting);

    // A failing read counts as an empty one and ends the drain.
    line->reads.clear();
    line->failing.insert(Step::Read);
    DrainInput(ch);
    EXPECT_EQ(line->reads, std::vector<long>{-1});

    ClosePort(ch, 0);
    line->reads.clear();
    DrainInput(ch);
    EXPECT_TRUE(line->reads.empty());
}

TEST_F(PortChannelTest, ReadsFollowCurrentPort) {
    ASSERT_NE(openPort(0), nullptr);
    ASSERT_NE(openPort(1), nullptr);
    line->answer({'K'});
    ch.CurrentPort = 2;  // chosen but not open
    EXPECT_EQ(ReadCurrentPort(ch), 0);
    EXPECT_EQ(CurrentDevice(ch), nullptr);
    ch.CurrentPort = 1;
    EXPECT_EQ(CurrentDevice(ch), slot(1).handle.get());
    EXPECT_EQ(ReadCurrentPort(ch), 1);
    EXPECT_EQ(ch.ReceiveBuffer[0], 'K');
}

}  // namespace
