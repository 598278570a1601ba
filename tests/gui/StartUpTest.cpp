// Start-up: one instance at a time, errors while the windows are built, and
// the message loop that ends with the front end's window.

#include <QApplication>
#include <QWidget>

#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

#include "GuiFixture.h"
#include "platform/posix/LockFileGuard.h"
#include "platform/posix/SettingsFile.h"
#include "platform/posix/UdpListener.h"
#include "shell/ExitCodes.h"
#include "shell/SingleInstance.h"
#include "qt/StartUp.h"

namespace torvane::test {
namespace {

struct BoxRecord {
    QStringList topmost;  // "text|caption"
    QStringList errors;
    StartUpBoxes boxes() {
        return {[this](const QString& text, const QString& caption) { topmost << text + "|" + caption; },
                [this](const QString& message) { errors << message; }};
    }
};

int OurWindowsAlive() {
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName().startsWith("Form")) ++n;
    return n;
}

class StartUpTest : public GuiTest {
protected:
    // Guards live in this test's own folder, so tests never meet each other.
    std::filesystem::path lockFolder() const { return config_.path(); }
};

TEST_F(StartUpTest, SecondInstanceIsTurnedAwayBeforeAnyWindow) {
    posix::LockFileGuard running(lockFolder());
    ASSERT_EQ(running.acquire(InstanceMutexName), InstanceClaim::Acquired);
    posix::LockFileGuard second(lockFolder());
    BoxRecord record;

    EXPECT_EQ(StartUp(options(LoaderIdentity), second, record.boxes()), 0);

    ASSERT_EQ(record.topmost.size(), 1);
    EXPECT_EQ(record.topmost[0], "Already in progress|" + QString::fromStdString(MainTitle()));
    EXPECT_TRUE(record.errors.isEmpty());
    EXPECT_EQ(OurWindowsAlive(), 0);
    EXPECT_EQ(storedPort(BrandLoader), "");
}

// An error while the windows are built or the loop runs is shown, in words
// even when it brings none, the windows made so far go away, and start-up
// ends with its exit code, releasing the guard.
TEST_F(StartUpTest, ErrorsWhileBuildingAreShownAndEndTheProgram) {
    // A "com" value stored as a number instead of text.
    storePort(BrandMain, "4");
    const auto settings = config_.path() / posix::SettingsFileName;
    std::stringstream text;
    text << std::ifstream(settings).rdbuf();
    std::string edited = text.str();
    const auto at = edited.find("\"com\"=\"4\"");
    ASSERT_NE(at, std::string::npos) << edited;
    edited.replace(at, 9, "\"com\"=dword:00000004");
    std::ofstream(settings) << edited;

    // A UDP port that another program holds.
    posix::UdpSocketListener holder;
    std::uint16_t taken = 0;
    for (std::uint16_t port = 47000; port < 47100 && taken == 0; ++port) {
        try {
            holder.activate(port);
            taken = port;
        } catch (const UdpServiceError&) {
        }
    }
    ASSERT_NE(taken, 0);

    struct Case {
        const char* name;
        GuiOptions options;
        QString message;
        bool throwsInTheLoop = false;  // something that is no std::exception, once the loop runs
    };
    GuiOptions udp = options(UpgradeIdentity, {"\\p"});
    udp.udpPort = taken;
    const Case cases[] = {
        {"SettingsType", options(MainIdentity), "Invalid data type for 'com'"},
        {"UdpPortTaken", udp, QString("Cannot open UDP port %1").arg(taken)},
        {"NoWords", options(LoaderIdentity), "an unexpected error stopped the program", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        posix::LockFileGuard guard(lockFolder());
        BoxRecord record;
        std::optional<When> thrower;
        if (c.throwsInTheLoop) thrower.emplace([] { return true; }, [] { throw 42; });
        EXPECT_EQ(StartUp(c.options, guard, record.boxes()), ExitStartFailed);
        ASSERT_EQ(record.errors.size(), 1);
        EXPECT_TRUE(record.errors[0].startsWith(c.message)) << record.errors[0].toStdString();
        EXPECT_EQ(OurWindowsAlive(), 0);
        posix::LockFileGuard next(lockFolder());
        EXPECT_EQ(next.acquire(InstanceMutexName), InstanceClaim::Acquired) << "the guard was kept";
    }
}

// The LoaderWindow is the main window: closing it ends the loop although the
// hidden MainWindow and the dialogs still exist.
TEST_F(StartUpTest, ClosingTheFrontEndEndsTheMessageLoop) {
    posix::LockFileGuard guard(lockFolder());
    BoxRecord record;
    QWidget* front = nullptr;
    When closeFront(
        [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->objectName() == "Form6" && w->isVisible()) front = w;
            return front != nullptr;
        },
        [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->objectName() == "Form3") w->show();  // an open dialog does not keep it running
            front->close();
        });

    EXPECT_EQ(StartUp(options(LoaderIdentity), guard, record.boxes()), 0);

    EXPECT_TRUE(closeFront.fired());
    EXPECT_TRUE(record.errors.isEmpty());
    EXPECT_EQ(OurWindowsAlive(), 0);
    EXPECT_EQ(storedPort(BrandLoader), "0");
    EXPECT_EQ(storedPort(BrandMain), "") << "the hidden MainWindow wrote its setting";
}

}  // namespace
}  // namespace torvane::test
