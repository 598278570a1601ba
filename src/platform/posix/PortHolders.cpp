#include "platform/posix/PortHolders.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fstream>
#include <optional>
#include <system_error>

namespace torvane::posix {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view PseudoTerminalFolder = "/dev/pts/";
constexpr std::string_view TtyIndexField = "tty-index:";  // fdinfo of a pseudo-terminal controller

std::optional<long> Number(std::string_view text) {
    long n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return n;
}

// The number of a pseudo-terminal's device side (/dev/pts/3 -> 3).
std::optional<long> PtsIndex(const fs::path& device) {
    const std::string s = device.string();
    if (!s.starts_with(PseudoTerminalFolder)) return std::nullopt;
    return Number(std::string_view(s).substr(PseudoTerminalFolder.size()));
}

std::optional<long> ControllerIndex(const fs::path& fdinfo) {
    std::ifstream in(fdinfo);
    std::string line;
    while (std::getline(in, line))
        if (line.starts_with(TtyIndexField)) {
            const auto first = line.find_first_not_of(" \t", TtyIndexField.size());
            if (first != std::string::npos) return Number(std::string_view(line).substr(first));
        }
    return std::nullopt;
}

std::string CommandName(const fs::path& processDir) {
    std::ifstream in(processDir / "comm");
    std::string name;
    std::getline(in, name);
    return name.empty() ? "another program" : name;
}

}  // namespace

PortHolders FindPortHolders(const fs::path& device, const fs::path& procRoot) {
    PortHolders found;
    struct stat target {};
    if (::stat(device.c_str(), &target) != 0 || !S_ISCHR(target.st_mode)) return found;
    std::error_code ec;
    const fs::path resolved = fs::weakly_canonical(device, ec);
    const std::optional<long> ptsIndex = PtsIndex(ec ? device : resolved);
    const pid_t self = ::getpid();

    DIR* processes = ::opendir(procRoot.c_str());
    if (processes == nullptr) return found;
    while (const dirent* p = ::readdir(processes)) {
        const auto pid = Number(p->d_name);
        if (!pid || *pid == self) continue;
        const fs::path processDir = procRoot / p->d_name;
        DIR* fds = ::opendir((processDir / "fd").c_str());
        if (fds == nullptr) {
            // A process that ended meanwhile holds nothing.
            if (errno == EACCES || errno == EPERM) found.unreadable = true;
            continue;
        }
        bool holds = false, farEnd = false;
        while (const dirent* f = ::readdir(fds)) {
            if (f->d_name[0] == '.') continue;
            struct stat st {};
            if (::stat((processDir / "fd" / f->d_name).c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) continue;
            if (st.st_rdev == target.st_rdev) {
                holds = true;
            } else if (ptsIndex && ControllerIndex(processDir / "fdinfo" / f->d_name) == ptsIndex) {
                farEnd = true;
            }
        }
        ::closedir(fds);
        if (holds && !farEnd) found.named.push_back({static_cast<pid_t>(*pid), CommandName(processDir)});
    }
    ::closedir(processes);
    std::sort(found.named.begin(), found.named.end(), [](const auto& a, const auto& b) { return a.pid < b.pid; });
    return found;
}

std::string HolderList(const std::vector<PortHolder>& holders) {
    std::string list;
    for (std::size_t i = 0; i < holders.size(); ++i) {
        if (i > 0) list += i + 1 == holders.size() ? " and " : ", ";
        list += holders[i].name + " (pid " + std::to_string(holders[i].pid) + ")";
    }
    return list;
}

}  // namespace torvane::posix
