#include "platform/posix/SignalInterrupts.h"

#include <signal.h>

#include <csignal>
#include <initializer_list>

namespace torvane::posix {

namespace {

// A signal handler may only store to a lock-free flag of this kind.
volatile std::sig_atomic_t raised = 0;

void OnSignal(int) { raised = 1; }

}  // namespace

void SignalInterrupts::catchRequests() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // Without SA_RESETHAND the handler stays for the next signal; SA_RESTART
    // keeps a blocking call that a signal lands in from failing with EINTR.
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM}) ::sigaction(signal, &action, nullptr);
}

bool SignalInterrupts::requested() const { return raised != 0; }

}  // namespace torvane::posix
