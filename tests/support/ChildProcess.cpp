#include "ChildProcess.h"

#include <sys/wait.h>
#include <unistd.h>

#include <thread>

namespace torvane::test {

Process Spawn(const std::vector<std::string>& argv) {
    int out[2], err[2];
    if (::pipe(out) != 0) return {};
    if (::pipe(err) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return {};
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(err[1], STDERR_FILENO);
        ::close(out[0]);
        ::close(err[0]);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    if (pid < 0) {
        ::close(out[0]);
        ::close(err[0]);
        return {};
    }
    return {pid, out[0], err[0]};
}

std::string ReadAll(int fd) {
    std::string s;
    char buf[4096];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) s.append(buf, static_cast<std::size_t>(n));
    ::close(fd);
    return s;
}

bool ReadLine(int fd, std::string& line) {
    line.clear();
    for (char c;;) {
        if (::read(fd, &c, 1) != 1) return false;
        if (c == '\n') return true;
        line.push_back(c);
    }
}

std::string ReadLine(int fd) {
    std::string line;
    ReadLine(fd, line);
    return line;
}

int Wait(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Result Finish(Process p) {
    std::string err;
    std::thread errReader([&] { err = ReadAll(p.err); });
    std::string out = ReadAll(p.out);
    errReader.join();
    return {Wait(p.pid), out, err};
}

Result RunProgram(const std::vector<std::string>& argv) {
    const Process p = Spawn(argv);
    if (p.pid < 0) return {-1, {}, {}};
    return Finish(p);
}

}  // namespace torvane::test
