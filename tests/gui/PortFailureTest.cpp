// A port that cannot be used, as the user meets it in the windows: the whole
// reason and its fix stay readable, beside the name of the port they belong to.

#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <grp.h>

#include <filesystem>
#include <fstream>

#include "GuiFixture.h"
#include "platform/posix/PortMap.h"

namespace torvane::test {
namespace {

namespace fs = std::filesystem;

constexpr int FailingPort = DevicePort;       // COM7
constexpr const char* FailingCom = "COM7";
constexpr int DialogPort = 4;                 // COM5, picked in the port dialog
constexpr const char* DialogCom = "COM5";
constexpr uid_t NobodyId = 65534;
constexpr const char* DialoutFix = "add your user to the 'dialout' group (sudo usermod -aG dialout $USER)";

void Touch(const fs::path& file) {
    fs::create_directories(file.parent_path());
    std::ofstream{file};
}

// Root opens every file. Where the tests run as root, the device belongs to
// root and the 'dialout' group, and the updater tries it with the file
// permissions of an ordinary user outside that group (only this thread's
// file access changes, and only while the object lives). Elsewhere the
// device is the user's own file with no permission at all.
class GuardedDevice {
public:
    explicit GuardedDevice(const fs::path& path) : path_(path) {
        Touch(path);
        const group* dialout = ::getgrnam("dialout");
        if (::geteuid() == 0 && dialout != nullptr && ::chown(path.c_str(), 0, dialout->gr_gid) == 0 &&
            ::chmod(path.c_str(), 0660) == 0) {
            namesGroup_ = true;
        } else {
            fs::permissions(path, fs::perms::none);
        }
    }
    const fs::path& path() const { return path_; }
    // Whether the reason can name the group that may open the device.
    bool namesGroup() const { return namesGroup_; }

    class AsOrdinaryUser {
    public:
        AsOrdinaryUser() : switched_(::geteuid() == 0) {
            if (!switched_) return;
            ::setfsgid(NobodyId);
            ::setfsuid(NobodyId);
        }
        ~AsOrdinaryUser() {
            if (!switched_) return;
            ::setfsuid(0);
            ::setfsgid(0);
        }
        AsOrdinaryUser(const AsOrdinaryUser&) = delete;
        AsOrdinaryUser& operator=(const AsOrdinaryUser&) = delete;

    private:
        bool switched_;
    };

private:
    fs::path path_;
    bool namesGroup_ = false;
};

// The folders on the way to a device and to the port map, open to everyone
// to pass through, so that the device itself is what refuses.
void LetEveryonePassTo(const fs::path& config) {
    using fs::perms;
    const perms passable = perms::owner_all | perms::group_read | perms::group_exec | perms::others_read | perms::others_exec;
    for (const fs::path& folder : {config, posix::PortMapDir(), config / "dev"})
        if (fs::exists(folder)) fs::permissions(folder, passable);
}

// The explanation a front end shows, as its widgets show it.
struct Shown {
    QString reason;
    bool whole;  // every character of the reason is on the screen
};

// The UpgradeWindow's narrow detail panel: the display may be cut, the
// tooltip holds the whole text.
Shown DetailPanelOf(GuiSession& s) {
    const StatusPanelLabel* panel = FrontStatusBar(s).panelWidget(s.context().presenter.PanelIndex[DetailPanel]);
    const QString shown = panel->text();
    const bool fits = QFontMetrics(panel->font()).horizontalAdvance(shown) <= panel->contentsRect().width();
    EXPECT_TRUE(fits) << "the panel shows more than it has room for: " << shown.toStdString();
    if (shown != panel->toolTip()) {
        EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << "cut without an ellipsis: " << shown.toStdString();
        EXPECT_TRUE(panel->toolTip().startsWith(shown.chopped(1))) << shown.toStdString();
    }
    return {panel->toolTip(), shown == panel->toolTip()};
}

// The LoaderWindow's line beneath the red message.
Shown ReasonLineOf(GuiSession& s) {
    TForm6& w = *s.loaderWindow();
    const QLabel* line = w.PortReason;
    if (!line->isVisible()) return {};
    const QRect message = w.Label1.widget()->geometry();
    EXPECT_GE(line->y(), message.bottom()) << "not beneath the message";
    EXPECT_TRUE(w.client()->rect().contains(line->geometry())) << "outside the window";
    const bool whole = line->heightForWidth(line->width()) <= line->height();
    return {line->text(), whole};
}

Shown ReasonShown(GuiSession& s) { return s.loaderWindow() ? ReasonLineOf(s) : DetailPanelOf(s); }

QString VerdictShown(GuiSession& s) {
    if (auto* l = s.loaderWindow()) return l->Label1.widget()->text();
    return FrontStatusBar(s).panelWidget(StatusPanel)->text();
}

enum class Failure { Missing, Guarded };

struct FailureCase {
    const char* name;
    std::string identity;
    BrandIndex brand;
    Failure failure;
    const char* verdict;
};

const FailureCase FailureCases[] = {
    {"UpgradeMissing", UpgradeIdentity, BrandUpgrade, Failure::Missing, "Invalid Port Com"},
    {"UpgradeGuarded", UpgradeIdentity, BrandUpgrade, Failure::Guarded, "Invalid Port Com"},
    {"LoaderMissing", LoaderIdentity, BrandLoader, Failure::Missing, "Port not valid. Select a new port."},
    {"LoaderGuarded", LoaderIdentity, BrandLoader, Failure::Guarded, "Port not valid. Select a new port."},
};

// The reason is the one the run found for this port (it names the device
// and, for a device of a group, the fix), and the window shows it whole:
// in full as the detail panel's tooltip, and on the LoaderWindow as a line
// beneath the red message, which the next start takes away again.
TEST_F(GuiTest, UnusablePortShowsTheWholeReasonAndItsFix) {
    for (const auto& c : FailureCases) {
        SCOPED_TRACE(c.name);
        TempConfigDir fresh;
        const fs::path device = fresh.path() / "dev" / (c.failure == Failure::Missing ? "ttyGONE" : "ttyGUARDED");
        std::optional<GuardedDevice> guarded;
        if (c.failure == Failure::Guarded) guarded.emplace(device);
        ASSERT_EQ(posix::MapPort(FailingPort, device), "");
        LetEveryonePassTo(fresh.path());
        storePort(c.brand, std::to_string(FailingPort));
        auto s = openShown(c.identity);

        {
            GuardedDevice::AsOrdinaryUser user;
            Click(StartButton(*s).widget());
        }

        EXPECT_EQ(VerdictShown(*s), c.verdict);
        const Shown shown = ReasonShown(*s);
        const std::string reason = shown.reason.toStdString();
        EXPECT_EQ(reason, FrontStatusBar(*s).panelText(s->context().presenter.PanelIndex[DetailPanel]))
            << "not the reason the run gave";
        EXPECT_EQ(reason.rfind(std::string(FailingCom) + ": ", 0), 0u) << reason;
        EXPECT_NE(reason.find(device.string()), std::string::npos) << reason;
        const std::string kind = c.failure == Failure::Missing ? "no such device" : "permission denied";
        EXPECT_NE(reason.find(kind), std::string::npos) << reason;
        if (guarded && guarded->namesGroup()) {
            EXPECT_NE(reason.find(DialoutFix), std::string::npos) << reason;
        }

        if (auto* l = s->loaderWindow()) {
            EXPECT_TRUE(shown.whole) << "the reason does not fit beneath the message";
            EXPECT_FALSE(l->ProgressBar1.widget()->isVisible());
            // Once the port works, the next start leaves no trace of the old reason.
            auto sim = startDevice(FailingPort);
            Click(l->Button1.widget());
            EXPECT_EQ(l->Label1.widget()->text(), "Successfully updated");
            EXPECT_FALSE(l->PortReason->isVisible());
            EXPECT_TRUE(l->ProgressBar1.widget()->isVisible());
        }
    }
}

// OK in the port dialog names the chosen port in the front end's port
// panel at once, so a failure to open it stands beside its own name. The
// port here is a plain file: listed, but no serial port.
TEST_F(GuiTest, PortDialogOkNamesTheChosenPortBesideItsFailure) {
    for (const auto& [identity, brand] :
         {std::pair{MainIdentity, BrandMain}, {UpgradeIdentity, BrandUpgrade}, {LoaderIdentity, BrandLoader}}) {
        SCOPED_TRACE(identity);
        TempConfigDir fresh;
        const fs::path notATty = fresh.path() / "dev" / "ttyPLAIN";
        Touch(notATty);
        ASSERT_EQ(posix::MapPort(DialogPort, notATty), "");
        storePort(brand, std::to_string(FailingPort));
        auto s = openShown(identity);
        TForm3& dialog = s->portDialog();
        dialog.show();
        const int entry = dialog.ComboBox2->findText(DialogCom);
        ASSERT_GE(entry, 0);
        dialog.ComboBox1->setCurrentIndex(entry);

        Click(dialog.Button1);

        EXPECT_EQ(s->context().port.CurrentPort, DialogPort);
        const QString reason = ReasonShown(*s).reason;
        EXPECT_TRUE(reason.startsWith(QString(DialogCom) + ": ")) << reason.toStdString();
        EXPECT_TRUE(reason.contains("is not a serial port")) << reason.toStdString();
        if (auto* l = s->loaderWindow()) {
            // Its status bar is never shown; the message line tells instead.
            EXPECT_EQ(l->Label1.widget()->text(), "Invalid Port Com");
            l->ChangePort1->trigger();  // choosing again starts from a clean message line
            EXPECT_FALSE(l->PortReason->isVisible());
            EXPECT_TRUE(l->ProgressBar1.widget()->isVisible());
        } else {
            EXPECT_EQ(FrontStatusBar(*s).panelWidget(PortPanel)->text(), DialogCom);
        }
    }
}

// Port and adapter names come from the system in UTF-8.
TEST_F(GuiTest, PortDialogShowsSystemNamesAsUtf8) {
    const std::string folder = "Gerät ü";  // UTF-8 in this source
    const fs::path device = config_.path() / folder / "ttyACM0";
    Touch(device);
    ASSERT_EQ(posix::MapPort(DialogPort, device), "");
    auto s = openShown(MainIdentity);
    TForm3& dialog = s->portDialog();
    dialog.show();
    const int entry = dialog.ComboBox2->findText(DialogCom);
    ASSERT_GE(entry, 0);
    EXPECT_TRUE(dialog.ComboBox1->itemText(entry).contains(QString::fromUtf8(folder))) << dialog.ComboBox1->itemText(entry).toStdString();
}

}  // namespace
}  // namespace torvane::test
