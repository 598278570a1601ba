#include "tools/bootsim/SimRunner.h"

#include <algorithm>
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
      config_(std::move(config)),
      toDevice_(options.noise),
      fromDevice_({options.noise.bitErrorRate, options.noise.dropRate, options.noise.seed ^ FromDeviceStream}) {
    if (options_.modules < 1) throw std::invalid_argument("a line needs at least one module");
    modules_.emplace_back(config_);
}

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
    return sim().flash();
}

std::vector<std::uint8_t> SimRunner::eeprom() const {
    std::lock_guard lock(mutex_);
    return sim().eeprom();
}

std::vector<FrameRecord> SimRunner::frames() const {
    std::lock_guard lock(mutex_);
    return sim().frames();
}

int SimRunner::wakeBytesSeen() const {
    std::lock_guard lock(mutex_);
    return sim().wakeBytesSeen();
}

bool SimRunner::awake() const {
    std::lock_guard lock(mutex_);
    return sim().awake();
}

ChipGeometry SimRunner::geometry() const {
    std::lock_guard lock(mutex_);
    return sim().geometry();
}

void SimRunner::setFaults(const SimFaults& faults) {
    std::lock_guard lock(mutex_);
    sim().setFaults(faults);
    config_.faults = faults;
}

int SimRunner::modulesPutOn() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(modules_.size());
}

const BootSim& SimRunner::moduleLocked(int k) const {
    if (k < 0 || static_cast<std::size_t>(k) >= modules_.size())
        throw std::out_of_range("no module " + std::to_string(k + 1) + " has been on the line");
    return modules_[static_cast<std::size_t>(k)];
}

BootSim SimRunner::module(int k) const {
    std::lock_guard lock(mutex_);
    return moduleLocked(k);
}

bool SimRunner::attached() const {
    std::lock_guard lock(mutex_);
    return attached_;
}

bool SimRunner::waitForModules(int count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return modules_.size() >= static_cast<std::size_t>(count); });
}

long SimRunner::bytesWhileOff() const {
    std::lock_guard lock(mutex_);
    return bytesWhileOff_;
}

void SimRunner::writeReport(const std::filesystem::path& dir) const {
    int last = 0;
    {
        std::lock_guard lock(mutex_);
        last = static_cast<int>(modules_.size()) - 1;
    }
    writeReport(dir, last);
}

void SimRunner::writeReport(const std::filesystem::path& dir, int k) const {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) throw std::runtime_error("cannot create the report folder " + dir.string() + ": " + ec.message());
    std::lock_guard lock(mutex_);
    const BootSim& m = moduleLocked(k);
    WriteFile(dir / "flash.bin", m.flash().data(), m.flash().size());
    WriteFile(dir / "eeprom.bin", m.eeprom().data(), m.eeprom().size());
    std::string log;
    for (const FrameRecord& r : m.frames()) log += FormatFrameRecord(r) + "\n";
    WriteFile(dir / "frames.log", log.data(), log.size());
    std::string summary;
    for (const std::string& line : SummaryLines(m.frames(), m.config())) summary += line + "\n";
    for (const std::string& line : lineSummaryLocked()) summary += line + "\n";
    WriteFile(dir / "summary.txt", summary.data(), summary.size());
}

std::vector<std::string> SimRunner::summary() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> lines = SummaryLines(sim().frames(), sim().config());
    for (std::string& line : lineSummaryLocked()) lines.push_back(std::move(line));
    return lines;
}

std::vector<std::string> SimRunner::summary(int k) const {
    std::lock_guard lock(mutex_);
    const BootSim& m = moduleLocked(k);
    return SummaryLines(m.frames(), m.config());
}

std::vector<std::string> SimRunner::lineSummary() const {
    std::lock_guard lock(mutex_);
    return lineSummaryLocked();
}

std::vector<std::string> SimRunner::lineSummaryLocked() const {
    std::vector<std::string> lines;
    if (options_.noise.any()) {
        lines.push_back("line noise to the device: " + DescribeDamage(toDevice_.damage()));
        lines.push_back("line noise from the device: " + DescribeDamage(fromDevice_.damage()));
    }
    if (bytesWhileOff_ > 0)
        lines.push_back(std::to_string(bytesWhileOff_) + " byte(s) came down the line while no module was on it");
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

std::chrono::milliseconds SimRunner::lineTime(std::chrono::steady_clock::time_point t) const {
    return std::chrono::floor<std::chrono::milliseconds>(t - opened_);
}

void SimRunner::queue(std::vector<Reply> replies, std::chrono::steady_clock::time_point arrived,
                      std::chrono::milliseconds arrivedMs) {
    for (Reply& r : replies) {
        // An answer told to be late is never early, nor later than told by
        // the rounding of the model's clock.
        const auto due = arrived + (r.due - arrivedMs);
        // After everything due no later: a stray and an answer due at once go
        // out in the order the device made them.
        const auto at =
            std::find_if(outbox_.begin(), outbox_.end(), [&](const Outgoing& o) { return o.order > r.due; });
        outbox_.insert(at, Outgoing{r.due, due, std::move(r.bytes)});
    }
}

std::chrono::steady_clock::time_point SimRunner::nextSendAt() const {
    const auto due = outbox_.front().due;
    if (options_.baud <= 0) return due;
    // On a real line the answer arrives a byte at a time: the updater may
    // read its first bytes while the rest are still on the way.
    return std::max(due, lineFreeAt_) + wireTime(1);
}

void SimRunner::sendDue(std::chrono::steady_clock::time_point now) {
    std::vector<std::uint8_t> ready;
    while (!outbox_.empty() && nextSendAt() <= now) {
        Outgoing& head = outbox_.front();
        if (options_.baud <= 0) {
            ready.insert(ready.end(), head.bytes.begin(), head.bytes.end());
            outbox_.pop_front();
            continue;
        }
        lineFreeAt_ = nextSendAt();
        ready.push_back(head.bytes.front());
        head.bytes.erase(head.bytes.begin());
        if (head.bytes.empty()) outbox_.pop_front();
    }
    if (ready.empty()) return;
    std::vector<std::uint8_t> sent;
    {
        std::lock_guard lock(mutex_);
        sent = fromDevice_.pass(ready);
    }
    writeAll(sent);
}

void SimRunner::noteFrames(std::size_t first, std::chrono::steady_clock::time_point now) {
    const BootSim& m = sim();
    const auto& frames = m.frames();
    if (m.hasPartialFrame()) lastWork_ = now;
    for (std::size_t i = first; i < frames.size(); ++i) {
        const FrameRecord& r = frames[i];
        if (r.kind == FrameKind::WakeUp) continue;
        lastWork_ = now;
        if (r.kind == FrameKind::Block && r.verdict == Verdict::Accepted && r.address == m.geometry().finalBlock)
            programmed_ = true;
    }
}

void SimRunner::changeModule(std::chrono::steady_clock::time_point now) {
    if (!attached_) {
        if (now < putOnAt_) return;
        modules_.emplace_back(config_);
        attached_ = true;
        programmed_ = false;
        changed_.notify_all();
    } else if (programmed_ && modules_.size() < static_cast<std::size_t>(options_.modules) &&
               now - lastWork_ >= ProgrammedQuiet) {
        attached_ = false;
        putOnAt_ = now + options_.moduleChangeGap;
        // What the module still had to say goes with it.
        outbox_.clear();
        changed_.notify_all();
    }
}

void SimRunner::run() {
    std::array<std::uint8_t, ReadChunk> buf{};
    auto lastByte = std::chrono::steady_clock::now();
    bool hangUp = false;
    for (;;) {
        sendDue(std::chrono::steady_clock::now());
        if (hangUp && outbox_.empty()) {
            line_->waitInput(HangUpGrace);
            std::lock_guard lock(mutex_);
            line_->hangUp();
            hungUp_ = true;
            changed_.notify_all();
            return;
        }
        auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(IdlePoll);
        if (!outbox_.empty()) {
            const auto until = nextSendAt() - std::chrono::steady_clock::now();
            if (until < std::chrono::milliseconds{1}) {
                // The line's wait counts whole milliseconds; a byte due sooner
                // would go out late by up to one on every answer.
                if (!pause(std::chrono::duration_cast<std::chrono::microseconds>(until))) return;
                continue;
            }
            wait = std::clamp(std::chrono::floor<std::chrono::milliseconds>(until), std::chrono::milliseconds{0}, wait);
        }
        const FarEndWait ready = line_->waitInput(wait);
        if (!pause(std::chrono::microseconds{0})) return;
        if (ready == FarEndWait::Failed) return;
        {
            std::lock_guard lock(mutex_);
            changeModule(std::chrono::steady_clock::now());
        }

        if (ready == FarEndWait::Input) {
            const long got = line_->read(buf);
            if (got > 0) {
                const auto count = static_cast<std::size_t>(got);
                // The bytes would still be on the wire.
                if (!pause(wireTime(count))) return;
                lastByte = std::chrono::steady_clock::now();
                std::lock_guard lock(mutex_);
                std::vector<ByteDamage> marks;
                const std::vector<std::uint8_t> arrived = toDevice_.pass({buf.data(), count}, &marks);
                if (!attached_) {
                    // Nobody at the far end: the bytes fall off the open line.
                    bytesWhileOff_ += static_cast<long>(arrived.size());
                    continue;
                }
                const std::size_t before = sim().frames().size();
                const auto arrivedMs = lineTime(lastByte);
                queue(sim().feedAt(arrivedMs, arrived, marks), lastByte, arrivedMs);
                noteFrames(before, lastByte);
                // Closed once what the device has to say is out.
                hangUp = sim().hangUpDue();
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
            if (attached_) queue(sim().lineIdle(), lastByte, lineTime(lastByte));
        }
    }
}

}  // namespace torvane::bootsim
