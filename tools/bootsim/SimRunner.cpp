#include "tools/bootsim/SimRunner.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "platform/Platform.h"

namespace torvane::bootsim {

namespace {

constexpr std::size_t ReadChunk = 4096;
// How often the thread looks at the line when nothing arrives, to notice a
// frame left unfinished.
constexpr std::chrono::milliseconds IdlePoll{20};
// A full pseudo-terminal (nobody reading the updater's side) gets this long
// before an answer is dropped; the updater has stopped waiting by then.
constexpr std::chrono::milliseconds WriteGiveUp{2000};
constexpr std::chrono::milliseconds WritePoll{50};
// Closing the line throws away what the updater has not read yet, so the
// hang-up waits until the updater moves on (sends more) or this long.
constexpr std::chrono::milliseconds HangUpGrace{500};
// When the device side reports a hang-up, look again after this long.
constexpr std::chrono::milliseconds HangUpRetry{20};
// Sets the noise of the device's answers apart from that of what it receives.
constexpr std::uint64_t FromDeviceStream = 0x5A5A'0F0F'A5A5'F0F0ULL;

void WriteFile(const std::filesystem::path& path, const void* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out) out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) throw std::runtime_error("cannot write " + path.string() + ": " + std::strerror(errno));
}

}  // namespace

SimRunner::SimRunner(SimConfig config, RunnerOptions options)
    : line_(HostPlatform().openFarEnd()),
      options_(options),
      sim_(std::move(config)),
      toDevice_(options.noise),
      fromDevice_({options.noise.bitErrorRate, options.noise.dropRate, options.noise.seed ^ FromDeviceStream}) {}

SimRunner::~SimRunner() { stop(); }

std::string SimRunner::mapPort(int portIndex) const { return HostPlatform().assignPort(portIndex, devicePath()); }

void SimRunner::start() {
    std::lock_guard lock(mutex_);
    if (thread_.joinable() || hungUp_) return;
    stop_ = false;
    thread_ = std::thread(&SimRunner::run, this);
}

void SimRunner::stop() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    line_->interrupt();
    if (thread_.joinable()) thread_.join();
}

bool SimRunner::hungUp() const {
    std::lock_guard lock(mutex_);
    return hungUp_;
}

bool SimRunner::waitForHangUp(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return hungUp_; });
}

std::vector<std::uint8_t> SimRunner::flash() const {
    std::lock_guard lock(mutex_);
    return sim_.flash();
}

std::vector<std::uint8_t> SimRunner::eeprom() const {
    std::lock_guard lock(mutex_);
    return sim_.eeprom();
}

std::vector<FrameRecord> SimRunner::frames() const {
    std::lock_guard lock(mutex_);
    return sim_.frames();
}

int SimRunner::wakeBytesSeen() const {
    std::lock_guard lock(mutex_);
    return sim_.wakeBytesSeen();
}

bool SimRunner::awake() const {
    std::lock_guard lock(mutex_);
    return sim_.awake();
}

ChipGeometry SimRunner::geometry() const {
    std::lock_guard lock(mutex_);
    return sim_.geometry();
}

void SimRunner::setFaults(const SimFaults& faults) {
    std::lock_guard lock(mutex_);
    sim_.setFaults(faults);
}

void SimRunner::writeReport(const std::filesystem::path& dir) const {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) throw std::runtime_error("cannot create the report folder " + dir.string() + ": " + ec.message());
    std::lock_guard lock(mutex_);
    WriteFile(dir / "flash.bin", sim_.flash().data(), sim_.flash().size());
    WriteFile(dir / "eeprom.bin", sim_.eeprom().data(), sim_.eeprom().size());
    std::string log;
    for (const FrameRecord& r : sim_.frames()) log += FormatFrameRecord(r) + "\n";
    WriteFile(dir / "frames.log", log.data(), log.size());
    std::string summary;
    for (const std::string& line : summaryLocked()) summary += line + "\n";
    WriteFile(dir / "summary.txt", summary.data(), summary.size());
}

std::vector<std::string> SimRunner::summary() const {
    std::lock_guard lock(mutex_);
    return summaryLocked();
}

std::vector<std::string> SimRunner::summaryLocked() const {
    std::vector<std::string> lines = SummaryLines(sim_.frames(), sim_.config());
    if (options_.noise.any()) {
        lines.push_back("line noise to the device: " + DescribeDamage(toDevice_.damage()));
        lines.push_back("line noise from the device: " + DescribeDamage(fromDevice_.damage()));
    }
    return lines;
}

LineDamage SimRunner::damageReceived() const {
    std::lock_guard lock(mutex_);
    return toDevice_.damage();
}

LineDamage SimRunner::damageSent() const {
    std::lock_guard lock(mutex_);
    return fromDevice_.damage();
}

std::chrono::microseconds SimRunner::wireTime(std::size_t bytes) const {
    if (options_.baud <= 0) return std::chrono::microseconds{0};
    return std::chrono::microseconds{static_cast<long long>(bytes) * BitsPerByte * 1'000'000LL / options_.baud};
}

bool SimRunner::pause(std::chrono::microseconds d) {
    std::unique_lock lock(mutex_);
    if (d.count() > 0) changed_.wait_for(lock, d, [this] { return stop_; });
    return !stop_;
}

bool SimRunner::writeAll(const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    const auto giveUp = std::chrono::steady_clock::now() + WriteGiveUp;
    while (done < bytes.size()) {
        const long n = line_->write({bytes.data() + done, bytes.size() - done});
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0) return false;
        if (std::chrono::steady_clock::now() >= giveUp || !pause(std::chrono::microseconds{0})) return false;
        line_->waitWritable(WritePoll);
    }
    return true;
}

bool SimRunner::sendAnswer(const std::vector<std::uint8_t>& sent) {
    std::vector<std::uint8_t> answer;
    {
        std::lock_guard lock(mutex_);
        answer = fromDevice_.pass(sent);
    }
    if (options_.baud <= 0) {
        writeAll(answer);
        return pause(std::chrono::microseconds{0});
    }
    // On a real line the answer arrives a byte at a time: the updater may
    // read its first bytes while the rest are still on the way.
    for (const std::uint8_t b : answer) {
        if (!pause(wireTime(1))) return false;
        writeAll({b});
    }
    return true;
}

void SimRunner::run() {
    std::array<std::uint8_t, ReadChunk> buf{};
    auto lastByte = std::chrono::steady_clock::now();
    for (;;) {
        const FarEndWait ready = line_->waitInput(IdlePoll);
        if (!pause(std::chrono::microseconds{0})) return;
        if (ready == FarEndWait::Failed) return;

        if (ready == FarEndWait::Input) {
            const long got = line_->read(buf);
            if (got > 0) {
                const auto count = static_cast<std::size_t>(got);
                // The bytes would still be on the wire.
                if (!pause(wireTime(count))) return;
                lastByte = std::chrono::steady_clock::now();
                std::vector<std::uint8_t> answer;
                int lateMs = 0;
                bool hangUp = false;
                {
                    std::lock_guard lock(mutex_);
                    std::vector<ByteDamage> marks;
                    const std::vector<std::uint8_t> arrived = toDevice_.pass({buf.data(), count}, &marks);
                    answer = sim_.feed(arrived, marks);
                    lateMs = sim_.lateMs();
                    hangUp = sim_.hangUpDue();
                }
                if (!answer.empty()) {
                    if (!pause(std::chrono::milliseconds{lateMs})) return;
                    if (!sendAnswer(answer)) return;
                }
                if (hangUp) {
                    line_->waitInput(HangUpGrace);
                    std::lock_guard lock(mutex_);
                    line_->hangUp();
                    hungUp_ = true;
                    changed_.notify_all();
                    return;
                }
                continue;
            }
        } else if (ready == FarEndWait::NoPeer) {
            // Nobody holds the device side at the moment; do not spin.
            if (!pause(HangUpRetry)) return;
        }

        std::lock_guard lock(mutex_);
        if (std::chrono::steady_clock::now() - lastByte >= FrameGap) {
            // A byte lost before the pause damaged only what came before it.
            toDevice_.forgetLoss();
            if (sim_.hasPartialFrame()) sim_.lineIdle();
        }
    }
}

}  // namespace torvane::bootsim
