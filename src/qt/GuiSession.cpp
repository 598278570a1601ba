#include "qt/GuiSession.h"

#include <QMessageBox>

#include <cstdio>

#include "shell/ProductIdentity.h"

namespace torvane {

namespace {

// Settings that cannot be read are set aside, not lost; the user is told once.
void TellAboutSettings(const std::string& message) {
    QMessageBox::warning(nullptr, ApplicationTitle(), QString::fromLocal8Bit(message.c_str()));
}

// Every run goes into the run log, so a workbench keeps its history without
// asking for one. A log that cannot be written must not stop the updating:
// it is said on stderr every time, and once in a box, for a window started
// from the menu has no terminal to show stderr.
RunLogAppender RunLogTo(Platform& platform) {
    return [&platform, told = false](const std::string& record) mutable {
        const std::string path = platform.runLogPath();
        const std::string failure = platform.appendLine(path, record);
        if (failure.empty()) return;
        std::fprintf(stderr, "torvane: the run was not recorded in %s: %s\n", path.c_str(), failure.c_str());
        if (told) return;
        told = true;
        // Beside the window, not in the way: the runs go on meanwhile.
        auto* box = new QMessageBox(QMessageBox::Warning, ApplicationTitle(),
                                    QString::fromUtf8(("The runs are not recorded in " + path + ": " + failure).c_str()),
                                    QMessageBox::Ok);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setModal(false);
        box->show();
    };
}

}  // namespace

GuiSession::GuiSession(const GuiOptions& options, Platform& platform)
    : pump_(platform.clock()),
      settingsBackend_(platform.settings()),
      settings_{*settingsBackend_, TellAboutSettings},
      services_{settings_, platform.udpListeners(), &platform, RunLogTo(platform)},
      portEnumerator_(platform.portEnumerator()),
      frontEnd_(ChooseFrontEnd(options.identity ? std::optional<std::string_view>(*options.identity) : std::nullopt)),
      ctx_(frontEnd_) {
    WireRun(ctx_, {.ports = platform.serialPorts(),
                   .pump = pump_,
                   .clock = &platform.clock(),
                   .host = &boxHost_,
                   .notice = [](std::string_view text) {
                       QMessageBox::warning(nullptr, ApplicationTitle(),
                                            QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
                   },
                   .trace = {}});

    // The window of the front end first, then always the MainWindow (hidden
    // when another window drives the update), then the dialogs.
    if (frontEnd_ == FrontEnd::UpgradeWindow) upgrade_ = std::make_unique<TForm5>(ctx_, services_, options);
    if (frontEnd_ == FrontEnd::LoaderWindow) loader_ = std::make_unique<TForm6>(ctx_, services_, options);
    main_ = std::make_unique<TForm1>(ctx_, services_, options, frontEnd_ == FrontEnd::MainWindow);
    portDialog_ = std::make_unique<TForm3>(ctx_, *portEnumerator_);
    versionDialog_ = std::make_unique<TForm4>(ctx_.images);
    for (FrontEndWindow* w : {static_cast<FrontEndWindow*>(loader_.get()), static_cast<FrontEndWindow*>(upgrade_.get()),
                              static_cast<FrontEndWindow*>(main_.get())})
        if (w != nullptr) w->attachDialogs(portDialog_.get(), versionDialog_.get());
}

GuiSession::~GuiSession() = default;

FrontEndWindow& GuiSession::frontWindow() {
    if (loader_) return *loader_;
    if (upgrade_) return *upgrade_;
    return *main_;
}

}  // namespace torvane
