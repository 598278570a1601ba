#include "platform/posix/SettingsFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <system_error>

#include "formats/RegistryDocument.h"

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

void Tell(const SettingsNotice& notice, const std::string& message) {
    if (notice) notice(message);
}

// The temporary file a writer with this process id uses for `target`.
fs::path TempName(const fs::path& folder, const fs::path& target, pid_t pid) {
    return folder / ("." + target.filename().string() + "." + std::to_string(pid) + ".tmp");
}

bool SameValue(const RegValue& a, const RegValue& b) {
    return a.name == b.name && a.form == b.form && a.text == b.text && a.number == b.number &&
           a.hexType == b.hexType && a.bytes == b.bytes;
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

SettingsFile::Loaded SettingsFile::load() const {
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {errno == ENOENT || errno == ENOTDIR ? Load::Missing : Load::Unreadable, {}};
    Loaded result{Load::Loaded, {}};
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            result = {Load::Unreadable, {}};
            break;
        }
        if (n == 0) break;
        result.text.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return result;
}

StoredSetting SettingsFile::read(std::string_view keyPath, std::string_view name, const SettingsNotice& notice) {
    const Loaded stored = load();
    if (stored.status != Load::Loaded) return {};
    ParsedRegistry parsed = ParseRegistryText(stored.text);
    if (!parsed.error.empty()) {
        Tell(notice, "The settings file " + location() + " cannot be read (" + parsed.error +
                         "); its settings are ignored.");
        return {};
    }
    RegKey* key = parsed.document.findKey(keyPath);
    if (!key) return {};
    const RegValue* value = FindValue(*key, name);
    if (!value || value->dataSize() == 0) return {};
    if (!value->isString()) return {SettingStatus::NotText, {}};
    return {SettingStatus::Found, value->stringText()};
}

SettingWrite SettingsFile::write(std::string_view keyPath, std::string_view name, std::string_view text,
                                 const SettingsNotice& notice) {
    const Loaded stored = load();
    // Settings that exist but cannot be read cannot be carried over either:
    // writing now would lose them, so the write is skipped like any other
    // write that cannot happen.
    if (stored.status == Load::Unreadable) return SettingWrite::NotWritable;

    RegistryDocument document;
    if (stored.status == Load::Loaded) {
        ParsedRegistry parsed = ParseRegistryText(stored.text);
        if (parsed.error.empty()) {
            document = std::move(parsed.document);
        } else {
            // Never overwrite what we cannot read without keeping it first.
            SettingWrite copied = SettingWrite::Failed;
            const std::string copy = keepCopy(stored.text, copied);
            if (copied != SettingWrite::Written) return copied;
            Tell(notice, "The settings file " + location() + " could not be read (" + parsed.error +
                             "); it was kept as " + copy + " and new settings were started.");
        }
    }

    if (!IsWritableValueName(name)) return SettingWrite::Failed;
    removeLeftovers();
    RegKey* existing = stored.status == Load::Loaded ? document.findKey(keyPath) : nullptr;
    RegKey& key = existing ? *existing : document.createKey(keyPath);
    RegValue value = StringValue(name, text);
    if (RegValue* old = FindValue(key, name)) {
        value.name = old->name;  // the stored spelling of the name stays
        // Nothing changes: the file stays as it is, to the byte.
        if (existing && SameValue(*old, value)) return SettingWrite::Written;
        *old = std::move(value);
    } else {
        key.values.push_back(std::move(value));
    }
    return writeFile(path_, FormatRegistryText(document), Publish::Replace);
}

SettingWrite SettingsFile::writeFile(const fs::path& target, std::string_view text, Publish how, bool* exists) {
    std::error_code ec;
    fs::create_directories(folder_, ec);
    if (ec) return SettingWrite::NotWritable;

    const fs::path temp = TempName(folder_, target, ::getpid());
    ::unlink(temp.c_str());  // a leftover of a crashed run of ours
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, SettingsFileMode);
    if (fd < 0) return IsNotWritable(errno) ? SettingWrite::NotWritable : SettingWrite::Failed;

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
    if (!ok) return SettingWrite::Failed;
    SyncFolder(folder_);
    return SettingWrite::Written;
}

// A writer that died between creating its temporary file and renaming it
// leaves the file behind for good; a writer still alive may be using its own.
// Only names this class makes are looked at.
void SettingsFile::removeLeftovers() const {
    const std::string prefix = "." + path_.filename().string() + ".";
    constexpr std::string_view suffix = ".tmp";
    std::error_code ec;
    for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        // .settings.reg.<pid>.tmp, or .settings.reg.corrupt-<time>.<pid>.tmp for a kept copy
        const std::string stem = name.substr(0, name.size() - suffix.size());
        const std::string digits = stem.substr(std::max(stem.rfind('.') + 1, prefix.size()));
        if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
        const auto pid = static_cast<pid_t>(std::stol(digits));
        if (pid == ::getpid() || pid <= 0) continue;
        if (::kill(pid, 0) == 0 || errno != ESRCH) continue;
        ::unlink(it->path().c_str());
    }
}

std::string SettingsFile::keepCopy(std::string_view text, SettingWrite& result) {
    const std::string base = path_.string() + ".corrupt-" + TimeStamp();
    for (int n = 1; n < MaxCopyAttempts; ++n) {
        const fs::path target = n == 1 ? fs::path(base) : fs::path(base + "-" + std::to_string(n));
        bool exists = false;
        result = writeFile(target, text, Publish::NewNameOnly, &exists);
        if (result == SettingWrite::Written) return target.string();
        if (!exists) return {};
    }
    result = SettingWrite::Failed;
    return {};
}

}  // namespace torvane::posix
