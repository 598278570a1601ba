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

}  // namespace
}  // namespace torvane::test
