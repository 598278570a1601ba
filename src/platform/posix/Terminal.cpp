#include "platform/Terminal.h"

#include <unistd.h>

namespace torvane {

bool StdoutIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

}  // namespace torvane
