#include "platform/posix/AppendFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace torvane::posix {

namespace fs = std::filesystem;

fs::path StateDir() {
    if (const char* x = std::getenv("XDG_STATE_HOME"); x && *x) return fs::path(x) / "torvane";
    if (const char* h = std::getenv("HOME"); h && *h) return fs::path(h) / ".local" / "state" / "torvane";
    return fs::path(".local") / "state" / "torvane";
}

std::string AppendLine(const fs::path& file, std::string_view line) {
    if (line.find('\n') != std::string_view::npos) return "a record must be one line";
    std::error_code ec;
    if (file.has_parent_path()) {
        fs::create_directories(file.parent_path(), ec);
        if (ec) return "cannot create " + file.parent_path().string() + ": " + ec.message();
    }
    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return "cannot open " + file.string() + ": " + std::strerror(errno);
    std::string whole(line);
    whole += '\n';
    struct stat before {};
    const bool sized = ::fstat(fd, &before) == 0;
    ssize_t n;
    do {
        n = ::write(fd, whole.data(), whole.size());
    } while (n < 0 && errno == EINTR);
    const int writeError = errno;
    std::string failure;
    if (n < 0) {
        failure = "cannot write " + file.string() + ": " + std::strerror(writeError);
    } else if (static_cast<std::size_t>(n) != whole.size()) {
        failure = "cannot write " + file.string() + ": the disk took only part of the record";
        // Our part is the last thing in the file only if nobody appended
        // since; cut it off then, else leave the others' lines whole.
        struct stat after {};
        if (sized && ::fstat(fd, &after) == 0 && after.st_size == before.st_size + n)
            (void)::ftruncate(fd, before.st_size);
    }
    if (::close(fd) != 0 && failure.empty()) failure = "cannot write " + file.string() + ": " + std::strerror(errno);
    return failure;
}

}  // namespace torvane::posix
