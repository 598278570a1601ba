#pragma once
// The control models of ui/Controls.h bound to real widgets. Each binding
// keeps the model's record (the base class) and mirrors every property onto
// its widget, so the Presenter and the update run drive the windows without
// knowing Qt. This is also the one place where window-system colours and the
// design-time font names turn into Qt colours and fonts.

#include <QColor>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QWidget>

#include <functional>
#include <span>

#include <string>
#include <string_view>
#include <vector>

#include "ui/Controls.h"
#include "ui/Layouts.h"

namespace torvane {

// A window-system colour (0x00BBGGRR, or 0xFF0000nn for a theme colour) as a
// Qt colour; theme colours come from the application palette.
QColor ToQColor(Colour colour);

// The design-time fonts on this machine: "MS Sans Serif" and "Tahoma" become
// a sans font, "Times" a serif, "Courier" a monospace. A negative height is
// the character height in pixels, a positive one the cell height.
QFont MapFont(std::string_view family, int height, FontStyle style = {});

// A text from the system or the product as Qt text: UTF-8 when the bytes are
// valid UTF-8 (device paths, port and adapter names), else one character per
// byte, so that an 8-bit product text never turns into replacement marks.
QString FromSystemText(std::string_view text);

// Where a window whose frame is `frame` goes so that it lies on `available`:
// moved as little as possible; a window larger than the area keeps its
// top-left corner on the area's top-left corner.
QPoint PlacedOnScreen(QRect frame, QRect available);

// Moves a top-level window onto the available area of the screen it is on
// (a small or scaled screen may cut off a design position). Every window
// calls it when the program shows it.
void KeepOnScreen(QWidget* window);

// Fills a widget's background with a window-system colour.
void FillBackground(QWidget* widget, Colour colour);

// Gives a widget a fixed position and size in its parent and a name.
void Place(QWidget* widget, const char* name, QRect geometry);

// The layouts' places, sizes and points as Qt's.
inline QRect ToQRect(layout::Rect r) { return {r.x, r.y, r.width, r.height}; }
inline QSize ToQSize(layout::Size s) { return {s.width, s.height}; }
inline QPoint ToQPoint(layout::Point p) { return {p.x, p.y}; }

// A QLabel that reports double-clicks (the identity label opens the version list).
class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void doubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

// A label with a fixed font family; height, style, colours, alignment and
// opacity follow the model.
class QtLabel : public Label {
public:
    // Precondition: parent is not null (it owns the widget).
    QtLabel(QWidget* parent, const char* name, QRect geometry, std::string_view fontFamily);
    ClickableLabel* widget() const { return widget_; }

    void setVisible(bool v) override;
    void setEnabled(bool e) override;
    void setFocus() override;
    void repaint() override;
    void setCaption(const std::string& c) override;
    void setFontColour(Colour c) override;
    void setBackground(Colour c) override;
    void setFontStyle(FontStyle s) override;
    void setFontHeight(int h) override;
    void setAlignment(Alignment a) override;
    void setOpaque(bool o) override;

private:
    void applyFont();
    void applyColours();
    std::string family_;
    ClickableLabel* widget_;
};

class QtButton : public Button {
public:
    QtButton(QWidget* parent, const char* name, QRect geometry);
    QPushButton* widget() const { return widget_; }

    void setVisible(bool v) override;
    void setEnabled(bool e) override;
    void setFocus() override;
    void repaint() override;
    void setCaption(const std::string& c) override;

private:
    QPushButton* widget_;
};

// A panel with lowered inner and outer bevels, filled with its background colour.
class QtPanel : public Panel {
public:
    QtPanel(QWidget* parent, const char* name, QRect geometry);
    QFrame* widget() const { return widget_; }

    void setVisible(bool v) override;
    void setEnabled(bool e) override;
    void repaint() override;
    void setBackground(Colour c) override;

private:
    QFrame* widget_;
};

// The bar's state shows in its colour: normal green, paused yellow, error
// red. A stepped (not smooth) bar is drawn in blocks.
class QtProgressBar : public ProgressBar {
public:
    QtProgressBar(QWidget* parent, const char* name, QRect geometry);
    QProgressBar* widget() const { return widget_; }

    void setVisible(bool v) override;
    void setEnabled(bool e) override;
    void repaint() override;
    void setPosition(int p) override;
    void setMinimum(int m) override;
    void setMaximum(int m) override;
    void setSmooth(bool s) override;
    void setState(BarState s) override;

private:
    void applyRange();
    void applyLook();
    QProgressBar* widget_;
};

// One panel of a status bar. Panels are narrow and some texts are long (the
// reason a port cannot be used): a text that does not fit is shown cut with
// an ellipsis, and the whole text is always the panel's tooltip.
class StatusPanelLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
    void setFullText(const QString& text);
    const QString& fullText() const { return fullText_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void showFitting();
    QString fullText_;
};

// A status bar of panels with fixed widths; the last panel takes what is left.
class QtStatusBar : public StatusBar {
public:
    QtStatusBar(QWidget* parent, const char* name, QRect geometry, std::span<const int> widths);
    QWidget* widget() const { return widget_; }
    StatusPanelLabel* panelWidget(int index) const;
    // Called after every text written into a panel, with the panel's index.
    using PanelTextHook = std::function<void(int index, const std::string& text)>;
    void setPanelTextHook(PanelTextHook hook) { hook_ = std::move(hook); }

    void setVisible(bool v) override;
    void setEnabled(bool e) override;
    void repaint() override;
    void setPanelText(int index, const std::string& text) override;

private:
    QWidget* widget_;
    std::vector<StatusPanelLabel*> panels_;
    PanelTextHook hook_;
};

// A sunken frame (the forms' bevels).
QFrame* MakeBevel(QWidget* parent, const char* name, QRect geometry);

}  // namespace torvane
