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

#include "formats/ComName.h"
#include "platform/Platform.h"

namespace torvane {

namespace {

constexpr int GridColumns = 4;
constexpr int CellWidth = 230;
constexpr int PortListHeight = 96;
constexpr int VerdictFontHeight = -13;
constexpr FontStyle Bold{true, false};

QString Utf8(std::string_view s) { return FromSystemText(s); }

}  // namespace

StationWindow::StationWindow(Platform& platform, StationSettings settings, std::vector<int> chosen, QWidget* parent)
    : QMainWindow(parent),
      portList(new QListWidget),
      repeat(new QCheckBox(Utf8(RepeatCaption))),
      startAll(new QPushButton(Utf8(StartAllCaption))),
      stopAll(new QPushButton(Utf8(StopAllCaption))),
      totals(new QLabel),
      platform_(platform),
      settings_(std::move(settings)) {
    setObjectName(QStringLiteral("Station"));
    setWindowTitle(Utf8(StationTitle));
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
    for (const StationPortEntry& p : StationPortList(platform_, chosen)) {
        devicePaths_[p.portIndex] = Utf8(p.devicePath);
        add(p.portIndex, Utf8(p.text));
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
        c->start = new QPushButton(Utf8(StartCaption), c->box);
        c->start->setObjectName(QStringLiteral("start"));
        c->stop = new QPushButton(Utf8(StopCaption), c->box);
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
        // Each report is queued to the GUI thread and taken only if its
        // station is still the window's.
        relay_ = std::make_unique<StationReportRelay>(platform_, generation_, [this](std::unique_ptr<StationReport> r) {
            QMetaObject::invokeMethod(
                this, [this, report = std::shared_ptr<StationReport>(std::move(r))] { take(*report); },
                Qt::QueuedConnection);
        });
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
        cell(slot).counter->setText(Utf8(counts_[cell(slot).portIndex].text()));
        return;
    }
    StationCounts all;
    for (const auto& [port, n] : counts_) all += n;
    totals->setText(Utf8(all.text()));
}

void StationWindow::take(const StationReport& r) {
    if (r.generation != generation_) return;
    switch (r.kind) {
    case StationReport::Kind::Text: showText(r.slot, r.what, r.value); break;
    case StationReport::Kind::Bar: showBar(r.slot, r.position, r.maximum, r.state); break;
    case StationReport::Kind::RunEnded: showVerdict(r.slot, r.run); break;
    case StationReport::Kind::WaitingForNext: showWaiting(r.slot); break;
    case StationReport::Kind::PortEnded: showEnded(r.slot); break;
    }
}

void StationWindow::showText(int slot, const std::string& what, const std::string& value) {
    StationCell& c = cell(slot);
    switch (CellLineOf(what)) {
    case CellLine::Status: c.status->setText(Utf8(value)); break;
    case CellLine::Chip: c.chip->setText(Utf8(value)); break;
    case CellLine::Detail: c.detail->setText(Utf8(value)); break;
    case CellLine::None: break;
    }
}

void StationWindow::showBar(int slot, int position, int maximum, BarState state) {
    ShowBar(*cell(slot).bar, position, maximum, state);
}

void StationWindow::showVerdict(int slot, const PortReport& report) {
    StationCell& c = cell(slot);
    ShowVerdict(*c.verdict, report);
    counts_[c.portIndex].count(report);
    showCounts(slot);
    showCounts(-1);
}

void StationWindow::showWaiting(int slot) { cell(slot).status->setText(Utf8(WaitingForNextText)); }

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
