#pragma once
// Puts a simulated boot loader on the far end of a line (a pseudo-terminal
// on POSIX): a thread
// reads what the updater writes, feeds the device model and writes what it
// puts on the line back when it is due (answers late or stray bytes wait in
// a queue while the device goes on reading), and closes the line when the
// hang-up fault fires. Optionally it lets real wire time pass, so figures
// taken against it are those of a real line, and it stands for a station's
// socket where an operator takes each programmed module off and puts the next
// one on.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
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
// A module counts as programmed once its final block is written and no other
// frame than a wake-up has come for this long: its EEPROM frames follow the
// final block at once, while a station looking for the next module keeps
// sending wake-ups, which the module still on the line answers.
inline constexpr std::chrono::milliseconds ProgrammedQuiet{300};
// How long the line stays silent between one module taken off and the next
// put on, unless told otherwise: an operator changing modules. A station
// takes a module for gone only once its wake-ups have gone unanswered for a
// while (2 s for Torvane's), so a shorter change would look to it as if the
// programmed module had never left.
inline constexpr std::chrono::milliseconds DefaultModuleChangeGap{3000};

struct RunnerOptions {
    int baud = 0;  // > 0: wait the wire time of every byte received and sent
    // Damage on the line, in both directions: what the device receives and
    // what it sends (each direction with its own stream of the one seed).
    NoiseSettings noise{};
    // Modules put on this line one after another, each a fresh blank device
    // of the same configuration. Each but the last is taken off once
    // programmed; then the line is silent for `moduleChangeGap`. With 1 the
    // module stays on the line, programmed or not.
    int modules = 1;
    std::chrono::milliseconds moduleChangeGap = DefaultModuleChangeGap;
};

class SimRunner {
public:
    // Creates the line and the device. Throws std::runtime_error when no
    // line can be had, std::invalid_argument for a bad config or a module
    // count below 1.
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

    // Snapshots of the device on the line (between two modules, of the one
    // taken off last), safe while the thread runs.
    std::vector<std::uint8_t> flash() const;
    std::vector<std::uint8_t> eeprom() const;
    std::vector<FrameRecord> frames() const;
    int wakeBytesSeen() const;
    bool awake() const;
    ChipGeometry geometry() const;
    // Faults take effect from the next frame, and hold for every module put
    // on later.
    void setFaults(const SimFaults& faults);

    // Modules put on the line so far (at least 1), and a snapshot of module
    // `k` (0: the first, a number below modulesPutOn()).
    int modulesPutOn() const;
    BootSim module(int k) const;
    // False while one module is off the line and the next not yet on.
    bool attached() const;
    // Waits up to `timeout` until `count` modules have been put on.
    bool waitForModules(int count, std::chrono::milliseconds timeout) const;
    // Bytes that came down the line while no module was on it.
    long bytesWhileOff() const;

    // SummaryLines of the session so far (of the module on the line), then
    // lineSummary(): what the line did, whatever module was on it (the damage
    // of the noise, bytes that came while no module was on).
    std::vector<std::string> summary() const;
    std::vector<std::string> lineSummary() const;
    // SummaryLines of module `k` alone.
    std::vector<std::string> summary(int k) const;
    // What the noisy line did to the bytes the device received and sent.
    LineDamage damageReceived() const;
    LineDamage damageSent() const;

    // Writes flash.bin, eeprom.bin, frames.log (one line per frame) and
    // summary.txt (the summary lines) into `dir`, creating it. Throws
    // std::runtime_error naming what failed. The second writes module `k`'s.
    void writeReport(const std::filesystem::path& dir) const;
    void writeReport(const std::filesystem::path& dir, int k) const;

private:
    void run();
    BootSim& sim() { return modules_.back(); }
    const BootSim& sim() const { return modules_.back(); }
    const BootSim& moduleLocked(int k) const;
    std::vector<std::string> lineSummaryLocked() const;
    // Notes what the frames from `first` on did to the module's progress.
    void noteFrames(std::size_t first, std::chrono::steady_clock::time_point now);
    // Takes the programmed module off, or puts the next one on, when due.
    void changeModule(std::chrono::steady_clock::time_point now);
    // Sleeps unless stop() is called first; false when stopped.
    bool pause(std::chrono::microseconds d);
    std::chrono::microseconds wireTime(std::size_t bytes) const;
    bool writeAll(const std::vector<std::uint8_t>& bytes);
    // The clock the device model is fed by: whole milliseconds since the line opened.
    std::chrono::milliseconds lineTime(std::chrono::steady_clock::time_point t) const;
    // Queues the model's replies to bytes that arrived at `arrived` (its
    // clock read `arrivedMs`) in the model's order; each goes out as late
    // after the exact arrival as the model made it, not rounded to its clock.
    void queue(std::vector<Reply> replies, std::chrono::steady_clock::time_point arrived,
               std::chrono::milliseconds arrivedMs);
    // When the first byte waiting goes out: its due time or, at a baud rate,
    // once the byte before it and its own wire time have passed.
    std::chrono::steady_clock::time_point nextSendAt() const;
    // Puts every byte whose time has come on the line, through the noise.
    void sendDue(std::chrono::steady_clock::time_point now);

    std::unique_ptr<FarEnd> line_;
    RunnerOptions options_;
    mutable std::mutex mutex_;  // guards config_, modules_, the module change, stop_, hungUp_
    mutable std::condition_variable changed_;
    SimConfig config_;              // what every module put on is made of
    std::vector<BootSim> modules_;  // in the order put on; the last is (or was) on the line
    bool attached_ = true;
    bool programmed_ = false;       // the module on the line has its final block
    std::chrono::steady_clock::time_point lastWork_{};  // the last frame other than a wake-up
    std::chrono::steady_clock::time_point putOnAt_{};   // while detached: when the next goes on
    long bytesWhileOff_ = 0;
    LineNoise toDevice_;    // guarded by mutex_
    LineNoise fromDevice_;  // guarded by mutex_
    bool stop_ = false;
    bool hungUp_ = false;
    // The thread's own: what waits to go out, in the order it goes.
    struct Outgoing {
        std::chrono::milliseconds order;  // the model's due time, which orders the queue
        std::chrono::steady_clock::time_point due;
        std::vector<std::uint8_t> bytes;
    };
    std::deque<Outgoing> outbox_;
    std::chrono::steady_clock::time_point opened_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point lineFreeAt_{};  // the last byte sent is through
    std::thread thread_;
};

}  // namespace torvane::bootsim
