#include "shell/SingleInstance.h"

#include <string>

#include "shell/ProductIdentity.h"

namespace torvane {

bool ClaimSingleInstance(InstanceGuard& guard, const TopmostMessage& show) {
    if (guard.acquire(InstanceMutexName) != InstanceClaim::AlreadyRunning) return true;
    // The caption is the full MainWindow title whatever the front end.
    const std::string caption = MainTitle();
    if (show) show(AlreadyInProgressText, caption);
    return false;
}

}  // namespace torvane
