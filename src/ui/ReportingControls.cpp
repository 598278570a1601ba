#include "ui/ReportingControls.h"

#include "ui/FrontEndContext.h"

namespace torvane {

void ReportingLabel::setCaption(const std::string& text) {
    const bool changed = text != caption_;
    Label::setCaption(text);
    if (changed && visible_ && live_ && !text.empty()) reports_.text(name_, text);
}

void ReportingLabel::setVisible(bool v) {
    const bool appears = v && !visible_;
    Label::setVisible(v);
    if (appears && live_ && !caption_.empty()) reports_.text(name_, caption_);
}

void ReportingStatusBar::setPanelText(int i, const std::string& text) {
    const bool changed = text != panelText(i);
    StatusBar::setPanelText(i, text);
    if (changed && live_ && text != " ") reports_.text(nameOf(i), text);
}

std::string ReportingStatusBar::nameOf(int i) const {
    static const char* const Names[] = {"port", "status", "device", "detail"};
    for (int role = 0; role < 4; ++role)
        if (index_[static_cast<std::size_t>(role)] == i) return Names[role];
    return "panel " + std::to_string(i);
}

void ReportingBar::setPosition(int p) {
    ProgressBar::setPosition(p);
    if (live_) reports_.bar(position_, maximum_, state_);
}

void ReportingBar::setMaximum(int m) {
    ProgressBar::setMaximum(m);
    if (live_) reports_.bar(position_, maximum_, state_);
}

void ReportingBar::setState(BarState s) {
    ProgressBar::setState(s);
    if (live_) reports_.barState(position_, maximum_, state_);
}

ReportingFrontEnd::MainControls::MainControls(ControlReports& r, const std::array<std::int32_t, 4>& index)
    : m1(r, "identity"), m2(r, "result"), m3(r, "board"), m4(r, "release"), bar(r), status(r, 4, index) {
    for (Label* l : {&m2, &m3, &m4}) l->setVisible(false);
    b1.setCaption("&Update");
    b2.setCaption("&Stop");
    b2.setVisible(false);
}

void ReportingFrontEnd::MainControls::live(bool on) {
    for (ReportingLabel* l : {&m2, &m3, &m4}) l->live_ = on;
    bar.live_ = status.live_ = on;
}

ReportingFrontEnd::LoaderControls::LoaderControls(ControlReports& r, const std::array<std::int32_t, 4>& index)
    : l1(r, "message"), l6(r, "hardware"), l7(r, "boot loader"), bar(r), status(r, 5, index) {
    b1.setCaption("Update FW");
    b2.setCaption("Abort");
    b2.setEnabled(false);
}

void ReportingFrontEnd::LoaderControls::live(bool on) {
    for (ReportingLabel* l : {&l1, &l6, &l7}) l->live_ = on;
    bar.live_ = on;
}

ReportingFrontEnd::UpgradeControls::UpgradeControls(ControlReports& r, const std::array<std::int32_t, 4>& index)
    : bar(r), pending(r), status(r, 5, index) {
    b1.setCaption("START");
    b2.setCaption("STOP");
    b2.setVisible(false);
    pending.setVisible(false);
}

void ReportingFrontEnd::UpgradeControls::live(bool on) { bar.live_ = status.live_ = on; }

ReportingFrontEnd::ReportingFrontEnd(FrontEndContext& ctx, ControlReports& r)
    : main_(r, ctx.presenter.PanelIndex), loader_(r, ctx.presenter.PanelIndex), upgrade_(r, ctx.presenter.PanelIndex) {
    auto& p = ctx.presenter;
    auto& m = main_;
    auto& l = loader_;
    auto& u = upgrade_;
    p.main = {&m.m1, &m.m2, &m.m3, &m.m4, &m.b1, &m.b2, &m.bar, &m.status};
    p.loader = LoaderWindowView{&l.l1, &l.l6, &l.l7, &l.b1, &l.b2, &l.bar, &l.status, {}};
    p.upgrade = UpgradeWindowView{&u.panel, &u.b1, &u.b2, &u.bar, &u.pending, &u.status};
    // The window that drives the front end is the one someone watching sees.
    WindowControls* const windows[] = {&main_, &loader_, &upgrade_};
    static_assert(int(FrontEnd::MainWindow) == 0 && int(FrontEnd::LoaderWindow) == 1 && int(FrontEnd::UpgradeWindow) == 2);
    shown_ = windows[static_cast<std::size_t>(ctx.front().kind())];
}

void ReportingFrontEnd::live(bool on) { shown_->live(on); }

void StopButtonPump::step(std::chrono::milliseconds limit, SerialDevice* input) {
    WaitingPump::step(limit, input);
    if (!stopRequested_()) return;
    if (!stopped_) {
        stopped_ = true;
        ctx_.front().StopClick();
    }
    ctx_.receiver.abort = 1;
}

}  // namespace torvane
