#include <gtest/gtest.h>

#include <csignal>

#include "platform/posix/SignalInterrupts.h"

namespace {

// Ctrl-C and SIGTERM raise the request however often they come, and the
// process lives on: a second Ctrl-C during the wind-down must not end it
// before its record is written.
TEST(SignalInterrupts, EverySignalIsCaughtNotOnlyTheFirst) {
    torvane::posix::SignalInterrupts interrupts;
    EXPECT_FALSE(interrupts.requested());
    interrupts.catchRequests();
    interrupts.catchRequests();  // again: changes nothing
    for (int signal : {SIGINT, SIGINT, SIGTERM, SIGINT}) ASSERT_EQ(std::raise(signal), 0) << signal;
    EXPECT_TRUE(interrupts.requested());
}

}  // namespace
