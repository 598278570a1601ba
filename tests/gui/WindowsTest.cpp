// The windows as the product identity and the remembered port set them up,
// and the two dialogs.

#include <QAction>
#include <QComboBox>
#include <QFontInfo>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "GuiFixture.h"
#include "platform/posix/UdpListener.h"
#include "ui/FrontEnds.h"

namespace torvane::test {
namespace {

struct TitleCase {
    const char* name;
    std::optional<std::string> identity;
    FrontEnd frontEnd;
    const char* title;
    const char* applicationTitle;
};

const TitleCase TitleCases[] = {
    {"Main", MainIdentity, FrontEnd::MainWindow, "Updater 2.7 - WEX15.4 00.04   [ Mar 22 2018 ]", "WEX15.4 00.04"},
    {"Loader", LoaderIdentity, FrontEnd::LoaderWindow, "Loader 1.0 -   TOLVA 1.2   - Mar 22 2018", "TOLVA 1.2"},
    {"Upgrade", UpgradeIdentity, FrontEnd::UpgradeWindow, "Upgrade 1.1 -   KBV 7E 02.10.04.01   - Mar 22 2018",
     "KBV 7E 02.10.04.01"},
    {"NoIdentity", std::nullopt, FrontEnd::MainWindow, "Updater 2.7 - WEX15.4 00.04   [ Mar 22 2018 ]", "WEX15.4 00.04"},
    {"TK725IsMain", "TK725 A", FrontEnd::MainWindow, "Updater 2.7 - TK725 A   [ Mar 22 2018 ]", "TK725 A"},
    {"UpgradeTagWins", "TK KBV", FrontEnd::UpgradeWindow, "Upgrade 1.1 -   TK KBV   - Mar 22 2018", "TK KBV"},
};

TEST_F(GuiTest, TitlesAndApplicationTitleFollowTheIdentity) {
    for (const auto& c : TitleCases) {
        SCOPED_TRACE(c.name);
        auto s = openSession(c.identity);
        ASSERT_EQ(s->frontEnd(), c.frontEnd);
        FrontEndWindow& front = s->frontWindow();
        EXPECT_EQ(front.windowTitle(), c.title);
        EXPECT_EQ(front.hint(), c.title);
        EXPECT_EQ(ApplicationTitle(), c.applicationTitle);
        TForm1& main = s->mainWindow();
        if (c.frontEnd == FrontEnd::MainWindow) {
            EXPECT_EQ(main.Label1.widget()->text(), c.applicationTitle);
        } else {
            // Hidden and unconfigured: it only takes the writes of a run.
            EXPECT_FALSE(main.isFrontEnd());
            EXPECT_TRUE(main.windowTitle().isEmpty());
            EXPECT_TRUE(main.Label1.caption().empty());
            EXPECT_TRUE(main.StatusBar1.panelText(PortPanel).empty());
        }
    }
}

struct PortSettingCase {
    const char* name;
    std::string identity;
    BrandIndex brand;
    std::optional<std::string> stored;
    std::int16_t currentPort;
    std::int16_t openedPort;
    const char* shown;  // port panel, or the LoaderWindow's message line
};

const PortSettingCase PortSettingCases[] = {
    {"MainFirstStart", MainIdentity, BrandMain, std::nullopt, 0, -1, "COM1"},
    {"MainRemembered", MainIdentity, BrandMain, "4", 4, 3, "COM5"},
    {"MainNoPort", MainIdentity, BrandMain, "-1", -1, -2, "-----"},
    {"MainNotANumber", MainIdentity, BrandMain, "x9", 0, -1, "COM1"},
    {"UpgradeFirstStart", UpgradeIdentity, BrandUpgrade, std::nullopt, 0, -1, "COM1"},
    {"UpgradeRemembered", UpgradeIdentity, BrandUpgrade, " +9", 9, 8, "COM10"},
    {"LoaderFirstStart", LoaderIdentity, BrandLoader, std::nullopt, 0, -1, "Port not valid. Select a new port."},
    {"LoaderRemembered", LoaderIdentity, BrandLoader, "3", 3, 4, "Push 'Update FW' button and connect a device"},
    {"LoaderNoPort", LoaderIdentity, BrandLoader, "-1", -1, 0, "Push 'Update FW' button and connect a device"},
};

// "com" is read under the front end's own key at construction and written
// back there, and only there, when the window closes.
TEST_F(GuiTest, RememberedPortIsReadAtConstructionAndWrittenOnClose) {
    for (const auto& c : PortSettingCases) {
        SCOPED_TRACE(c.name);
        TempConfigDir fresh;
        if (c.stored) storePort(c.brand, *c.stored);
        auto s = openShown(c.identity);
        FrontEndContext& ctx = s->context();
        EXPECT_EQ(ctx.port.CurrentPort, c.currentPort);
        EXPECT_EQ(ctx.port.OpenedPort, c.openedPort);
        if (auto* l = s->loaderWindow()) {
            EXPECT_EQ(l->Label1.widget()->text(), c.shown);
            EXPECT_TRUE(l->Label1.widget()->font().italic());
        } else {
            EXPECT_EQ(FrontStatusBar(*s).panelWidget(PortPanel)->text(), c.shown);
        }

        ctx.port.CurrentPort = 11;  // as after a change in the port dialog
        s->frontWindow().close();
        EXPECT_EQ(storedPort(c.brand), "11");
        for (BrandIndex other : {BrandMain, BrandUpgrade, BrandLoader}) {
            if (other != c.brand) {
                EXPECT_EQ(storedPort(other), "") << "brand " << int(other);
            }
        }
    }
}

struct LoaderTagCase {
    const char* identity;
    std::uint8_t wakeVariant;
    bool logo;
    const char* suffix;
};

const LoaderTagCase LoaderTagCases[] = {
    {"TOLVA 1.2", 0, true, ""},
    {"PAVIN 2", 2, true, ""},
    {"PAVIN QRT", 1, false, "   -(N)-"},
    {"LWD 3", 1, false, "   -(N)-"},
};

TEST_F(GuiTest, LoaderWindowTagsSetWakeVariantLogoAndCaption) {
    for (const auto& c : LoaderTagCases) {
        SCOPED_TRACE(c.identity);
        auto s = openShown(c.identity);
        TForm6& w = *s->loaderWindow();
        EXPECT_EQ(s->context().WakeVariant, c.wakeVariant);
        EXPECT_EQ(w.Image1->isVisible(), c.logo);
        const QString caption = QString::fromStdString(LoaderTitle(c.identity, TestDate));
        EXPECT_EQ(w.windowTitle(), caption + c.suffix);
        EXPECT_EQ(w.hint(), caption);
        EXPECT_EQ(w.Label5.widget()->text(), c.identity);
        EXPECT_TRUE(w.Label6.caption().empty());
        EXPECT_FALSE(w.StatusBar1.widget()->isVisible());
    }
}

TEST_F(GuiTest, MainWindowLogoAndUpgradeSequenceBarFollowTags) {
    for (const auto& [identity, logo] : {std::pair{MainIdentity, true}, {"TK725 1", false}, {"PEL 1", false}}) {
        auto s = openShown(identity);
        EXPECT_EQ(s->mainWindow().Image2->isVisible(), logo) << identity;
    }
    for (const auto& [identity, sequence] : {std::pair{UpgradeIdentity, false}, {"KBV KEW", true}}) {
        auto s = openShown(identity);
        TForm5& w = *s->upgradeWindow();
        EXPECT_EQ(s->context().SequenceMode, sequence ? 1 : 0) << identity;
        EXPECT_EQ(w.ProgressBar2.widget()->isVisible(), sequence) << identity;
        EXPECT_EQ(w.ProgressBar1.widget()->width(), sequence ? 454 : 617) << identity;
        EXPECT_EQ(s->context().presenter.PanelIndex[DevicePanel], 3);
    }
}

// "\P" opens the UDP service from the MainWindow or UpgradeWindow as front
// end, and the service then hears every verdict; a LoaderWindow build ignores it.
TEST_F(GuiTest, UdpSwitchStartsTheServiceOnlyWhereTheFrontEndHasOne) {
    for (const auto& [identity, service] :
         {std::pair{MainIdentity, true}, {UpgradeIdentity, true}, {LoaderIdentity, false}}) {
        // The first port of a range that no other program holds.
        GuiOptions o = options(identity, {"\\P"});
        std::unique_ptr<GuiSession> s;
        for (o.udpPort = 47200; o.udpPort < 47300 && !s; ++o.udpPort) {
            try {
                s = std::make_unique<GuiSession>(o);
            } catch (const UdpServiceError&) {
            }
        }
        ASSERT_TRUE(s) << identity;
        EXPECT_EQ(bool(s->context().presenter.notify), service) << identity;
    }
    GuiSession without(options(MainIdentity, {"/P"}));
    EXPECT_FALSE(without.context().presenter.notify);
}

TEST_F(GuiTest, FrontEndsHaveTheirFixedLayout) {
    struct Layout {
        std::string identity;
        QSize client;
        QPoint position;
        const char* menuEntry;
        bool maximise;
    };
    for (const auto& l : {Layout{MainIdentity, {511, 265}, {137, 200}, "&Change port", false},
                          Layout{LoaderIdentity, {635, 255}, {183, 150}, "&Change Port", false},
                          Layout{UpgradeIdentity, {630, 181}, {274, 100}, "Serial Port", true}}) {
        SCOPED_TRACE(l.identity);
        auto s = openShown(l.identity);
        FrontEndWindow& w = s->frontWindow();
        EXPECT_EQ(w.client()->size(), l.client);
        EXPECT_EQ(w.minimumSize(), w.maximumSize()) << "the window can be resized";
        EXPECT_EQ(w.pos(), l.position);
        EXPECT_EQ(w.windowFlags().testFlag(Qt::WindowMaximizeButtonHint), l.maximise);
        const auto entries = w.menuBar()->actions();
        ASSERT_EQ(entries.size(), 1);
        EXPECT_EQ(entries[0]->text(), l.menuEntry);
    }
}

// A position that lies partly off the screen (one smaller or more scaled than
// the windows were laid out for) is given up for the nearest one on it.
TEST_F(GuiTest, WindowsPartlyOffTheScreenAreShownWhollyOnIt) {
    for (const std::string& identity : {MainIdentity, LoaderIdentity, UpgradeIdentity}) {
        auto s = openSession(identity);
        for (QWidget* w : {static_cast<QWidget*>(&s->frontWindow()), static_cast<QWidget*>(&s->portDialog()),
                           static_cast<QWidget*>(&s->versionDialog())}) {
            SCOPED_TRACE(identity + " " + w->objectName().toStdString());
            const QRect available = w->screen()->availableGeometry();
            for (const QPoint corner : {available.bottomRight() - QPoint(100, 50), QPoint(-200, -80)}) {
                w->hide();
                w->move(corner);
                w->show();
                EXPECT_TRUE(available.contains(w->frameGeometry())) << corner.x() << "," << corner.y();
            }
            w->hide();
        }
    }
}

// --- port dialog ---------------------------------------------------------------

TEST(PortIndexOfName, ReadsTheNumberBetweenTheLettersOfCom) {
    const std::pair<const char*, int> cases[] = {
        {"COM1", 0}, {"COM12", 11}, {"COM", 0}, {"", 0}, {"com5", -1}, {"CM7", 6}, {"COM1O2", 0},
    };
    for (const auto& [name, index] : cases) EXPECT_EQ(PortIndexOfName(name), index) << name;
}

TEST_F(GuiTest, PortDialogListsMappedPortsAndReopensOnOk) {
    auto com7 = startDevice(6);
    auto com9 = startDevice(8);
    storePort(BrandMain, "8");
    auto s = openShown(MainIdentity);
    TForm1& w = s->mainWindow();
    TForm3& dialog = s->portDialog();
    FrontEndContext& ctx = s->context();

    w.S1->trigger();
    ASSERT_TRUE(dialog.isVisible());
    const int com7Entry = dialog.ComboBox2->findText("COM7");
    const int com9Entry = dialog.ComboBox2->findText("COM9");
    ASSERT_GE(com7Entry, 0);
    ASSERT_GE(com9Entry, 0);
    EXPECT_EQ(dialog.ComboBox1->count(), dialog.ComboBox2->count());
    EXPECT_FALSE(dialog.ComboBox2->isVisible());
    EXPECT_EQ(dialog.ComboBox1->currentIndex(), com9Entry) << "the port in use is preselected";

    // A port that appears while the dialog is open is listed at its next
    // showing, not when it is merely brought to the front again.
    const int listed = dialog.ComboBox2->count();
    auto com12 = startDevice(11);
    w.S1->trigger();
    EXPECT_EQ(dialog.ComboBox2->count(), listed);

    // Cancel undoes the selection and changes nothing else.
    dialog.ComboBox1->setCurrentIndex(com7Entry);
    Click(dialog.Button2);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.ComboBox1->currentIndex(), com9Entry);
    EXPECT_EQ(ctx.port.CurrentPort, 8);
    EXPECT_FALSE(AnyPortOpen(ctx));

    // OK with another port opens it at once.
    w.S1->trigger();
    EXPECT_EQ(dialog.ComboBox2->count(), listed + 1);
    EXPECT_GE(dialog.ComboBox2->findText("COM12"), 0);
    dialog.ComboBox1->setCurrentIndex(com7Entry);
    Click(dialog.Button1);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(ctx.port.CurrentPort, 6);
    EXPECT_EQ(ctx.port.OpenedPort, 6);
    EXPECT_NE(CurrentDevice(ctx.port), nullptr);
}

TEST_F(GuiTest, ChangePortHidesResultAndIdentityLinesButNotTheReleaseLine) {
    auto s = openShown(MainIdentity);
    TForm1& w = s->mainWindow();
    for (QtLabel* l : {&w.Label2, &w.Label3, &w.Label4}) l->setVisible(true);
    w.S1->trigger();
    EXPECT_FALSE(w.Label2.widget()->isVisible());
    EXPECT_FALSE(w.Label3.widget()->isVisible());
    EXPECT_TRUE(w.Label4.widget()->isVisible());
    EXPECT_TRUE(s->portDialog().isVisible());
}

TEST_F(GuiTest, LoaderPlacesThePortDialogAsAToolWindowAtItsCorner) {
    auto s = openShown(LoaderIdentity);
    TForm6& w = *s->loaderWindow();
    w.Label1.setCaption("Successfully updated");
    w.ChangePort1->trigger();
    TForm3& dialog = s->portDialog();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.windowFlags() & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_EQ(dialog.pos(), w.pos());
    EXPECT_EQ(w.Label1.caption(), "Push 'Update FW' button and connect a device");

    // Brought to the front again, the open dialog keeps the user's pick.
    dialog.ComboBox1->addItem("picked, not yet confirmed");
    dialog.ComboBox1->setCurrentIndex(dialog.ComboBox1->count() - 1);
    const int picked = dialog.ComboBox1->currentIndex();
    w.ChangePort1->trigger();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.ComboBox1->currentIndex(), picked);
}

// --- version dialog ------------------------------------------------------------

TEST_F(GuiTest, VersionDialogListsTheImagesUnderTheStampedCaption) {
    auto s = openShown(MainIdentity);
    TForm4& dialog = s->versionDialog();
    EXPECT_EQ(dialog.windowTitle(), "Version ..");
    for (int showing = 0; showing < 2; ++showing) {
        QTest::mouseDClick(s->mainWindow().Label1.widget(), Qt::LeftButton);
        ASSERT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.windowTitle(), "WEX15.4 00.04   [ 11:43:20 - Mar 22 2018 ]");
        ASSERT_EQ(dialog.ListBox1->count(), 3) << "showing " << showing;
        EXPECT_EQ(dialog.ListBox1->item(0)->text(), "Device - Print          - Preparation");
        EXPECT_EQ(dialog.ListBox1->item(1)->text(), QString(37, QLatin1Char('-')));
        EXPECT_TRUE(dialog.ListBox1->item(2)->text().startsWith("24HJ64 - "));
        EXPECT_TRUE(QFontInfo(dialog.ListBox1->font()).fixedPitch());
        Click(dialog.Button1);
        EXPECT_FALSE(dialog.isVisible());
    }
}

}  // namespace
}  // namespace torvane::test
