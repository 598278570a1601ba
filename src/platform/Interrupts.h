#pragma once
// The user asking a console program to stop: Ctrl-C, and where the system
// has them Ctrl-Break, SIGTERM or the console window being closed.

namespace torvane {

class Interrupts {
public:
    virtual ~Interrupts() = default;
    // From now on every such request raises requested() instead of ending
    // the process, however often it comes. Calling it again changes nothing.
    virtual void catchRequests() = 0;
    // True once a request has come since catchRequests(); safe from any thread.
    virtual bool requested() const = 0;
    // The program has stopped what it was doing and written its records. A
    // request after which the system ends the process as soon as it has been
    // answered (the console window closed) is held unanswered until then,
    // within the time the system allows.
    virtual void finished() = 0;
};

}  // namespace torvane
