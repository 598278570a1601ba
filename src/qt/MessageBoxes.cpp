#include "qt/MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>

#include "qt/FrontEndWindow.h"

namespace torvane {

namespace {

QString Latin1(std::string_view s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

int QtMessageBoxHost::ShowMessageBox(std::string_view text, std::string_view caption, unsigned /*flags*/) {
    QMessageBox box(QMessageBox::NoIcon, Latin1(caption), Latin1(text), QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    return MessageBoxAnsweredOk;
}

void ShowTopmostBox(const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.exec();
}

void ShowErrorBox(const QString& message) {
    QMessageBox box(QMessageBox::Critical, ApplicationTitle(), message, QMessageBox::Ok);
    box.exec();
}

}  // namespace torvane
