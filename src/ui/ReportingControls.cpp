#include "ui/ReportingControls.h"

#include "ui/FrontEnds.h"

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

ReportingFrontEnd::ReportingFrontEnd(FrontEndContext& ctx, FrontEnd front, ControlReports& r)
    : front_(front), m1_(r, "identity"), m2_(r, "result"), m3_(r, "board"), m4_(r, "release"), mBar_(r),
      mStatus_(r, 4, ctx.presenter.PanelIndex), l1_(r, "message"), l6_(r, "hardware"), l7_(r, "boot loader"),
      lBar_(r), lStatus_(r, 5, ctx.presenter.PanelIndex), uBar_(r), uBar2_(r), uStatus_(r, 5, ctx.presenter.PanelIndex) {
    for (Label* l : {&m2_, &m3_, &m4_}) l->setVisible(false);
    mb1_.setCaption("&Update");
    mb2_.setCaption("&Stop");
    mb2_.setVisible(false);
    lb1_.setCaption("Update FW");
    lb2_.setCaption("Abort");
    lb2_.setEnabled(false);
    ub1_.setCaption("START");
    ub2_.setCaption("STOP");
    ub2_.setVisible(false);
    uBar2_.setVisible(false);
    auto& p = ctx.presenter;
    p.main = {&m1_, &m2_, &m3_, &m4_, &mb1_, &mb2_, &mBar_, &mStatus_};
    if (front == FrontEnd::LoaderWindow) p.loader = LoaderWindowView{&l1_, &l6_, &l7_, &lb1_, &lb2_, &lBar_, &lStatus_};
    if (front == FrontEnd::UpgradeWindow) p.upgrade = UpgradeWindowView{&uPanel_, &ub1_, &ub2_, &uBar_, &uBar2_, &uStatus_};
}

void ReportingFrontEnd::live(bool on) {
    switch (front_) {
    case FrontEnd::MainWindow:
        for (ReportingLabel* l : {&m2_, &m3_, &m4_}) l->live_ = on;
        mBar_.live_ = mStatus_.live_ = on;
        break;
    case FrontEnd::LoaderWindow:
        for (ReportingLabel* l : {&l1_, &l6_, &l7_}) l->live_ = on;
        lBar_.live_ = on;
        break;
    case FrontEnd::UpgradeWindow:
        uBar_.live_ = uStatus_.live_ = on;
        break;
    }
}

void StopButtonPump::step(std::chrono::milliseconds limit, SerialDevice* input) {
    WaitingPump::step(limit, input);
    if (!stopRequested_()) return;
    if (!stopped_) {
        stopped_ = true;
        switch (front_) {
        case FrontEnd::MainWindow: MainStopClick(ctx_); break;
        case FrontEnd::LoaderWindow: LoaderAbortClick(ctx_); break;
        case FrontEnd::UpgradeWindow: UpgradeStopClick(ctx_); break;
        }
    }
    ctx_.receiver.abort = 1;
}

}  // namespace torvane
