#include "qt/FrontEndWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QMenuBar>
#include <QMetaObject>
#include <QShowEvent>
#include <QTimer>

#include <exception>
#include <optional>
#include <string>

#include "ui/FrontEnds.h"
#include "ui/RunRecord.h"
#include "qt/MessageBoxes.h"
#include "qt/QtControls.h"
#include "qt/Serialsetup.h"

namespace torvane {

FrontEndWindow::FrontEndWindow(FrontEndContext& ctx, GuiServices& services, const char* objectName, QSize client,
                               QPoint position, bool maximiseButton)
    : ctx_(ctx), services_(services), client_(new QWidget(this)), abortWhileClosing_(new QTimer(this)) {
    // A zero interval fires at every pass of event processing, that is at
    // every wait step of the run.
    abortWhileClosing_->setInterval(0);
    connect(abortWhileClosing_, &QTimer::timeout, this, [this] { ctx_.receiver.abort = 1; });
    setObjectName(QString::fromLatin1(objectName));
    // Fixed single border: the system menu and minimise always, maximise only
    // where the window asks for it (it cannot grow either way).
    Qt::WindowFlags flags = Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                            Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;
    if (maximiseButton) flags |= Qt::WindowMaximizeButtonHint;
    setWindowFlags(flags);
    client_->setObjectName(QStringLiteral("client"));
    client_->setFixedSize(client);
    FillBackground(client_, ClBtnFace);
    setCentralWidget(client_);
    setFont(MapFont("MS Sans Serif", -11));
    move(position);
}

void FrontEndWindow::attachDialogs(TForm3* portDialog, TForm4* versionDialog) {
    portDialog_ = portDialog;
    versionDialog_ = versionDialog;
}

QAction* FrontEndWindow::addMenuEntry(const char* name, std::string_view caption) {
    QAction* entry = menuBar()->addAction(QString::fromLatin1(caption.data(), static_cast<qsizetype>(caption.size())));
    entry->setObjectName(QString::fromLatin1(name));
    setFixedSize(client_->width(), client_->height() + menuBar()->sizeHint().height());
    return entry;
}

void FrontEndWindow::RunExclusive(const std::function<void()>& run) {
    if (running_) return;
    running_ = true;
    std::optional<RunRecorder> recorder;
    if (services_.platform != nullptr && services_.appendRunRecord) {
        recorder.emplace(*services_.platform);
        recorder->begin(ctx_);
    }
    try {
        run();
    } catch (...) {
        running_ = false;
        abortWhileClosing_->stop();
        throw;
    }
    if (recorder) services_.appendRunRecord(recorder->end(ctx_));
    running_ = false;
    abortWhileClosing_->stop();
    if (closePending_) {
        closePending_ = false;
        // Leave the click handler first; the close then runs from the event loop.
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
}

void FrontEndWindow::showPortDialog() {
    if (portDialog_ == nullptr) return;
    portDialog_->show();
    portDialog_->raise();
    portDialog_->activateWindow();
}

void FrontEndWindow::setCaptionAndHint(const QString& caption) {
    setWindowTitle(caption);
    hint_ = caption;
}

void FrontEndWindow::StorePort(BrandIndex brand) {
    WriteSetting(services_.settings, PortSettingName, ClosePortsOnExit(ctx_), brand);
}

void FrontEndWindow::closeEvent(QCloseEvent* event) {
    if (running_) {
        // The run is still inside this window's click handler: stop it at its
        // next wait and close once it has returned.
        ctx_.receiver.abort = 1;
        closePending_ = true;
        abortWhileClosing_->start();
        event->ignore();
        return;
    }
    if (!closedForGood_) {
        closedForGood_ = true;
        if (frontEnd_) {
            // A failed settings write is shown, but it does not keep the
            // user from leaving the program.
            try {
                FormClose();
            } catch (const std::exception& e) {
                ShowErrorBox(QString::fromLocal8Bit(e.what()));
            }
        }
    }
    event->accept();
    emit closed();
}

void FrontEndWindow::showEvent(QShowEvent* event) {
    // A window the system restores stays where the user left it.
    if (!event->spontaneous()) KeepOnScreen(this);
    QMainWindow::showEvent(event);
}

void SetApplicationTitle(const std::string& title) {
    QCoreApplication::setApplicationName(QString::fromLatin1(title.data(), static_cast<qsizetype>(title.size())));
}

QString ApplicationTitle() { return QCoreApplication::applicationName(); }

}  // namespace torvane
