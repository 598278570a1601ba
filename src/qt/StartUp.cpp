#include "qt/StartUp.h"

#include <exception>
#include <functional>
#include <string>

#include "shell/ExitCodes.h"
#include "shell/SingleInstance.h"
#include "ui/EndTexts.h"
#include "qt/GuiSession.h"
#include "qt/StationWindow.h"

namespace torvane {

namespace {

QString Latin1(std::string_view s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

// Runs the windows; an error that escapes them is shown in a box and ends
// the program with ExitStartFailed.
int RunShowingErrors(const StartUpBoxes& boxes, const std::function<void()>& windows) {
    try {
        windows();
        return 0;
    } catch (const std::exception& e) {
        if (boxes.error) boxes.error(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        if (boxes.error) boxes.error(Latin1(UnexpectedStopText));
    }
    return ExitStartFailed;
}

}  // namespace

GuiApplication::GuiApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool GuiApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowErrorBox(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ShowErrorBox(Latin1(UnexpectedErrorText));
    }
    return false;
}

int StartUp(const GuiOptions& options, InstanceGuard& guard, const StartUpBoxes& boxes) {
    const bool first = ClaimSingleInstance(guard, [&](std::string_view text, std::string_view caption) {
        SetApplicationTitle("");
        if (boxes.topmost) boxes.topmost(Latin1(text), Latin1(caption));
    });
    if (!first) return 0;

    // Closing a dialog never ends the program; closing the main window does.
    const bool quitOnLast = QApplication::quitOnLastWindowClosed();
    QApplication::setQuitOnLastWindowClosed(false);
    const int exitCode = RunShowingErrors(boxes, [&] {
        GuiSession session(options);
        FrontEndWindow& front = session.frontWindow();
        QObject::connect(&front, &FrontEndWindow::closed, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        front.show();
        QApplication::exec();
    });
    QApplication::setQuitOnLastWindowClosed(quitOnLast);
    guard.release();
    return exitCode;
}

int StartStation(const GuiOptions& options, const std::vector<int>& ports, const StartUpBoxes& boxes) {
    return RunShowingErrors(boxes, [&] {
        StationWindow window(HostPlatform(), StationSettingsFor(options.identity), ports);
        window.show();
        QApplication::exec();
    });
}

}  // namespace torvane
