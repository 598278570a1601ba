#pragma once
// One running updater with windows: the context, the platform pieces behind
// it, and the five windows created in start-up order: the LoaderWindow or
// UpgradeWindow when the product identity chooses one, then always the
// MainWindow, then the port dialog and the version dialog. Every window lives
// as long as the session.

#include <QWidget>

#include <memory>

#include "platform/Platform.h"
#include "ui/FrontEndContext.h"
#include "ui/GuiOptions.h"
#include "ui/GuiServices.h"
#include "qt/LoaderWindow.h"
#include "qt/MainWindow.h"
#include "qt/MessageBoxes.h"
#include "qt/QtPump.h"
#include "qt/Serialsetup.h"
#include "qt/UpgradeWindow.h"
#include "qt/Version.h"

namespace torvane {

class GuiSession {
public:
    // Precondition: a QApplication exists. Everything the operating system
    // provides comes from `platform`; the settings are taken from their
    // usual place as it is now. Throws what a
    // window's construction throws (a settings type error, a UDP port that
    // cannot be bound); the windows made before are then destroyed again.
    explicit GuiSession(const GuiOptions& options, Platform& platform = HostPlatform());
    ~GuiSession();
    GuiSession(const GuiSession&) = delete;
    GuiSession& operator=(const GuiSession&) = delete;

    FrontEnd frontEnd() const { return frontEnd_; }
    // The application's main window: the first window created.
    FrontEndWindow& frontWindow();

    FrontEndContext& context() { return ctx_; }
    TForm1& mainWindow() { return *main_; }
    TForm6* loaderWindow() { return loader_.get(); }
    TForm5* upgradeWindow() { return upgrade_.get(); }
    TForm3& portDialog() { return *portDialog_; }
    TForm4& versionDialog() { return *versionDialog_; }

private:
    QtPump pump_;
    QtMessageBoxHost boxHost_;
    std::unique_ptr<SettingsBackend> settingsBackend_;
    SettingsStore settings_;
    GuiServices services_;
    std::unique_ptr<PortEnumerator> portEnumerator_;
    FrontEnd frontEnd_;  // chosen once, here
    FrontEndContext ctx_;
    std::unique_ptr<TForm6> loader_;
    std::unique_ptr<TForm5> upgrade_;
    std::unique_ptr<TForm1> main_;
    std::unique_ptr<TForm3> portDialog_;
    std::unique_ptr<TForm4> versionDialog_;
};

}  // namespace torvane
