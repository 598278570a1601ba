#pragma once
// A serial device for tests: exact bytes out, scripted bytes in, and any single
// operating-system step made to fail.

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "platform/SerialDevice.h"

namespace torvane::test {

enum class Step { Open, Drain, Configure, Timeouts, ControlLine, Write, Read };

struct FakeLine {
    std::set<Step> failing;            // steps that fail
    // Fails the writes it says true for (every write fails with Step::Write);
    // each write it fails is counted.
    std::function<bool(std::span<const std::uint8_t>)> refuseWrite;
    int refusedWrites = 0;
    bool controlLinesSupported = true;
    bool gone = false;                 // the device went away
    bool paced = false;                // bytes take their line time to cross
    std::vector<std::vector<std::uint8_t>> writes;
    std::deque<std::uint8_t> input;    // bytes waiting to be read
    std::size_t readChunk = 0;         // 0: a read takes all it may; else at most this many
    // Called after each accepted write: a scripted device answers here.
    std::function<void(FakeLine&, const std::vector<std::uint8_t>&)> onWrite;
    LineConfig config;                 // as last configured
    SerialTimeouts timeouts;
    std::vector<std::pair<ControlLine, bool>> lineOps;
    std::vector<long> reads;           // result of every read
    // Every device call in order: "drain", "rts+", "dtr-", "write 10",
    // "read 3", "close" ... so a test can check the order of a sequence.
    std::vector<std::string> journal;
    int opens = 0, closes = 0, drains = 0, openDevices = 0;
    std::set<int> absentPorts;         // indices whose open fails as absent

    void answer(std::initializer_list<std::uint8_t> bytes) { input.insert(input.end(), bytes); }
    std::vector<std::uint8_t> allWritten() const;
};

class FakeSerialPorts : public SerialPorts {
public:
    explicit FakeSerialPorts(std::shared_ptr<FakeLine> line = std::make_shared<FakeLine>()) : line_(std::move(line)) {}
    OpenResult open(int portIndex) override;
    FakeLine& line() { return *line_; }
    std::vector<int> openedIndices;

private:
    std::shared_ptr<FakeLine> line_;
};

}  // namespace torvane::test
