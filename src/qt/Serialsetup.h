#pragma once
// The port dialog: the ports present by their friendly names, with a hidden
// list of their port names from which the chosen port index is read. OK
// switches CurrentPort and opens the new port at once; Cancel undoes the
// selection. Modeless: it may be used while an update run goes on.

#include <QDialog>

#include <cstdint>
#include <string_view>

#include "ui/FrontEndContext.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace torvane {

class PortEnumerator;

// The port index a port name stands for: the first run of characters between
// the upper-case letters 'C', 'O' and 'M', read as a signed decimal number
// (leading digits, 0 without any), minus one. An empty name or one without
// such a run gives 0. "COM1" -> 0, "COM12" -> 11, "com5" -> -1.
std::int16_t PortIndexOfName(std::string_view portName);

class TForm3 : public QDialog {
    Q_OBJECT
public:
    // `ports` lists the ports present (it outlives the dialog).
    TForm3(FrontEndContext& ctx, PortEnumerator& ports, QWidget* parent = nullptr);

    // Refills both lists from port discovery, in discovery order.
    void FillPortLists();
    // The list position of a port index; 0 when the port is not listed.
    int EntryOfPort(std::int16_t portIndex) const;
    // The port index of a list position; a position outside the list gives 0.
    std::int16_t PortIndexOfEntry(int position) const;

    QLabel* Label1;
    QComboBox* ComboBox1;  // friendly names, the list the user sees
    QComboBox* ComboBox2;  // port names, never visible
    QPushButton* Button1;  // "&Ok"
    QPushButton* Button2;  // "&Cancel"

public slots:
    void Button1Click();
    void Button2Click();

protected:
    void FormShow();
    void showEvent(QShowEvent* event) override;

private:
    FrontEndContext& ctx_;
    PortEnumerator& ports_;
};

}  // namespace torvane
