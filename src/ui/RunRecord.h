#pragma once
// What a run leaves behind for the people who come after it: the verdict as
// the front end shows it, one line on what to do next after a failure, the
// exit code torvane-cli gives it, and the record of the run (which module got
// which image, when, with what verdict) as one line of JSON. torvane-cli
// prints and appends the record, the windows append it to the run log.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "shell/ExitCodes.h"
#include "ui/FrontEndContext.h"

namespace torvane {

// The exit code of torvane-cli update for a run that ended so.
int ExitCodeOf(Outcome outcome);

// One line on what to do after a failure, empty after a success or a stop.
// `mappingRecipe` is how this system ties a COM name to a device; it goes
// into the advice for an unusable port.
std::string NextStep(Outcome outcome, std::string_view mappingRecipe);

struct RunRecord {
    std::string time;        // when the run started, UTC, ISO 8601
    std::string port;        // COM name
    std::string devicePath;  // what the COM name opens; empty when unknown
    double durationSeconds = 0;
};

// The record of the run that just ended in `ctx`, completed from the
// context: the device and image when the run got that far (null before), the
// frames, the verdict and the exit code. One JSON object, no line break.
std::string RunRecordJson(const FrontEndContext& ctx, const RunRecord& run);

class Platform;

// The record of each run in one front end: begin() as the run starts,
// end() once it has returned. The platform gives the wall-clock time, the
// device behind the port and the run's duration.
class RunRecorder {
public:
    explicit RunRecorder(Platform& platform) : platform_(platform) {}
    void begin(const FrontEndContext& ctx);
    // The record, one JSON object on one line.
    std::string end(const FrontEndContext& ctx);

private:
    Platform& platform_;
    RunRecord record_;
    std::chrono::steady_clock::time_point started_{};
};

// "2024-05-01T12:34:56Z" for seconds since 1970 (UTC).
std::string IsoUtc(std::int64_t secondsSinceEpoch);

}  // namespace torvane
