#include "qt/Version.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>

#include <string>
#include <vector>

#include "images/VersionListing.h"
#include "qt/QtControls.h"

namespace torvane {

namespace {

using L = layout::Form4;

}  // namespace

TForm4::TForm4(const ImageCatalog& images, QWidget* parent)
    : QDialog(parent), Button1(new QPushButton(this)), ListBox1(new QListWidget(this)), GuideLabel(new QLabel(this)),
      images_(images) {
    setObjectName(QStringLiteral("Form4"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(FromSystemText(VersionDialogCaption));
    setFont(MapFont(layout::SansFont, layout::DialogFontHeight));
    FillBackground(this, ClBtnFace);
    setFixedSize(ToQSize(L::ClientArea));
    move(ToQPoint(L::ScreenPosition));

    Place(Button1, "Button1", ToQRect(L::Button1));
    Button1->setText(FromSystemText(L::Button1Caption));
    Button1->setAutoDefault(false);
    Place(ListBox1, "ListBox1", ToQRect(L::ListBox1));
    ListBox1->setFont(MapFont(layout::MonoFont, layout::DialogFontHeight));
    ListBox1->setUniformItemSizes(true);
    ListBox1->setSpacing(0);
    Place(GuideLabel, "GuideLabel", ToQRect(L::GuideLabel));
    GuideLabel->setText(QString::fromLatin1(GuideText));
    GuideLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QWidget::setTabOrder(Button1, ListBox1);
    connect(Button1, &QPushButton::clicked, this, &TForm4::Button1Click);
}

void TForm4::Button1Click() { close(); }

void TForm4::FormShow() {
    ListBox1->clear();
    std::vector<std::string> lines;
    ListImageVersions(images_, lines);
    for (const auto& line : lines) {
        auto* item = new QListWidgetItem(QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())), ListBox1);
        item->setSizeHint(QSize(0, L::ItemHeight));
    }
}

void TForm4::showEvent(QShowEvent* event) {
    // A window restored from the task bar is shown again by the system; only
    // a showing by the program lists afresh.
    if (!event->spontaneous()) {
        FormShow();
        KeepOnScreen(this);
    }
    QDialog::showEvent(event);
}

}  // namespace torvane
