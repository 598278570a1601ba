#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/UdpNotifier.h"

using namespace torvane;

namespace {

// A listener that binds nothing; the service only needs one to exist.
class IdleListener : public UdpListener {
public:
    void activate(std::uint16_t) override {}
    int bindingCount() const override { return 0; }
    std::uint64_t datagramsReceived() const override { return 0; }
};

TEST(UdpSwitch, OnlyBackslashPAsTheFirstArgument) {
    struct Case { std::vector<std::string> args; bool starts; };
    const Case cases[] = {
        {{"\\P"}, true}, {{"\\p"}, true}, {{"\\P", "more"}, true},
        {{}, false}, {{"/P"}, false}, {{"-P"}, false}, {{"-p"}, false}, {{"P"}, false},
        {{"\\PP"}, false}, {{"\\"}, false}, {{""}, false}, {{"x", "\\P"}, false},
    };
    for (const auto& c : cases) {
        std::string shown;
        for (const auto& a : c.args) shown += "[" + a + "]";
        EXPECT_EQ(UdpSwitchGiven(c.args), c.starts) << shown;
    }
    NotificationHook hook;
    const std::vector<std::string> slash{"/P"};
    int made = 0;
    EXPECT_EQ(StartUdpService(slash, hook, [&] { ++made; return std::make_unique<IdleListener>(); }), nullptr);
    EXPECT_FALSE(hook);
    EXPECT_EQ(made, 0);
}

}  // namespace
