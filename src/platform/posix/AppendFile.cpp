#include "platform/posix/AppendFile.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace torvane::posix {

namespace fs = std::filesystem;

namespace {

// The records are the user's own: other users may not read them, nor put
// anything into the folders they are kept in.
constexpr mode_t LogFileMode = 0600;
constexpr mode_t LogFolderMode = 0700;

// A variable that names a folder counts only as an absolute path: a relative
// one would put the records wherever the program happened to start.
std::optional<fs::path> AbsoluteFolder(const char* variable) {
    const char* value = std::getenv(variable);
    if (value == nullptr || *value == '\0' || value[0] != '/') return std::nullopt;
    return fs::path(value);
}

std::optional<fs::path> HomeFolder() {
    if (auto home = AbsoluteFolder("HOME")) return home;
    const passwd* user = ::getpwuid(::getuid());
    if (user != nullptr && user->pw_dir != nullptr && user->pw_dir[0] == '/') return fs::path(user->pw_dir);
    return std::nullopt;
}

// Makes the folders of `folder` that are missing, each for the user alone;
// folders that are there keep their modes.
std::string MakeFolders(const fs::path& folder) {
    fs::path made;
    for (const auto& part : folder) {
        made /= part;
        if (::mkdir(made.c_str(), LogFolderMode) != 0 && errno != EEXIST)
            return "cannot create " + made.string() + ": " + std::strerror(errno);
    }
    return {};
}

// The size of the file up to the end of its last whole line: a writer that
// died between its write and its cut-back may have left part of a line.
off_t WholeLinesEnd(int fd, off_t size) {
    char last = '\n';
    if (size == 0 || ::pread(fd, &last, 1, size - 1) != 1 || last == '\n') return size;
    char block[4096];
    off_t end = size;
    while (end > 0) {
        const off_t from = end > static_cast<off_t>(sizeof block) ? end - static_cast<off_t>(sizeof block) : 0;
        const ssize_t n = ::pread(fd, block, static_cast<std::size_t>(end - from), from);
        if (n <= 0) return size;  // unreadable: leave the file as it is
        for (ssize_t i = n; i > 0; --i)
            if (block[i - 1] == '\n') return from + i;
        end = from;
    }
    return 0;
}

}  // namespace

fs::path StateDir() {
    if (auto state = AbsoluteFolder("XDG_STATE_HOME")) return *state / "torvane";
    if (auto home = HomeFolder()) return *home / ".local" / "state" / "torvane";
    return {};
}

std::string AppendLine(const fs::path& file, std::string_view line) {
    if (line.find('\n') != std::string_view::npos) return "a record must be one line";
    if (file.empty()) return "no place for the records: neither XDG_STATE_HOME nor HOME names a folder";
    if (file.has_parent_path()) {
        if (std::string failure = MakeFolders(file.parent_path()); !failure.empty()) return failure;
    }
    // A link in the record's place is not followed: it could lead the
    // record into a file that is somebody else's. Read access: to find the
    // end of the last whole line.
    const int fd = ::open(file.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, LogFileMode);
    if (fd < 0 && errno == ELOOP) return "cannot open " + file.string() + ": it is a symbolic link, which is not followed";
    if (fd < 0) return "cannot open " + file.string() + ": " + std::strerror(errno);
    std::string whole(line);
    whole += '\n';
    std::string failure;
    // One writer at a time from here to the cut-back: the end of the file
    // is then ours to cut back to, whoever else appends.
    int locked;
    do {
        locked = ::flock(fd, LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    struct stat before {};
    const bool sized = ::fstat(fd, &before) == 0;
    off_t start = sized ? before.st_size : 0;
    if (sized && locked == 0) {
        start = WholeLinesEnd(fd, before.st_size);
        if (start != before.st_size) (void)::ftruncate(fd, start);
    }
    ssize_t n;
    do {
        n = ::write(fd, whole.data(), whole.size());
    } while (n < 0 && errno == EINTR);
    const int writeError = errno;
    if (n < 0) {
        failure = "cannot write " + file.string() + ": " + std::strerror(writeError);
    } else if (static_cast<std::size_t>(n) != whole.size()) {
        failure = "cannot write " + file.string() + ": the disk took only part of the record";
        if (sized && locked == 0) (void)::ftruncate(fd, start);
    }
    if (::close(fd) != 0 && failure.empty()) failure = "cannot write " + file.string() + ": " + std::strerror(errno);
    return failure;
}

}  // namespace torvane::posix
