// The station engine driven port by port, as the station window drives it:
// one port stopped and started again while its neighbour keeps programming.

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "RunFixture.h"
#include "formats/ComName.h"
#include "station/Station.h"
#include "ui/RunRecord.h"

using namespace torvane;
using namespace torvane::test;

namespace {

class Recorder : public StationObserver {
public:
    void text(int slot, std::string_view what, std::string_view value) override {
        std::lock_guard lock(mutex_);
        if (what == "device" && value.starts_with("Found")) ++found_[slot];
        changed_.notify_all();
    }
    void bar(int, int, int, BarState) override {}
    void runEnded(int, const PortReport& report) override {
        std::lock_guard lock(mutex_);
        reports_.push_back(report);
    }
    void waitingForNext(int) override {}
    void portEnded(int slot) override {
        std::lock_guard lock(mutex_);
        ++ended_[slot];
        changed_.notify_all();
    }

    // Waits until `done` holds, at most `limit`.
    template <class Done>
    bool waitFor(Done done, std::chrono::seconds limit = std::chrono::seconds(30)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return done(*this); });
    }
    int found(int slot) const { return found_.count(slot) ? found_.at(slot) : 0; }
    int ended(int slot) const { return ended_.count(slot) ? ended_.at(slot) : 0; }
    std::vector<PortReport> reports() {
        std::lock_guard lock(mutex_);
        return reports_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<int, int> found_, ended_;
    std::vector<PortReport> reports_;
};

TEST(StationEngine, OnePortStopsAndStartsAgainWhileItsNeighbourPrograms) {
    TempConfigDir config;
    bootsim::RunnerOptions line;
    line.baud = 57600;  // a programming takes seconds
    std::vector<std::unique_ptr<bootsim::SimRunner>> modules;
    for (int port : {6, 7}) {
        modules.push_back(std::make_unique<bootsim::SimRunner>(bootsim::SimConfig{}, line));
        ASSERT_EQ(modules.back()->mapPort(port), "");
        modules.back()->start();
    }
    Recorder recorder;
    Station station(HostPlatform(), {FrontEnd::MainWindow, std::string(NoTags), false}, {6, 7}, recorder);
    station.start();
    ASSERT_TRUE(recorder.waitFor([](Recorder& r) { return r.found(0) == 1 && r.found(1) == 1; }));
    station.stop(1);
    ASSERT_TRUE(recorder.waitFor([](Recorder& r) { return r.ended(1) == 1; }));
    EXPECT_FALSE(station.running(1));
    EXPECT_TRUE(station.running(0));

    // The module on COM8 takes in the block that was on its way, then the port starts over.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    station.start(1);
    station.wait();
    EXPECT_EQ(recorder.ended(0), 1);
    EXPECT_EQ(recorder.ended(1), 2);

    const auto reports = recorder.reports();
    ASSERT_EQ(reports.size(), 3u);
    std::map<int, std::vector<std::string>> verdicts;
    for (const auto& r : reports) verdicts[r.slot].push_back(r.verdict);
    EXPECT_EQ(verdicts[0], std::vector<std::string>{" Program Ok "});
    EXPECT_EQ(verdicts[1], (std::vector<std::string>{" User Abort !! ", " Program Ok "}));
    for (const auto& r : reports) {
        EXPECT_EQ(r.portName, ComName(r.portIndex));
        EXPECT_EQ(r.success, r.verdict == " Program Ok ") << r.record;
        EXPECT_EQ(r.exitCode, r.success ? ExitProgrammed : ExitAborted);
        EXPECT_EQ(r.chip, "33FJ64");
    }
}

}  // namespace
