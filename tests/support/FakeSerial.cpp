#include "FakeSerial.h"

#include <algorithm>

namespace torvane::test {

namespace {

class FakeDevice : public SerialDevice {
public:
    explicit FakeDevice(std::shared_ptr<FakeLine> line) : line_(std::move(line)) { ++line_->openDevices; }
    ~FakeDevice() override { close(); }

    bool drain() override {
        ++line_->drains;
        note("drain");
        return !fails(Step::Drain);
    }
    bool configure(const LineConfig& c) override {
        if (fails(Step::Configure)) return false;
        line_->config = c;
        return true;
    }
    bool setTimeouts(const SerialTimeouts& t) override {
        if (fails(Step::Timeouts)) return false;
        line_->timeouts = t;
        return true;
    }
    LineResult setControlLine(ControlLine l, bool on) override {
        if (fails(Step::ControlLine)) return LineResult::Failed;
        if (!line_->controlLinesSupported) return LineResult::NotSupported;
        line_->lineOps.emplace_back(l, on);
        note(std::string(l == ControlLine::Dtr ? "dtr" : "rts") + (on ? "+" : "-"));
        return LineResult::Done;
    }
    bool write(std::span<const std::uint8_t> bytes) override {
        if (fails(Step::Write)) return false;
        if (line_->refuseWrite && line_->refuseWrite(bytes)) {
            ++line_->refusedWrites;
            return false;
        }
        std::vector<std::uint8_t> w(bytes.begin(), bytes.end());
        line_->writes.push_back(w);
        note("write " + std::to_string(w.size()));
        if (line_->onWrite) line_->onWrite(*line_, w);
        return true;
    }
    long read(std::span<std::uint8_t> into) override {
        if (fails(Step::Read)) {
            line_->reads.push_back(-1);
            note("read -1");
            return -1;
        }
        std::size_t n = std::min(into.size(), line_->input.size());
        if (line_->readChunk) n = std::min(n, line_->readChunk);
        for (std::size_t i = 0; i < n; ++i) {
            into[i] = line_->input.front();
            line_->input.pop_front();
        }
        line_->reads.push_back(static_cast<long>(n));
        note("read " + std::to_string(n));
        return static_cast<long>(n);
    }
    bool waitReadable(std::chrono::milliseconds) override { return !line_->input.empty(); }
    bool gone() const override { return line_->gone; }
    bool paced() const override { return line_->paced; }
    void close() override {
        if (closed_) return;
        closed_ = true;
        ++line_->closes;
        --line_->openDevices;
        note("close");
    }

private:
    bool fails(Step s) const { return line_->failing.count(s) != 0; }
    void note(std::string what) { line_->journal.push_back(std::move(what)); }
    std::shared_ptr<FakeLine> line_;
    bool closed_ = false;
};

}  // namespace

std::vector<std::uint8_t> FakeLine::allWritten() const {
    std::vector<std::uint8_t> all;
    for (const auto& w : writes) all.insert(all.end(), w.begin(), w.end());
    return all;
}

OpenResult FakeSerialPorts::open(int portIndex) {
    ++line_->opens;
    openedIndices.push_back(portIndex);
    line_->journal.push_back("open " + std::to_string(portIndex));
    if (line_->failing.count(Step::Open) || line_->absentPorts.count(portIndex))
        return {nullptr, "no such device"};
    return {std::make_unique<FakeDevice>(line_), {}};
}

}  // namespace torvane::test
