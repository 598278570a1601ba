#include "station/StationReports.h"

#include <algorithm>
#include <cstdio>

#include "formats/ComName.h"
#include "platform/Platform.h"
#include "serial/PortDiscovery.h"

namespace torvane {

StationReportRelay::StationReportRelay(Platform& platform, int generation, Post post)
    : platform_(platform), generation_(generation), post_(std::move(post)) {}

std::unique_ptr<StationReport> StationReportRelay::report(StationReport::Kind kind, int slot) const {
    auto r = std::make_unique<StationReport>();
    r->kind = kind;
    r->generation = generation_;
    r->slot = slot;
    return r;
}

void StationReportRelay::text(int slot, std::string_view what, std::string_view value) {
    auto r = report(StationReport::Kind::Text, slot);
    r->what = what;
    r->value = value;
    post_(std::move(r));
}

void StationReportRelay::bar(int slot, int position, int maximum, BarState state) {
    auto r = report(StationReport::Kind::Bar, slot);
    r->position = position;
    r->maximum = maximum;
    r->state = state;
    post_(std::move(r));
}

void StationReportRelay::runEnded(int slot, const PortReport& run) {
    if (!run.record.empty()) {
        const std::string path = platform_.runLogPath();
        if (const std::string failure = platform_.appendLine(path, run.record); !failure.empty())
            std::fprintf(stderr, "torvane: the run on %s was not recorded in %s: %s\n", run.portName.c_str(),
                         path.c_str(), failure.c_str());
    }
    auto r = report(StationReport::Kind::RunEnded, slot);
    r->run = run;
    post_(std::move(r));
}

void StationReportRelay::waitingForNext(int slot) { post_(report(StationReport::Kind::WaitingForNext, slot)); }

void StationReportRelay::portEnded(int slot) { post_(report(StationReport::Kind::PortEnded, slot)); }

CellLine CellLineOf(std::string_view what) {
    // The loader's front end says on its message line what the others say
    // in the status panel.
    if (what == "status" || what == "message") return CellLine::Status;
    if (what == "device") return CellLine::Chip;
    // A box the port's run would have shown is said in the cell: a station
    // must not stop every port for one that cannot be opened.
    if (what == "detail" || what == "message box" || what == "notice") return CellLine::Detail;
    return CellLine::None;
}

VerdictColours VerdictColoursOf(const PortReport& report) { return {report.success ? ClGreen : ClRed, ClWhite}; }

void ShowBar(ProgressBar& bar, int position, int maximum, BarState state) {
    bar.setMaximum(maximum);
    bar.setPosition(position);
    bar.setState(state);
}

void ShowVerdict(Label& verdict, const PortReport& report) {
    const VerdictColours colours = VerdictColoursOf(report);
    verdict.setCaption(report.verdict);
    verdict.setBackground(colours.background);
    verdict.setFontColour(colours.font);
    verdict.setOpaque(true);
}

void StationCounts::count(const PortReport& report) {
    if (report.success) ++done;
    else if (report.outcome != Outcome::Aborted) ++failed;
}

StationCounts& StationCounts::operator+=(const StationCounts& other) {
    done += other.done;
    failed += other.failed;
    return *this;
}

std::string StationCounts::text() const {
    return std::to_string(done) + " done, " + std::to_string(failed) + " failed";
}

std::vector<StationPortEntry> StationPortList(Platform& platform, const std::vector<int>& chosen) {
    const auto isChosen = [&](int index) { return std::find(chosen.begin(), chosen.end(), index) != chosen.end(); };
    std::vector<StationPortEntry> list;
    const auto listed = [&](int index) {
        return std::any_of(list.begin(), list.end(), [&](const auto& e) { return e.portIndex == index; });
    };
    // The same listing the port dialog shows.
    const std::unique_ptr<PortEnumerator> enumerator = platform.portEnumerator();
    for (const ComPort& p : ListComPorts(*enumerator)) {
        const int index = p.portIndex();
        if (listed(index)) continue;
        list.push_back({index, p.portName + "   " + p.friendlyName, p.devicePath, isChosen(index)});
    }
    for (int index : chosen) {
        if (listed(index)) continue;
        const std::string path = platform.devicePathOf(index);
        list.push_back({index, ComName(index) + "   " + path, path, true});
    }
    return list;
}

}  // namespace torvane
