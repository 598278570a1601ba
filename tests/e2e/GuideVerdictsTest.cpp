// Whatever a real run ends with, in whichever front end, the technicians'
// guide explains it. The list of end texts in the code can only name the
// texts someone put there; these runs find the ones that were left out.

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "GuideTable.h"
#include "RunFixture.h"
#include "platform/posix/PortMap.h"
#include "ui/RunRecord.h"

namespace torvane::test {
namespace {

constexpr int GonePort = 3;  // COM4, mapped to a device that is not there

struct Ending {
    const char* name;
    bootsim::SimConfig module;
    bool portGone = false;
};

void PrintTo(const Ending& e, std::ostream* os) { *os << e.name; }

bootsim::SimConfig With(auto change) {
    bootsim::SimConfig c;
    change(c);
    return c;
}

// How a run can end, quickly: the slow endings (a silent or unplugged
// module, none at all) wait out their seconds in other tests and end in
// listed texts.
const Ending Endings[] = {
    {"Programmed", {}},
    {"Refused", With([](auto& c) { c.faults.refuseNext = 1000; })},
    {"NoImage", With([](auto& c) { c.chip = 66; })},
    {"UnknownChip", With([](auto& c) { c.chip = 100; })},
    {"NewerBootLoader", With([](auto& c) { c.version = 40; })},
    {"OtherBoard", With([](auto& c) { c.hardware = 5; })},
    {"PortGone", {}, true},
};

std::vector<std::string> GuideTable() {
    std::ifstream file(TORVANE_SOURCE_DIR "/docs/guide.md");
    return GuideTableTexts(file);
}

class GuideVerdicts : public RunFixture, public ::testing::WithParamInterface<std::tuple<FrontEnd, Ending>> {};

TEST_P(GuideVerdicts, TheGuideExplainsWhatTheRunEndsWith) {
    const auto& [front, ending] = GetParam();
    Start(ending.module, front);
    if (ending.portGone) {
        ASSERT_EQ(posix::MapPort(GonePort, config.path() / "dev" / "ttyUSB3"), "");
        ctx->port.CurrentPort = GonePort;
    }
    Press();
    ASSERT_NE(ctx->outcome, Outcome::None);
    const std::string verdict = ctx->front().VerdictText();
    static const std::vector<std::string> table = GuideTable();
    EXPECT_TRUE(GuideExplains(table, verdict)) << "docs/guide.md does not explain \"" << verdict << "\"";
}

std::string FrontEndName(FrontEnd f) {
    switch (f) {
    case FrontEnd::MainWindow: return "Main";
    case FrontEnd::LoaderWindow: return "Loader";
    case FrontEnd::UpgradeWindow: return "Upgrade";
    }
    return "Other";
}

INSTANTIATE_TEST_SUITE_P(EachFrontEnd, GuideVerdicts,
                         ::testing::Combine(::testing::Values(FrontEnd::MainWindow, FrontEnd::LoaderWindow,
                                                              FrontEnd::UpgradeWindow),
                                            ::testing::ValuesIn(Endings)),
                         [](const auto& test) {
                             return FrontEndName(std::get<0>(test.param)) + std::get<1>(test.param).name;
                         });

}  // namespace
}  // namespace torvane::test
