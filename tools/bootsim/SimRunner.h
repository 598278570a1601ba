#pragma once
// Puts a simulated boot loader on the far end of a line (a pseudo-terminal
// on POSIX): a thread
// reads what the updater writes, feeds the device model and writes its answer
// back, late when the device is told to be, and closes the line when the
// hang-up fault fires. Optionally it lets real wire time pass, so figures
// taken against it are those of a real line.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <memory>

#include "platform/FarEnd.h"
#include "tools/bootsim/BootSim.h"
#include "tools/bootsim/LineNoise.h"

namespace torvane::bootsim {

// 1 start bit, 8 data bits, 2 stop bits.
inline constexpr int BitsPerByte = 11;
// A frame whose bytes stop arriving for this long is dropped, so that the
// device listens for a new frame (an updater that died mid-frame). Shorter
// than the 100 ms between two wake-ups of a search, which would otherwise be
// swallowed as the rest of the frame.
inline constexpr std::chrono::milliseconds FrameGap{50};

struct RunnerOptions {
    int baud = 0;  // > 0: wait the wire time of every byte received and sent
    // Damage on the line, in both directions: what the device receives and
    // what it sends (each direction with its own stream of the one seed).
    NoiseSettings noise{};
};

class SimRunner {
public:
    // Creates the line and the device. Throws std::runtime_error when no
    // line can be had, std::invalid_argument for a bad config.
    explicit SimRunner(SimConfig config, RunnerOptions options = {});
    // Stops the thread (stop()).
    ~SimRunner();
    SimRunner(const SimRunner&) = delete;
    SimRunner& operator=(const SimRunner&) = delete;

    // The path the updater opens, e.g. /dev/pts/7.
    const std::string& devicePath() const { return line_->devicePath(); }
    // Points COM<portIndex+1> of the port map at the device. Empty on
    // success, else why it failed.
    std::string mapPort(int portIndex) const;

    // Starts answering. Calling it twice is harmless.
    void start();
    // Ends the thread and waits for it; the device state stays readable.
    void stop();
    // True once the hang-up fault has closed the line.
    bool hungUp() const;
    // Waits up to `timeout` for the hang-up; true when it happened.
    bool waitForHangUp(std::chrono::milliseconds timeout) const;

    // Snapshots of the device, safe while the thread runs.
    std::vector<std::uint8_t> flash() const;
    std::vector<std::uint8_t> eeprom() const;
    std::vector<FrameRecord> frames() const;
    int wakeBytesSeen() const;
    bool awake() const;
    ChipGeometry geometry() const;
    // Faults take effect from the next frame.
    void setFaults(const SimFaults& faults);

    // SummaryLines of the session so far, and the damage the line did.
    std::vector<std::string> summary() const;
    // What the noisy line did to the bytes the device received and sent.
    LineDamage damageReceived() const;
    LineDamage damageSent() const;

    // Writes flash.bin, eeprom.bin, frames.log (one line per frame) and
    // summary.txt (the summary lines) into `dir`, creating it. Throws
    // std::runtime_error naming what failed.
    void writeReport(const std::filesystem::path& dir) const;

private:
    void run();
    std::vector<std::string> summaryLocked() const;
    // Sleeps unless stop() is called first; false when stopped.
    bool pause(std::chrono::microseconds d);
    std::chrono::microseconds wireTime(std::size_t bytes) const;
    bool writeAll(const std::vector<std::uint8_t>& bytes);
    // Writes the device's answer, at wire speed when a baud rate is set;
    // false when stop() came first.
    bool sendAnswer(const std::vector<std::uint8_t>& answer);

    std::unique_ptr<FarEnd> line_;
    RunnerOptions options_;
    mutable std::mutex mutex_;  // guards sim_, stop_, hungUp_
    mutable std::condition_variable changed_;
    BootSim sim_;
    LineNoise toDevice_;    // guarded by mutex_
    LineNoise fromDevice_;  // guarded by mutex_
    bool stop_ = false;
    bool hungUp_ = false;
    std::thread thread_;
};

}  // namespace torvane::bootsim
