#include "platform/posix/SettingsFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <system_error>

namespace torvane::posix {

namespace fs = std::filesystem;

namespace {

constexpr mode_t SettingsFileMode = 0644;
constexpr int MaxCopyAttempts = 100;  // settings.reg.corrupt-<time>-2 .. -99 on a busy second

// Failures that mean "this place cannot be written at all", as opposed to a
// write that started and broke off.
bool IsNotWritable(int error) {
    return error == EACCES || error == EPERM || error == EROFS || error == ENOTDIR || error == ENOENT;
}

bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Makes a finished rename durable; the settings are already consistent
// without it, so a failure changes nothing.
void SyncFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

std::string TimeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &local);
    return buf;
}

}  // namespace

SettingsFile::SettingsFile(fs::path folder) : folder_(std::move(folder)), path_(folder_ / SettingsFileName) {}

SettingsText SettingsFile::load() {
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {errno == ENOENT || errno == ENOTDIR ? SettingsLoad::Missing : SettingsLoad::Unreadable, {}};
    SettingsText result{SettingsLoad::Loaded, {}};
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            result = {SettingsLoad::Unreadable, {}};
            break;
        }
        if (n == 0) break;
        result.text.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return result;
}

SettingsSave SettingsFile::writeFile(const fs::path& target, std::string_view text, Publish how, bool* exists) {
    std::error_code ec;
    fs::create_directories(folder_, ec);
    if (ec) return SettingsSave::NotWritable;

    const fs::path temp = folder_ / ("." + target.filename().string() + "." + std::to_string(::getpid()) + ".tmp");
    ::unlink(temp.c_str());  // a leftover of a crashed run of ours
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, SettingsFileMode);
    if (fd < 0) return IsNotWritable(errno) ? SettingsSave::NotWritable : SettingsSave::Failed;

    bool ok = WriteAll(fd, text) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) {
        if (how == Publish::Replace) {
            ok = ::rename(temp.c_str(), target.c_str()) == 0;
        } else {
            // A hard link never replaces an existing file; where the file
            // system has no hard links, rename once the name is seen free.
            ok = ::link(temp.c_str(), target.c_str()) == 0;
            if (!ok && errno == EEXIST) {
                if (exists) *exists = true;
            } else if (!ok) {
                struct stat st {};
                if (::lstat(target.c_str(), &st) == 0) {
                    if (exists) *exists = true;
                } else {
                    ok = ::rename(temp.c_str(), target.c_str()) == 0;
                }
            }
        }
    }
    ::unlink(temp.c_str());
    if (!ok) return SettingsSave::Failed;
    SyncFolder(folder_);
    return SettingsSave::Saved;
}

SettingsSave SettingsFile::save(std::string_view text) { return writeFile(path_, text, Publish::Replace); }

SettingsCopy SettingsFile::keepCopy(std::string_view text) {
    const std::string base = path_.string() + ".corrupt-" + TimeStamp();
    for (int n = 1; n < MaxCopyAttempts; ++n) {
        const fs::path target = n == 1 ? fs::path(base) : fs::path(base + "-" + std::to_string(n));
        bool exists = false;
        const SettingsSave r = writeFile(target, text, Publish::NewNameOnly, &exists);
        if (r == SettingsSave::Saved) return {r, target.string()};
        if (!exists) return {r, {}};
    }
    return {SettingsSave::Failed, {}};
}

}  // namespace torvane::posix
