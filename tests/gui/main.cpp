// The GUI tests run on Qt's offscreen platform unless told otherwise, on a
// screen of an ordinary desktop's size: the windows' design positions lie
// well inside it, as on the machines the windows were laid out for.

#include <gtest/gtest.h>

#include <QApplication>
#include <QByteArray>
#include <QTemporaryFile>

namespace {

constexpr const char* DesktopScreen =
    R"({"screens": [{"name": "desktop", "x": 0, "y": 0, "width": 1280, "height": 1024,)"
    R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})";

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Read by the platform when the application starts; it must live until then.
    QTemporaryFile screenConfig;
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen" && screenConfig.open()) {
        screenConfig.write(DesktopScreen);
        screenConfig.flush();
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screenConfig.fileName().toLocal8Bit());
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
