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

constexpr QSize ClientArea{456, 94};
constexpr QPoint ScreenPosition{136, 107};
constexpr std::string_view PortNameSeparators = "COM";  // upper case only

// The status bar of the front end that drives the update.
bool SameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

}  // namespace

std::int16_t PortIndexOfName(std::string_view portName) {
    const std::size_t begin = portName.find_first_not_of(PortNameSeparators);
    if (portName.empty() || begin == std::string_view::npos) return 0;
    const std::size_t end = portName.find_first_of(PortNameSeparators, begin);
    const std::string_view token = portName.substr(begin, end == std::string_view::npos ? end : end - begin);
    // Signed decimal value of the token's leading digits; 0 without any.
    std::size_t i = 0;
    bool negative = false;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) negative = token[i++] == '-';
    long value = 0;
    for (; i < token.size() && std::isdigit(static_cast<unsigned char>(token[i])) != 0 && value < 1000000; ++i)
        value = value * 10 + (token[i] - '0');
    if (negative) value = -value;
    return static_cast<std::int16_t>(value - 1);
}

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
    setWindowTitle(QStringLiteral("Setup"));
    setFont(MapFont("MS Sans Serif", -11));
    FillBackground(this, ClBtnFace);
    setFixedSize(ClientArea);
    move(ScreenPosition);

    Place(Label1, "Label1", {9, 19, 25, 13});
    Label1->setText(QStringLiteral("Port :"));
    Place(ComboBox1, "ComboBox1", {41, 16, 408, 21});
    ComboBox1->setEditable(true);
    // Typed text never becomes an entry: the two lists must stay parallel.
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    Place(ComboBox2, "ComboBox2", {0, 56, 41, 21});
    ComboBox2->hide();
    Place(Button1, "Button1", {293, 56, 75, 25});
    Button1->setText(QStringLiteral("&Ok"));
    Place(Button2, "Button2", {373, 56, 75, 25});
    Button2->setText(QStringLiteral("&Cancel"));
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
    PortDeviceSet set = OpenPortDeviceSet(ports_);
    std::string portName;
    std::string friendlyName;
    while (NextComPort(set, portName, friendlyName) == 1) {
        ComboBox1->addItem(FromSystemText(friendlyName));
        ComboBox2->addItem(FromSystemText(portName));
    }
    ClosePortDeviceSet(set);
}

int TForm3::EntryOfPort(std::int16_t portIndex) const {
    const std::string wanted = ComName(portIndex);
    for (int i = 0; i < ComboBox2->count(); ++i)
        if (SameIgnoringCase(ComboBox2->itemText(i).toStdString(), wanted)) return i;
    return 0;
}

std::int16_t TForm3::PortIndexOfEntry(int position) const {
    if (position < 0 || position >= ComboBox2->count()) return 0;
    return PortIndexOfName(ComboBox2->itemText(position).toStdString());
}

void TForm3::FormShow() {
    FillPortLists();
    ComboBox1->setCurrentIndex(EntryOfPort(ctx_.port.CurrentPort));
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
    const std::int16_t index = PortIndexOfEntry(ComboBox1->currentIndex());
    if (index != ctx_.port.CurrentPort) {
        ctx_.port.CurrentPort = index;
        // The port panel names the new port before anything can be said
        // about it, so that a failure to open it stands beside its own name.
        ctx_.front().ShowPort(ctx_.port.CurrentPort);
        ReopenPort(ctx_);  // the new port is opened at once
    }
    hide();
}

void TForm3::Button2Click() {
    ComboBox1->setCurrentIndex(EntryOfPort(ctx_.port.CurrentPort));
    hide();
}

}  // namespace torvane
