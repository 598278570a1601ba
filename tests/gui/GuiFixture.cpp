#include "GuiFixture.h"

#include <QTest>

#include <stdexcept>

#include "platform/posix/SettingsFile.h"
#include "shell/SettingsStore.h"

namespace torvane::test {

When::When(std::function<bool()> condition, std::function<void()> action) {
    timer_.setInterval(0);  // every pass of event processing
    QObject::connect(&timer_, &QTimer::timeout, [this, condition = std::move(condition), action = std::move(action)] {
        if (fired_ || !condition()) return;
        fired_ = true;
        timer_.stop();
        action();
    });
    timer_.start();
}

GuiOptions GuiTest::options(const std::optional<std::string>& identity, std::vector<std::string> arguments) const {
    GuiOptions o;
    o.identity = identity;
    o.buildDate = TestDate;
    o.buildTime = TestTime;
    o.arguments = std::move(arguments);
    return o;
}

std::unique_ptr<GuiSession> GuiTest::openSession(const std::optional<std::string>& identity,
                                                 std::vector<std::string> arguments) {
    return std::make_unique<GuiSession>(options(identity, std::move(arguments)));
}

std::unique_ptr<GuiSession> GuiTest::openShown(const std::string& identity) {
    auto s = openSession(identity);
    s->frontWindow().show();
    return s;
}

void GuiTest::storePort(BrandIndex brand, const std::string& text) {
    posix::SettingsFile file;
    SettingsStore store{file, {}};
    WriteSetting(store, PortSettingName, text, brand);
}

std::string GuiTest::storedPort(BrandIndex brand) {
    posix::SettingsFile file;
    SettingsStore store{file, {}};
    return ReadSetting(store, PortSettingName, brand);
}

std::unique_ptr<bootsim::SimRunner> GuiTest::startDevice(int portIndex, bootsim::SimConfig config) {
    auto sim = std::make_unique<bootsim::SimRunner>(std::move(config));
    const std::string failure = sim->mapPort(portIndex);
    if (!failure.empty()) throw std::runtime_error("cannot map the simulated device: " + failure);
    sim->start();
    return sim;
}

void Click(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton); }

QtButton& StartButton(GuiSession& s) {
    if (auto* l = s.loaderWindow()) return l->Button1;
    if (auto* u = s.upgradeWindow()) return u->Button1;
    return s.mainWindow().Button1;
}

QtButton& StopButton(GuiSession& s) {
    if (auto* l = s.loaderWindow()) return l->Button2;
    if (auto* u = s.upgradeWindow()) return u->Button2;
    return s.mainWindow().Button2;
}

QtStatusBar& FrontStatusBar(GuiSession& s) {
    if (auto* l = s.loaderWindow()) return l->StatusBar1;
    if (auto* u = s.upgradeWindow()) return u->StatusBar1;
    return s.mainWindow().StatusBar1;
}

bool AnyPortOpen(const FrontEndContext& ctx) {
    for (const auto& slot : ctx.port.PortTable)
        if (slot.open != 0 || slot.handle) return true;
    return false;
}

}  // namespace torvane::test
