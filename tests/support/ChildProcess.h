#pragma once
// A program the test starts, with its standard output and error on pipes, the
// way a technician runs torvane-cli and torvane-bootsim side by side.

#include <sys/types.h>

#include <string>
#include <vector>

namespace torvane::test {

struct Process {
    pid_t pid = -1;  // -1: it could not be started
    int out = -1;    // read end of its stdout
    int err = -1;    // read end of its stderr
};

// argv[0] is the program's path.
Process Spawn(const std::vector<std::string>& argv);

// Everything until the end of the stream; closes fd.
std::string ReadAll(int fd);

// One line without its line break; false at the end of the stream.
bool ReadLine(int fd, std::string& line);
// The same where an empty line cannot come: empty at the end of the stream.
std::string ReadLine(int fd);

// Waits for the process; its exit code, or -1 when a signal ended it.
int Wait(pid_t pid);

struct Result {
    int exitCode;
    std::string out, err;
};

// Reads both streams to their end (neither pipe can fill and stall the
// program), then waits for it.
Result Finish(Process p);

// Spawn and Finish in one: the program run to its end. Exit code -1 when it
// could not be started.
Result RunProgram(const std::vector<std::string>& argv);

}  // namespace torvane::test
