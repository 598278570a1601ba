#pragma once
// The port dialog: the ports present by their friendly names, with a hidden
// list of their port names from which the chosen port index is read. OK
// switches CurrentPort and opens the new port at once; Cancel undoes the
// selection. Modeless: it may be used while an update run goes on.

#include <QDialog>

#include <cstdint>
#include <string_view>

#include "ui/FrontEndContext.h"
#include "ui/PortChoice.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace torvane {

class PortEnumerator;

class TForm3 : public QDialog {
    Q_OBJECT
public:
    // `ports` lists the ports present (it outlives the dialog).
    TForm3(FrontEndContext& ctx, PortEnumerator& ports, QWidget* parent = nullptr);

    // Refills both lists from port discovery, in discovery order.
    void FillPortLists();

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
    PortLists lists_;
};

}  // namespace torvane
