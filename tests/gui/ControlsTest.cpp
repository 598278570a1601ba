// The bindings of the control models to widgets: colours, fonts and the
// progress bar's states as they end up on the screen.

#include <QApplication>
#include <QFontInfo>
#include <QImage>
#include <QPalette>
#include <QWidget>

#include "GuiFixture.h"

namespace torvane::test {
namespace {

TEST(QtControls, WindowSystemColoursBecomeQtColours) {
    const QPalette palette = QApplication::palette();
    const std::pair<Colour, QColor> cases[] = {
        {ClBlack, QColor(0, 0, 0)},
        {ClRed, QColor(255, 0, 0)},
        {0xFF0000, QColor(0, 0, 255)},  // blue sits in the third byte
        {ClGreen, QColor(0, 128, 0)},
        {ClSilver, QColor(192, 192, 192)},
        {ClWhite, QColor(255, 255, 255)},
        {0x00123456, QColor(0x56, 0x34, 0x12)},
        {ClBtnFace, palette.color(QPalette::Button)},
        {0xFF00000D, palette.color(QPalette::Highlight)},
    };
    for (const auto& [colour, expected] : cases) EXPECT_EQ(ToQColor(colour), expected) << std::hex << colour;
}

TEST(QtControls, FontsMapToTheirKindAndHeight) {
    struct Case {
        const char* family;
        int height;
        bool fixedPitch;
        int pixels;
    };
    for (const auto& c : {Case{"Courier", -11, true, 11}, Case{"MS Sans Serif", -24, false, 24},
                          Case{"Times", -40, false, 40}, Case{"Tahoma", 35, false, 30}}) {
        const QFont font = MapFont(c.family, c.height, {.bold = true, .italic = false});
        EXPECT_EQ(QFontInfo(font).fixedPitch(), c.fixedPitch) << c.family;
        EXPECT_EQ(font.pixelSize(), c.pixels) << c.family;
        EXPECT_TRUE(font.bold());
    }
}

// A full bar is drawn in the colour of its state.
TEST(QtControls, ProgressBarShowsItsStateInColour) {
    QWidget parent;
    parent.resize(200, 40);
    QtProgressBar bar(&parent, "ProgressBar1", {0, 0, 200, 20});
    bar.setSmooth(true);
    bar.setMaximum(100);
    bar.setPosition(100);
    parent.show();
    struct Case {
        BarState state;
        const char* name;
        bool red, green, blue;  // the channels that are strong
    };
    for (const auto& c : {Case{BarState::Normal, "normal", false, true, false},
                          Case{BarState::Paused, "paused", true, true, false},
                          Case{BarState::Error, "error", true, false, false}}) {
        bar.setState(c.state);
        const QColor middle = bar.widget()->grab().toImage().pixelColor(100, 10);
        EXPECT_EQ(middle.red() > 150, c.red) << c.name << " " << middle.name().toStdString();
        EXPECT_EQ(middle.green() > 150, c.green) << c.name << " " << middle.name().toStdString();
        EXPECT_EQ(middle.blue() > 150, c.blue) << c.name << " " << middle.name().toStdString();
    }
}

// A window is moved only as far as it takes to bring it onto the area.
TEST(QtControls, WindowsArePlacedOnTheAvailableArea) {
    const QRect desktop{0, 0, 1280, 1024};
    const QRect belowTopPanel{0, 30, 1280, 994};
    const QRect secondScreen{1280, 0, 1024, 768};
    const struct {
        const char* name;
        QRect frame;
        QRect available;
        QPoint placed;
    } cases[] = {
        {"fits", {183, 150, 641, 300}, desktop, {183, 150}},
        {"off right and bottom", {1000, 900, 641, 300}, desktop, {639, 724}},
        {"off left and top", {-40, -10, 641, 300}, desktop, {0, 0}},
        {"under a panel", {183, 10, 641, 300}, belowTopPanel, {183, 30}},
        {"on a second screen", {2000, 600, 641, 300}, secondScreen, {1663, 468}},
        {"wider than the screen", {183, 150, 1400, 300}, desktop, {0, 150}},
    };
    for (const auto& c : cases) {
        const QPoint placed = PlacedOnScreen(c.frame, c.available);
        EXPECT_EQ(placed, c.placed) << c.name << ": " << placed.x() << "," << placed.y();
    }
}

// A panel too narrow for its text shows it cut with an ellipsis; the whole
// text is its tooltip. A text that fits is shown as it is.
TEST(QtControls, StatusPanelsCutLongTextsAndKeepThemWholeAsTooltip) {
    QWidget parent;
    parent.resize(300, 20);
    QtStatusBar bar(&parent, "StatusBar1", {0, 0, 300, 20}, std::vector<int>{50, 250});
    parent.show();
    const std::string reason = "COM7: permission denied on /dev/ttyUSB0";
    for (const auto& [text, cut] : {std::pair{std::string("COM10"), false}, {reason, true}, {std::string(), false}}) {
        bar.setPanelText(0, text);
        const StatusPanelLabel* panel = bar.panelWidget(0);
        EXPECT_EQ(panel->toolTip().toStdString(), text);
        EXPECT_EQ(panel->text() != panel->toolTip(), cut) << panel->text().toStdString();
        if (cut) {
            EXPECT_TRUE(panel->text().endsWith(QChar(0x2026))) << panel->text().toStdString();
        }
    }
}

}  // namespace
}  // namespace torvane::test
