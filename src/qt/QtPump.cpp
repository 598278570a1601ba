#include "qt/QtPump.h"

#include <QCoreApplication>

namespace torvane {

void QtPump::step(std::chrono::milliseconds limit, SerialDevice* input) {
    WaitingPump::step(limit, input);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace torvane
