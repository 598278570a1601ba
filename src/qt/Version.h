#pragma once
// The version dialog: the firmware images this updater carries, one line per
// image in a fixed-pitch list, rebuilt every time the dialog is shown.

#include <QDialog>

#include <string_view>

#include "images/ImageTable.h"
#include "ui/Layouts.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace torvane {

inline constexpr std::string_view VersionDialogCaption = layout::Form4::Caption;
// Where the package puts the guide that explains every verdict.
inline constexpr const char* GuideText = "What each verdict means and what to do:\n/usr/share/doc/torvane/guide.md";

class TForm4 : public QDialog {
    Q_OBJECT
public:
    // Lists the images of `images` (it outlives the dialog).
    explicit TForm4(const ImageCatalog& images, QWidget* parent = nullptr);

    QPushButton* Button1;  // "&Ok"
    QListWidget* ListBox1;
    QLabel* GuideLabel;  // beside the button: where the guide is

public slots:
    void Button1Click();

protected:
    void FormShow();
    void showEvent(QShowEvent* event) override;

private:
    const ImageCatalog& images_;
};

}  // namespace torvane
