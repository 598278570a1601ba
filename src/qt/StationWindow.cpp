#include "qt/StationWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMetaObject>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "formats/ComName.h"
#include "platform/Platform.h"
#include "serial/PortDiscovery.h"
#include "shell/ProductIdentity.h"

namespace torvane {

namespace {

constexpr int GridColumns = 4;
constexpr int CellWidth = 230;
constexpr int PortListHeight = 96;
constexpr int VerdictFontHeight = -13;
constexpr FontStyle Bold{true, false};
constexpr const char* WindowTitle = "Torvane station";
constexpr const char* WaitingForNextText = "Waiting for the next module";

QString Utf8(const std::string& s) { return FromSystemText(s); }

QString CountsText(int done, int failed) { return QStringLiteral("%1 done, %2 failed").arg(done).arg(failed); }

// Users type com7 as readily as COM7.
std::optional<int> ComNameArgument(std::string s) {
    for (std::size_t i = 0; i < s.size() && i < 3; ++i) s[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(s[i])));
    return PortIndexOfComName(s);
}

}  // namespace

std::optional<std::vector<std::string>> StationArguments(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) != "--station") continue;
        std::vector<std::string> ports;
        for (int j = i + 1; j < argc && argv[j][0] != '-'; ++j) ports.emplace_back(argv[j]);
        return ports;
    }
    return std::nullopt;
}

StationPorts StationPortsOf(Platform& platform, const std::vector<std::string>& arguments) {
    StationPorts result;
    for (const std::string& a : arguments) {
        std::optional<int> index = ComNameArgument(a);
        if (!index) {
            if (a.find('/') == std::string::npos) {
                result.error = "'" + a + "' is neither a port name (COM1..COM257) nor a device path such as /dev/ttyUSB0";
                return result;
            }
            const DevicePortLookup port = platform.portForDevice(a);
            if (port.portIndex < 0) {
                result.error = port.reason;
                return result;
            }
            index = port.portIndex;
        }
        // One worker per port: a port named twice is still one port.
        if (std::find(result.portIndexes.begin(), result.portIndexes.end(), *index) == result.portIndexes.end())
            result.portIndexes.push_back(*index);
    }
    return result;
}

StationSettings StationSettingsFor(const std::optional<std::string>& identity) {
    StationSettings s;
    s.front = ChooseFrontEnd(identity ? std::optional<std::string_view>(*identity) : std::nullopt);
    s.identity = std::string(IdentityOrDefault(identity ? std::optional<std::string_view>(*identity) : std::nullopt));
    return s;
}

// Hands the engine's reports, made on the ports' worker threads, to the GUI
// thread. The run log is written here, on the worker: a record must not be
// lost because the window went away before the queue was processed.
class StationWindow::Relay : public StationObserver {
public:
    Relay(StationWindow& window, Platform& platform, int generation)
        : window_(window), platform_(platform), generation_(generation) {}

    void text(int slot, std::string_view what, std::string_view value) override {
        post([slot, what = std::string(what), value = std::string(value)](StationWindow& w) {
            w.showText(slot, what, value);
        });
    }
    void bar(int slot, int position, int maximum, BarState state) override {
        post([=](StationWindow& w) { w.showBar(slot, position, maximum, state); });
    }
    void runEnded(int slot, const PortReport& report) override {
        if (!report.record.empty()) {
            const std::string path = platform_.runLogPath();
            if (const std::string failure = platform_.appendLine(path, report.record); !failure.empty())
                std::fprintf(stderr, "torvane: the run on %s was not recorded in %s: %s\n", report.portName.c_str(),
                             path.c_str(), failure.c_str());
        }
        post([slot, report](StationWindow& w) { w.showVerdict(slot, report); });
    }
    void waitingForNext(int slot) override {
        post([slot](StationWindow& w) { w.showWaiting(slot); });
    }
    void portEnded(int slot) override {
        post([slot](StationWindow& w) { w.showEnded(slot); });
    }

private:
    template <class Show>
    void post(Show show) {
        StationWindow* w = &window_;
        QMetaObject::invokeMethod(
            w, [w, generation = generation_, show = std::move(show)] {
                if (w->generation_ == generation) show(*w);
            },
            Qt::QueuedConnection);
    }

    StationWindow& window_;
    Platform& platform_;
    const int generation_;
};

StationWindow::StationWindow(Platform& platform, StationSettings settings, std::vector<int> chosen, QWidget* parent)
    : QMainWindow(parent),
      portList(new QListWidget),
      repeat(new QCheckBox(QStringLiteral("Repeat: after each verdict, wait for the next module"))),
      startAll(new QPushButton(QStringLiteral("START all"))),
      stopAll(new QPushButton(QStringLiteral("STOP all"))),
      totals(new QLabel),
      platform_(platform),
      settings_(std::move(settings)) {
    setObjectName(QStringLiteral("Station"));
    setWindowTitle(QString::fromLatin1(WindowTitle));
    setFont(MapFont("MS Sans Serif", -11));

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    FillBackground(client, ClBtnFace);
    setCentralWidget(client);
    auto* column = new QVBoxLayout(client);

    portList->setObjectName(QStringLiteral("ports"));
    portList->setMaximumHeight(PortListHeight);
    column->addWidget(portList);

    auto* controls = new QHBoxLayout;
    repeat->setObjectName(QStringLiteral("repeat"));
    repeat->setChecked(settings_.repeat);
    startAll->setObjectName(QStringLiteral("startAll"));
    stopAll->setObjectName(QStringLiteral("stopAll"));
    totals->setObjectName(QStringLiteral("totals"));
    for (QPushButton* b : {startAll, stopAll}) b->setAutoDefault(false);
    controls->addWidget(repeat);
    controls->addStretch(1);
    controls->addWidget(totals);
    controls->addWidget(startAll);
    controls->addWidget(stopAll);
    column->addLayout(controls);

    grid_ = new QWidget;
    grid_->setObjectName(QStringLiteral("grid"));
    gridLayout_ = new QGridLayout(grid_);
    gridLayout_->setContentsMargins(0, 0, 0, 0);
    column->addWidget(grid_);
    column->addStretch(1);

    connect(startAll, &QPushButton::clicked, this, [this] {
        for (int slot = 0; slot < cellCount(); ++slot)
            if (!cell(slot).running) startPort(slot);
    });
    connect(stopAll, &QPushButton::clicked, this, [this] {
        for (int slot = 0; slot < cellCount(); ++slot)
            if (cell(slot).running) stopPort(slot);
    });
    connect(repeat, &QCheckBox::toggled, this, [this](bool on) {
        settings_.repeat = on;
        rebuild();
    });
    connect(portList, &QListWidget::itemChanged, this, [this] { rebuild(); });

    fillPortList(chosen);
    rebuild();
}

StationWindow::~StationWindow() {
    // The workers report to the relay and queue to this window: both must
    // outlive them.
    station_.reset();
}

bool StationWindow::anyRunning() const {
    return std::any_of(cells_.begin(), cells_.end(), [](const auto& c) { return c->running; });
}

void StationWindow::fillPortList(const std::vector<int>& chosen) {
    const QSignalBlocker quiet(portList);
    portList->clear();
    const auto add = [&](int portIndex, const QString& text) {
        auto* item = new QListWidgetItem(text, portList);
        item->setData(Qt::UserRole, portIndex);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        const bool checked = std::find(chosen.begin(), chosen.end(), portIndex) != chosen.end();
        item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    };
    // The same listing the port dialog shows.
    const std::unique_ptr<PortEnumerator> enumerator = platform_.portEnumerator();
    std::vector<int> listed;
    for (const ComPort& p : ListComPorts(*enumerator)) {
        const int index = p.portIndex();
        if (std::find(listed.begin(), listed.end(), index) != listed.end()) continue;
        listed.push_back(index);
        devicePaths_[index] = Utf8(p.devicePath);
        add(index, Utf8(p.portName) + QStringLiteral("   ") + Utf8(p.friendlyName));
    }
    // A port given by name whose device is not present now is still a port
    // the user asked for: it shows, and its run says what is wrong with it.
    for (int index : chosen) {
        if (std::find(listed.begin(), listed.end(), index) != listed.end()) continue;
        devicePaths_[index] = Utf8(platform_.devicePathOf(index));
        add(index, Utf8(ComName(index)) + QStringLiteral("   ") + devicePaths_[index]);
    }
}

std::vector<int> StationWindow::checkedPorts() const {
    std::vector<int> ports;
    for (int row = 0; row < portList->count(); ++row) {
        const QListWidgetItem* item = portList->item(row);
        if (item->checkState() == Qt::Checked) ports.push_back(item->data(Qt::UserRole).toInt());
    }
    return ports;
}

void StationWindow::rebuild() {
    if (anyRunning()) return;  // the list and the repeat box are locked then
    station_.reset();
    ++generation_;
    cells_.clear();
    while (QLayoutItem* item = gridLayout_->takeAt(0)) {
        delete item->widget();
        delete item;
    }

    const std::vector<int> ports = checkedPorts();
    for (std::size_t slot = 0; slot < ports.size(); ++slot) {
        auto c = std::make_unique<StationCell>();
        c->portIndex = ports[slot];
        const QString name = Utf8(ComName(c->portIndex));
        c->box = new QGroupBox(name);
        c->box->setObjectName(name);
        c->box->setFixedWidth(CellWidth);
        QFont title = c->box->font();
        title.setBold(true);
        c->box->setFont(title);
        auto* lines = new QVBoxLayout(c->box);
        const auto line = [&](const char* objectName) {
            auto* l = new QLabel(c->box);
            l->setObjectName(QString::fromLatin1(objectName));
            l->setTextFormat(Qt::PlainText);
            l->setFont(font());
            lines->addWidget(l);
            return l;
        };
        c->device = line("device");
        c->device->setText(devicePaths_.count(c->portIndex) ? devicePaths_[c->portIndex] : QString());
        c->bar = std::make_unique<QtProgressBar>(c->box, "bar", QRect{0, 0, CellWidth - 20, 16});
        lines->addWidget(c->bar->widget());
        c->status = line("status");
        c->chip = line("chip");
        c->detail = line("detail");
        c->detail->setWordWrap(true);
        c->verdict = std::make_unique<QtLabel>(c->box, "verdict", QRect{0, 0, CellWidth - 20, 20}, "MS Sans Serif");
        c->verdict->setOpaque(false);
        c->verdict->setAlignment(Alignment::Centre);
        c->verdict->setFontStyle(Bold);
        c->verdict->setFontHeight(VerdictFontHeight);
        lines->addWidget(c->verdict->widget());
        c->counter = line("counter");
        auto* buttons = new QHBoxLayout;
        c->start = new QPushButton(QStringLiteral("START"), c->box);
        c->start->setObjectName(QStringLiteral("start"));
        c->stop = new QPushButton(QStringLiteral("STOP"), c->box);
        c->stop->setObjectName(QStringLiteral("stop"));
        for (QPushButton* b : {c->start, c->stop}) {
            b->setAutoDefault(false);
            b->setFont(font());
            buttons->addWidget(b);
        }
        lines->addLayout(buttons);
        const int s = static_cast<int>(slot);
        connect(c->start, &QPushButton::clicked, this, [this, s] { startPort(s); });
        connect(c->stop, &QPushButton::clicked, this, [this, s] { stopPort(s); });
        gridLayout_->addWidget(c->box, s / GridColumns, s % GridColumns);
        cells_.push_back(std::move(c));
        showCounts(s);
    }
    if (!ports.empty()) {
        relay_ = std::make_unique<Relay>(*this, platform_, generation_);
        station_ = std::make_unique<Station>(platform_, settings_, ports, *relay_);
    }
    showCounts(-1);
    showButtons();
    adjustSize();
}

void StationWindow::startPort(int slot) {
    StationCell& c = cell(slot);
    if (c.running || !station_) return;
    c.running = true;
    c.verdict->setOpaque(false);
    c.verdict->setCaption("");
    c.detail->clear();
    c.bar->setState(BarState::Normal);
    c.bar->setPosition(0);
    showButtons();
    station_->start(slot);
}

void StationWindow::stopPort(int slot) {
    if (station_ && cell(slot).running) station_->stop(slot);
}

void StationWindow::showButtons() {
    const bool any = anyRunning();
    const bool idle = std::any_of(cells_.begin(), cells_.end(), [](const auto& c) { return !c->running; });
    for (const auto& c : cells_) {
        c->start->setEnabled(!c->running && !closePending_);
        c->stop->setEnabled(c->running);
    }
    startAll->setEnabled(idle && !closePending_);
    stopAll->setEnabled(any);
    // Other ports or another mode make another station: not while one runs.
    portList->setEnabled(!any);
    repeat->setEnabled(!any);
}

void StationWindow::showCounts(int slot) {
    if (slot >= 0) {
        const Counts& n = counts_[cell(slot).portIndex];
        cell(slot).counter->setText(CountsText(n.done, n.failed));
        return;
    }
    Counts all;
    for (const auto& [port, n] : counts_) {
        all.done += n.done;
        all.failed += n.failed;
    }
    totals->setText(CountsText(all.done, all.failed));
}

void StationWindow::showText(int slot, const std::string& what, const std::string& value) {
    StationCell& c = cell(slot);
    // The loader's front end says on its message line what the others say
    // in the status panel.
    if (what == "status" || what == "message") c.status->setText(Utf8(value));
    else if (what == "device") c.chip->setText(Utf8(value));
    // A box the port's run would have shown is said in the cell: a station
    // must not stop every port for one that cannot be opened.
    else if (what == "detail" || what == "message box" || what == "notice") c.detail->setText(Utf8(value));
}

void StationWindow::showBar(int slot, int position, int maximum, BarState state) {
    QtProgressBar& bar = *cell(slot).bar;
    bar.setMaximum(maximum);
    bar.setPosition(position);
    bar.setState(state);
}

void StationWindow::showVerdict(int slot, const PortReport& report) {
    StationCell& c = cell(slot);
    // The front ends' verdict colours: white on green for success, on red for failure.
    c.verdict->setCaption(report.verdict);
    c.verdict->setBackground(report.success ? ClGreen : ClRed);
    c.verdict->setFontColour(ClWhite);
    c.verdict->setOpaque(true);
    // A run the operator stopped says nothing about the module.
    Counts& n = counts_[c.portIndex];
    if (report.success) ++n.done;
    else if (report.outcome != Outcome::Aborted) ++n.failed;
    showCounts(slot);
    showCounts(-1);
}

void StationWindow::showWaiting(int slot) { cell(slot).status->setText(QString::fromLatin1(WaitingForNextText)); }

void StationWindow::showEnded(int slot) {
    cell(slot).running = false;
    showButtons();
    if (closePending_ && !anyRunning()) {
        // Leave this report's handler first; the close then runs from the event loop.
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
}

void StationWindow::closeEvent(QCloseEvent* event) {
    if (anyRunning()) {
        closePending_ = true;
        if (station_) station_->stop();
        showButtons();
        event->ignore();
        return;
    }
    closePending_ = false;
    // Every worker has ended: this wait returns at once.
    if (station_) station_->wait();
    event->accept();
    emit closed();
}

}  // namespace torvane
