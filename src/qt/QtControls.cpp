#include "qt/QtControls.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPalette>
#include <QResizeEvent>
#include <QScreen>
#include <QStringList>
#include <QUtf8StringView>

#include <algorithm>
#include <cmath>

namespace torvane {

namespace {

constexpr Colour ThemeColourFlag = 0xFF000000;
constexpr Colour ThemeIndexMask = 0x000000FF;

// Theme colour indices of the window system and the palette role that plays
// the same part here.
struct ThemeRole {
    Colour index;
    QPalette::ColorRole role;
};
constexpr ThemeRole ThemeRoles[] = {
    {4, QPalette::Window},            // menu
    {5, QPalette::Base},              // window (text area)
    {7, QPalette::WindowText},        // menu text
    {8, QPalette::Text},              // window text
    {13, QPalette::Highlight},
    {14, QPalette::HighlightedText},
    {15, QPalette::Button},           // button face
    {16, QPalette::Dark},             // button shadow
    {18, QPalette::ButtonText},
    {20, QPalette::Light},            // button highlight
    {21, QPalette::Shadow},           // 3-D dark shadow
    {22, QPalette::Midlight},         // 3-D light
    {23, QPalette::ToolTipText},
    {24, QPalette::ToolTipBase},
    {26, QPalette::Link},             // hot-tracked item
};

// A positive font height is the whole character cell; the em that Qt sizes
// fonts by is about 6/7 of it for the sans and serif fonts used here.
constexpr int CellToEmNumerator = 6;
constexpr int CellToEmDenominator = 7;

// Progress bar colours by state.
constexpr const char* BarNormalColour = "#06b025";
constexpr const char* BarPausedColour = "#e0b800";
constexpr const char* BarErrorColour = "#d42020";
constexpr int BarBlockWidth = 8;  // stepped bars are drawn in blocks of this width

QString Text(const std::string& s) { return FromSystemText(s); }

// Moves `start` (of a window `length` long) into [low, low + room) as far as it fits.
int PlacedOnAxis(int start, int length, int low, int room) {
    if (length >= room || start < low) return low;
    return std::min(start, low + room - length);
}

Qt::Alignment ToQtAlignment(Alignment a) {
    switch (a) {
        case Alignment::Right: return Qt::AlignRight | Qt::AlignTop;
        case Alignment::Centre: return Qt::AlignHCenter | Qt::AlignTop;
        case Alignment::Left: break;
    }
    return Qt::AlignLeft | Qt::AlignTop;
}

}  // namespace

QColor ToQColor(Colour colour) {
    if ((colour & ThemeColourFlag) == ThemeColourFlag) {
        const Colour index = colour & ThemeIndexMask;
        const QPalette palette = QApplication::palette();
        for (const auto& t : ThemeRoles)
            if (t.index == index) return palette.color(QPalette::Active, t.role);
        return palette.color(QPalette::Active, QPalette::Window);
    }
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>((colour >> 16) & 0xFF));
}

QFont MapFont(std::string_view family, int height, FontStyle style) {
    QFont font;
    if (family == "Times") {
        font.setFamilies(QStringList{"Liberation Serif", "DejaVu Serif", "Times New Roman"});
        font.setStyleHint(QFont::Serif);
    } else if (family == "Courier") {
        font.setFamilies(QStringList{"Liberation Mono", "DejaVu Sans Mono", "Courier New"});
        font.setStyleHint(QFont::TypeWriter);
        font.setFixedPitch(true);
    } else {  // "MS Sans Serif", "Tahoma" and anything unknown
        font.setFamilies(QStringList{"Liberation Sans", "DejaVu Sans", "Arial"});
        font.setStyleHint(QFont::SansSerif);
    }
    int pixels = height < 0 ? -height : height * CellToEmNumerator / CellToEmDenominator;
    font.setPixelSize(std::max(pixels, 1));
    font.setBold(style.bold);
    font.setItalic(style.italic);
    return font;
}

QString FromSystemText(std::string_view text) {
    const auto size = static_cast<qsizetype>(text.size());
    if (QUtf8StringView(text.data(), size).isValidUtf8()) return QString::fromUtf8(text.data(), size);
    return QString::fromLatin1(text.data(), size);
}

QPoint PlacedOnScreen(QRect frame, QRect available) {
    return {PlacedOnAxis(frame.left(), frame.width(), available.left(), available.width()),
            PlacedOnAxis(frame.top(), frame.height(), available.top(), available.height())};
}

void KeepOnScreen(QWidget* window) {
    // move() places the frame's corner, which pos() gives even before the
    // window system has told the frame's size (frameGeometry() may then sit
    // a border off).
    const QRect frame(window->pos(), window->frameGeometry().size());
    // The screen under the window's centre decides; a window whose centre
    // is on no screen at all goes onto the screen Qt gave it.
    QScreen* screen = QGuiApplication::screenAt(frame.center());
    if (screen == nullptr) screen = window->screen();
    if (screen == nullptr) return;
    const QPoint placed = PlacedOnScreen(frame, screen->availableGeometry());
    if (placed != frame.topLeft()) window->move(placed);
}

void FillBackground(QWidget* widget, Colour colour) {
    QPalette p = widget->palette();
    p.setColor(QPalette::Window, ToQColor(colour));
    widget->setPalette(p);
    widget->setAutoFillBackground(true);
}

void Place(QWidget* widget, const char* name, QRect geometry) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(geometry);
}

void ClickableLabel::mouseDoubleClickEvent(QMouseEvent* event) {
    QLabel::mouseDoubleClickEvent(event);
    emit doubleClicked();
}

// --- label -------------------------------------------------------------------

QtLabel::QtLabel(QWidget* parent, const char* name, QRect geometry, std::string_view fontFamily)
    : family_(fontFamily), widget_(new ClickableLabel(parent)) {
    Place(widget_, name, geometry);
    widget_->setTextFormat(Qt::PlainText);
    widget_->setWordWrap(false);
    applyFont();
    applyColours();
    widget_->setAlignment(ToQtAlignment(alignment_));
}

void QtLabel::setVisible(bool v) { Label::setVisible(v); widget_->setVisible(v); }
void QtLabel::setEnabled(bool e) { Label::setEnabled(e); widget_->setEnabled(e); }
void QtLabel::setFocus() { Label::setFocus(); widget_->setFocus(); }
void QtLabel::repaint() { Label::repaint(); if (widget_->isVisible()) widget_->repaint(); }
void QtLabel::setCaption(const std::string& c) { Label::setCaption(c); widget_->setText(Text(c)); }
void QtLabel::setFontColour(Colour c) { Label::setFontColour(c); applyColours(); }
void QtLabel::setBackground(Colour c) { Label::setBackground(c); applyColours(); }
void QtLabel::setFontStyle(FontStyle s) { Label::setFontStyle(s); applyFont(); }
void QtLabel::setFontHeight(int h) { Label::setFontHeight(h); applyFont(); }
void QtLabel::setAlignment(Alignment a) { Label::setAlignment(a); widget_->setAlignment(ToQtAlignment(a)); }
void QtLabel::setOpaque(bool o) { Label::setOpaque(o); applyColours(); }

void QtLabel::applyFont() { widget_->setFont(MapFont(family_, fontHeight_, fontStyle_)); }

void QtLabel::applyColours() {
    QPalette p = widget_->palette();
    p.setColor(QPalette::WindowText, ToQColor(fontColour_));
    p.setColor(QPalette::Window, ToQColor(background_));
    widget_->setPalette(p);
    widget_->setAutoFillBackground(opaque_);
}

// --- button ------------------------------------------------------------------

QtButton::QtButton(QWidget* parent, const char* name, QRect geometry) : widget_(new QPushButton(parent)) {
    Place(widget_, name, geometry);
    widget_->setAutoDefault(false);
}

void QtButton::setVisible(bool v) { Button::setVisible(v); widget_->setVisible(v); }
void QtButton::setEnabled(bool e) { Button::setEnabled(e); widget_->setEnabled(e); }
void QtButton::setFocus() { Button::setFocus(); widget_->setFocus(); }
void QtButton::repaint() { Button::repaint(); if (widget_->isVisible()) widget_->repaint(); }
void QtButton::setCaption(const std::string& c) { Button::setCaption(c); widget_->setText(Text(c)); }

// --- panel -------------------------------------------------------------------

QtPanel::QtPanel(QWidget* parent, const char* name, QRect geometry) : widget_(new QFrame(parent)) {
    Place(widget_, name, geometry);
    widget_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    widget_->setLineWidth(2);
    setBackground(background_);
}

void QtPanel::setVisible(bool v) { Panel::setVisible(v); widget_->setVisible(v); }
void QtPanel::setEnabled(bool e) { Panel::setEnabled(e); widget_->setEnabled(e); }
void QtPanel::repaint() { Panel::repaint(); if (widget_->isVisible()) widget_->repaint(); }

void QtPanel::setBackground(Colour c) {
    Panel::setBackground(c);
    FillBackground(widget_, c);
}

// --- progress bar --------------------------------------------------------------

QtProgressBar::QtProgressBar(QWidget* parent, const char* name, QRect geometry) : widget_(new QProgressBar(parent)) {
    Place(widget_, name, geometry);
    widget_->setTextVisible(false);
    applyRange();
    applyLook();
}

void QtProgressBar::setVisible(bool v) { ProgressBar::setVisible(v); widget_->setVisible(v); }
void QtProgressBar::setEnabled(bool e) { ProgressBar::setEnabled(e); widget_->setEnabled(e); }
void QtProgressBar::repaint() { ProgressBar::repaint(); if (widget_->isVisible()) widget_->repaint(); }
void QtProgressBar::setPosition(int p) { ProgressBar::setPosition(p); applyRange(); }
void QtProgressBar::setMinimum(int m) { ProgressBar::setMinimum(m); applyRange(); }
void QtProgressBar::setMaximum(int m) { ProgressBar::setMaximum(m); applyRange(); }
void QtProgressBar::setSmooth(bool s) { ProgressBar::setSmooth(s); applyLook(); }
void QtProgressBar::setState(BarState s) { ProgressBar::setState(s); applyLook(); }

void QtProgressBar::applyRange() {
    // The bar shows its position clamped to the range; an empty range would
    // make Qt draw a "busy" animation, which this bar never means.
    const int low = minimum_;
    const int high = std::max(maximum_, minimum_ + 1);
    widget_->setRange(low, high);
    widget_->setValue(std::clamp(position_, low, high));
}

void QtProgressBar::applyLook() {
    const char* colour = state_ == BarState::Error ? BarErrorColour
                         : state_ == BarState::Paused ? BarPausedColour
                                                      : BarNormalColour;
    QString chunk = QStringLiteral("background-color: %1;").arg(QLatin1String(colour));
    if (!smooth_) chunk += QStringLiteral(" width: %1px; margin: 1px;").arg(BarBlockWidth);
    widget_->setStyleSheet(QStringLiteral("QProgressBar { border: 1px solid palette(dark); background: palette(base); }"
                                          " QProgressBar::chunk { %1 }")
                               .arg(chunk));
}

// --- status bar ----------------------------------------------------------------

QtStatusBar::QtStatusBar(QWidget* parent, const char* name, QRect geometry, std::span<const int> widths)
    : StatusBar(static_cast<int>(widths.size())), widget_(new QWidget(parent)) {
    Place(widget_, name, geometry);
    auto* row = new QHBoxLayout(widget_);
    row->setContentsMargins(0, 2, 0, 0);
    row->setSpacing(2);
    for (std::size_t i = 0; i < widths.size(); ++i) {
        auto* panel = new StatusPanelLabel(widget_);
        panel->setObjectName(QStringLiteral("%1Panel%2").arg(QLatin1String(name)).arg(i));
        panel->setTextFormat(Qt::PlainText);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setLineWidth(1);
        panel->setContentsMargins(2, 0, 2, 0);
        panel->setFont(MapFont("MS Sans Serif", -11));
        panel->setMinimumWidth(0);
        const bool last = i + 1 == widths.size();
        if (!last) panel->setFixedWidth(widths[i]);
        // The last panel takes the rest whatever its text: a long text is cut
        // to the panel, it never widens the panel.
        panel->setSizePolicy(last ? QSizePolicy::Ignored : QSizePolicy::Fixed, QSizePolicy::Preferred);
        row->addWidget(panel, last ? 1 : 0);
        panels_.push_back(panel);
    }
}

StatusPanelLabel* QtStatusBar::panelWidget(int index) const {
    return index >= 0 && static_cast<std::size_t>(index) < panels_.size() ? panels_[static_cast<std::size_t>(index)] : nullptr;
}

void QtStatusBar::setVisible(bool v) { StatusBar::setVisible(v); widget_->setVisible(v); }
void QtStatusBar::setEnabled(bool e) { StatusBar::setEnabled(e); widget_->setEnabled(e); }
void QtStatusBar::repaint() { StatusBar::repaint(); if (widget_->isVisible()) widget_->repaint(); }

void QtStatusBar::setPanelText(int index, const std::string& text) {
    StatusBar::setPanelText(index, text);
    if (StatusPanelLabel* panel = panelWidget(index)) panel->setFullText(Text(text));
    if (hook_) hook_(index, text);
}

void StatusPanelLabel::setFullText(const QString& text) {
    fullText_ = text;
    setToolTip(text);
    showFitting();
}

void StatusPanelLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    showFitting();
}

void StatusPanelLabel::showFitting() {
    // As QLabel lays out its text: a framed label with a negative indent
    // indents it by half an 'x', less the margin.
    int indentation = std::max(indent(), 0);
    if (indent() < 0 && frameWidth() > 0) indentation = fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2 - margin();
    const int room = contentsRect().width() - 2 * margin() - indentation;
    setText(fontMetrics().elidedText(fullText_, Qt::ElideRight, std::max(room, 0)));
}

QFrame* MakeBevel(QWidget* parent, const char* name, QRect geometry) {
    auto* bevel = new QFrame(parent);
    Place(bevel, name, geometry);
    bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
    bevel->lower();
    return bevel;
}

}  // namespace torvane
