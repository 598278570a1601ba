// What a station window is started with and what it counts: the same for
// the Qt and the Windows window.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "station/StationCommandLine.h"
#include "station/StationReports.h"

namespace torvane {
namespace {

using Words = std::vector<std::string>;

struct ArgumentsCase {
    const char* name;
    Words commandLine;                  // the program's name first
    std::optional<Words> stationPorts;  // nothing: no station asked for
};

const ArgumentsCase ArgumentsCases[] = {
    {"no station", {"torvane", "COM7"}, std::nullopt},
    {"station without ports", {"torvane", "--station"}, Words{}},
    {"ports up to the next option", {"torvane", "--station", "COM7", "/dev/ttyUSB0", "-platform", "offscreen"},
     Words{"COM7", "/dev/ttyUSB0"}},
    {"after the UDP switch", {"torvane", "\\P", "--station", "com8", "\\\\.\\COM9"}, Words{"com8", "\\\\.\\COM9"}},
    {"the program's own name is no option", {"--station", "COM7"}, std::nullopt},
    {"a longer option is another option", {"torvane", "--stations", "COM7"}, std::nullopt},
};

TEST(StationArguments, AreThePortsAfterTheOption) {
    for (const ArgumentsCase& c : ArgumentsCases) EXPECT_EQ(StationArguments(c.commandLine), c.stationPorts) << c.name;
}

TEST(StationCounts, AStoppedRunCountsNeitherWay) {
    StationCounts port;
    for (const auto& [outcome, success] : {std::pair{Outcome::Programmed, true}, {Outcome::Aborted, false},
                                           {Outcome::NotFound, false}, {Outcome::Programmed, true}}) {
        PortReport run;
        run.outcome = outcome;
        run.success = success;
        port.count(run);
    }
    EXPECT_EQ(port.text(), "2 done, 1 failed");
    StationCounts all;
    all += port;
    all += port;
    EXPECT_EQ(all.text(), "4 done, 2 failed");
}

}  // namespace
}  // namespace torvane
