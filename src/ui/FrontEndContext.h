#pragma once
// A front end's context: one update run's world plus the controls of the
// windows that show it. The run reports to the view of the active front end
// (the LoaderWindow or UpgradeWindow when one exists, else the MainWindow),
// so a front end installs its controls in `presenter` and the run finds them.

#include "bootloader/RunContext.h"
#include "ui/RunViews.h"
#include "ui/Views.h"

namespace torvane {

struct FrontEndContext : RunContext {
    Presenter presenter;

    FrontEndContext() : mainView_(*this), loaderView_(*this), upgradeView_(*this) {}

    RunView& runView() override {
        switch (ActiveFrontEnd(presenter)) {
        case FrontEnd::LoaderWindow: return loaderView_;
        case FrontEnd::UpgradeWindow: return upgradeView_;
        case FrontEnd::MainWindow: break;
        }
        return mainView_;
    }

private:
    MainWindowRunView mainView_;
    LoaderWindowRunView loaderView_;
    UpgradeWindowRunView upgradeView_;
};

}  // namespace torvane
