#pragma once
// One running updater with windows: the context, the platform pieces behind
// it, and the windows created in start-up order: the LoaderWindow or
// UpgradeWindow when the product identity chooses one, then always the
// MainWindow, then the port dialog and the version list. Every window lives
// as long as the session.

#include <memory>

#include "platform/Platform.h"
#include "ui/FrontEndContext.h"
#include "ui/GuiOptions.h"
#include "ui/GuiServices.h"
#include "win32ui/Dialogs.h"
#include "win32ui/Forms.h"
#include "win32ui/MessageBoxes.h"
#include "win32ui/Win32Pump.h"

namespace torvane::win32ui {

class Session {
public:
    // Everything the operating system provides comes from `platform`; the
    // settings are taken from their usual place as it is now. Throws what a
    // window's construction throws (a settings type error, a UDP port that
    // cannot be bound); the windows made before are then destroyed again.
    explicit Session(const GuiOptions& options, Platform& platform = HostPlatform());
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    FrontEnd frontEnd() const { return frontEnd_; }
    // The window that drives the update: the first one created.
    FrontEndWindow& frontWindow();

    FrontEndContext& context() { return ctx_; }
    TForm1& mainWindow() { return *main_; }
    TForm6* loaderWindow() { return loader_.get(); }
    TForm5* upgradeWindow() { return upgrade_.get(); }
    TForm3& portDialog() { return *portDialog_; }
    TForm4& versionDialog() { return *versionDialog_; }

private:
    Win32Pump pump_;
    Win32MessageBoxHost boxHost_;
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

}  // namespace torvane::win32ui
