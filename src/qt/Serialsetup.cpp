#include "qt/Serialsetup.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

#include <cctype>
#include <string>

#include "bootloader/DeviceSearch.h"
#include "serial/PortChannel.h"
#include "serial/PortDiscovery.h"
#include "ui/FrontEndContext.h"
#include "qt/QtControls.h"

namespace torvane {

namespace {

using L = layout::Form3;

}  // namespace

TForm3::TForm3(FrontEndContext& ctx, PortEnumerator& ports, QWidget* parent)
    : QDialog(parent),
      Label1(new QLabel(this)),
      ComboBox1(new QComboBox(this)),
      ComboBox2(new QComboBox(this)),
      Button1(new QPushButton(this)),
      Button2(new QPushButton(this)),
      ctx_(ctx),
      ports_(ports) {
    setObjectName(QStringLiteral("Form3"));
    // Dialog border: fixed size, no minimise or maximise.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(FromSystemText(L::Caption));
    setFont(MapFont(layout::SansFont, layout::DialogFontHeight));
    FillBackground(this, ClBtnFace);
    setFixedSize(ToQSize(L::ClientArea));
    move(ToQPoint(L::ScreenPosition));

    Place(Label1, "Label1", ToQRect(L::Label1));
    Label1->setText(FromSystemText(L::Label1Caption));
    Place(ComboBox1, "ComboBox1", ToQRect(L::ComboBox1));
    ComboBox1->setEditable(true);
    // Typed text never becomes an entry: the two lists must stay parallel.
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    Place(ComboBox2, "ComboBox2", ToQRect(L::ComboBox2));
    ComboBox2->hide();
    Place(Button1, "Button1", ToQRect(L::Button1));
    Button1->setText(FromSystemText(L::Button1Caption));
    Place(Button2, "Button2", ToQRect(L::Button2));
    Button2->setText(FromSystemText(L::Button2Caption));
    for (QPushButton* b : {Button1, Button2}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    QWidget::setTabOrder(Button1, Button2);
    QWidget::setTabOrder(Button2, ComboBox1);
    QWidget::setTabOrder(ComboBox1, ComboBox2);

    connect(Button1, &QPushButton::clicked, this, &TForm3::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm3::Button2Click);
}

void TForm3::FillPortLists() {
    ComboBox1->clear();
    ComboBox2->clear();
    lists_ = PortLists::Discover(ports_);
    for (const auto& name : lists_.friendlyNames) ComboBox1->addItem(FromSystemText(name));
    for (const auto& name : lists_.portNames) ComboBox2->addItem(FromSystemText(name));
}

void TForm3::FormShow() {
    FillPortLists();
    ComboBox1->setCurrentIndex(lists_.EntryOfPort(ctx_.port.CurrentPort));
}

void TForm3::showEvent(QShowEvent* event) {
    // A dialog restored by the system is not refilled; a showing by the program is.
    if (!event->spontaneous()) {
        FormShow();
        KeepOnScreen(this);
    }
    QDialog::showEvent(event);
}

void TForm3::Button1Click() {
    ChoosePort(ctx_, lists_, ComboBox1->currentIndex());
    hide();
}

void TForm3::Button2Click() {
    ComboBox1->setCurrentIndex(lists_.EntryOfPort(ctx_.port.CurrentPort));
    hide();
}

}  // namespace torvane
