// Storing a reader into a manifest without ever losing the manifest or an
// update.
//
// Updates of one manifest are serialised by an exclusive lock on the file
// itself; an update that cannot take it fails rather than go on unlocked.
// The new text is produced in full, written to a private file beside the
// manifest, synced, and renamed over it, so a reader of the manifest sees
// either the old or the new content and a failure leaves the old one as it
// was. Where the directory takes no new file or the path cannot be renamed
// over (a file mounted on its own), the file is rewritten in place instead.
#include "manifest.hpp"

#include "file_access.hpp"
#include "messages.hpp"

#include "yaml/read.hpp"
#include "yaml/write.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace brintel::schema {
namespace {

using errors::ConfigError;
using errors::ErrorKind;

constexpr std::size_t uuid_length = 36;
constexpr std::string_view temporary_suffix = ".tmp";

struct LockedManifest {
    Descriptor file;
    struct stat info {};
};

// 0, or the error number that prevented the lock.
int take_lock(int fd, const LockWait& wait) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return 0;
    if (errno != EWOULDBLOCK && errno != EINTR) return errno;
    return wait(fd);
}

// The lock is on the file, and an update replaces the file: one that waited
// may hold the lock of a file that is no longer at the path, so it checks
// and tries again on the file that is there now.
errors::Result<LockedManifest> lock_manifest(const std::string& path, const LockWait& wait) {
    for (;;) {
        auto opened = open_manifest(path, Accept::RegularFile);
        if (!opened) return std::move(opened.error());
        LockedManifest locked{std::move(opened.value())};
        if (const int error = take_lock(locked.file.get(), wait); error != 0) {
            return ConfigError(ErrorKind::FileWrite, os_error(error));
        }
        struct stat current {};
        if (::fstat(locked.file.get(), &locked.info) != 0) return ConfigError(ErrorKind::FileWrite, os_error(errno));
        if (::stat(path.c_str(), &current) == 0 && same_file(locked.info, current)) return locked;
    }
}

std::string directory_of(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The start of the names of this manifest's temporary files,
// ".<name>.", followed by a UUID and ".tmp".
std::string temporary_prefix(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string_view name = std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1);
    std::string prefix(".");
    prefix.append(name.substr(0, 128)).push_back('.');
    return prefix;
}

std::string temporary_name(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    return directory + temporary_prefix(path) + new_uuid() + std::string(temporary_suffix);
}

bool is_uuid(std::string_view text) {
    if (text.size() != uuid_length) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        const char c = text[i];
        if (dash ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

bool is_temporary_of(std::string_view name, std::string_view prefix) {
    if (name.size() != prefix.size() + uuid_length + temporary_suffix.size()) return false;
    if (!name.starts_with(prefix) || !name.ends_with(temporary_suffix)) return false;
    return is_uuid(name.substr(prefix.size(), uuid_length));
}

// Files an update left when its process died between creating and renaming
// them. Only the holder of the manifest's lock calls this, and no other
// update of this manifest is then under way, so every such file is stale.
// A directory that cannot be listed keeps them.
void remove_stale_temporaries(const std::string& path) {
    DIR* directory = ::opendir(directory_of(path).c_str());
    if (!directory) return;
    const std::string prefix = temporary_prefix(path);
    while (const dirent* entry = ::readdir(directory)) {
        if (is_temporary_of(entry->d_name, prefix)) ::unlinkat(::dirfd(directory), entry->d_name, 0);
    }
    ::closedir(directory);
}

// The process's file-creation mask. umask() can only read it by setting it,
// which would race with files created by other threads meanwhile.
mode_t creation_mask() {
    Descriptor status(::open("/proc/self/status", O_RDONLY | O_CLOEXEC));
    std::string text;
    const auto field = status.get() >= 0 && read_all(status.get(), text) ? text.find("\nUmask:\t")
                                                                         : std::string::npos;
    if (field != std::string::npos) return static_cast<mode_t>(std::stoul(text.substr(field + 8, 4), nullptr, 8));
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

// The permission bits the new file gets: those of the file it replaces.
// A symbolic link gives way to a new file, made as any new file is, but
// never readable by more than the file it pointed to.
mode_t kept_mode(const std::string& path, const struct stat& replaced) {
    const mode_t bits = replaced.st_mode & 0777;
    struct stat entry {};
    if (::lstat(path.c_str(), &entry) == 0 && S_ISLNK(entry.st_mode)) return bits & 0666 & ~creation_mask();
    return bits;
}

void sync_directory(const std::string& path) {
    // Makes the rename itself survive a crash; a directory we may not read
    // cannot be synced, and the rename stands all the same.
    Descriptor directory(::open(directory_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0) ::fsync(directory.get());
}

// A temporary file beside the manifest; removed again unless renamed.
class Replacement {
public:
    explicit Replacement(const std::string& path) : path_(path), temporary_(temporary_name(path)) {}
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;
    ~Replacement() { discard(); }

    // 0, or the error number. The file is private from its first byte: the
    // text may hold tokens that only the manifest's readers may see.
    int create() {
        file_.reset(::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (file_.get() < 0) return errno;
        created_ = true;
        return 0;
    }

    errors::Status write(std::string_view text, mode_t mode) {
        if (auto written = write_all(file_.get(), text); !written) return written;
        // A failed fchmod leaves the file narrower than intended, never wider.
        ::fchmod(file_.get(), mode);
        if (::fsync(file_.get()) != 0) return ConfigError(ErrorKind::FileWrite, os_error(errno));
        file_.close();
        return errors::success();
    }

    // 0, or the error number.
    int rename() {
        if (::rename(temporary_.c_str(), path_.c_str()) != 0) return errno;
        created_ = false;
        return 0;
    }

    void discard() {
        file_.close();
        if (created_) ::unlink(temporary_.c_str());
        created_ = false;
    }

private:
    const std::string& path_;
    std::string temporary_;
    Descriptor file_;
    bool created_ = false;
};

bool cannot_reserve(int error) { return error == EOPNOTSUPP || error == ENOSYS || error == EINVAL; }

// Rewrites the locked file itself. Space for the whole text is reserved
// first where the file system can, so that a full disk fails before the
// old text is touched; a crash meanwhile can leave a partial manifest.
errors::Status rewrite_in_place(const std::string& path, const LockedManifest& locked, std::string_view text) {
    Descriptor file(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info {};
    if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || !same_file(info, locked.info)) {
        return ConfigError(ErrorKind::FileNotFound, path);
    }
    const auto size = static_cast<off_t>(text.size());
    if (::fallocate(file.get(), FALLOC_FL_KEEP_SIZE, 0, size) != 0 && !cannot_reserve(errno)) {
        return ConfigError(ErrorKind::FileWrite, os_error(errno));
    }
    if (auto written = write_all(file.get(), text); !written) return written;
    if (::ftruncate(file.get(), size) != 0 || ::fsync(file.get()) != 0) {
        return ConfigError(ErrorKind::FileWrite, os_error(errno));
    }
    return errors::success();
}

bool refused_by_directory(int error) { return error == EACCES || error == EPERM; }
bool refused_by_mount(int error) { return error == EBUSY || error == EXDEV; }

errors::Status store(const std::string& path, const LockedManifest& locked, std::string_view text) {
    Replacement replacement(path);
    if (const int error = replacement.create(); error != 0) {
        if (refused_by_directory(error)) return rewrite_in_place(path, locked, text);
        return ConfigError(ErrorKind::FileNotFound, path);
    }
    if (auto written = replacement.write(text, kept_mode(path, locked.info)); !written) return written;
    if (const int error = replacement.rename(); error != 0) {
        if (!refused_by_mount(error)) return ConfigError(ErrorKind::FileWrite, os_error(error));
        replacement.discard();
        return rewrite_in_place(path, locked, text);
    }
    sync_directory(path);
    return errors::success();
}

errors::Result<std::string> updated_text(const LockedManifest& locked, const std::string& path,
                                         const ReaderConfig& reader, const std::string& reader_id) {
    auto text = read_text(locked.file.get(), path);
    if (!text) return std::move(text.error());
    auto document = yaml::read_document_map<ManifestConfig>(std::move(text.value()), {product_key, std::nullopt});
    if (!document) return std::move(document.error());
    auto entry = document.value().find(std::string(product_key));
    if (entry == document.value().end()) {
        return ConfigError(ErrorKind::Serialization, std::string(message::no_product_key));
    }
    entry->second.readers_config.insert_or_assign(reader_id, reader);
    return yaml::write_document_map(document.value());
}

}  // namespace

int wait_for_lock(int fd) {
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) return errno;
    }
    return 0;
}

errors::Status add_to_manifest_yaml(const ReaderConfig& reader, const std::string& path,
                                    const std::string& reader_id, const LockWait& wait) {
    auto locked = lock_manifest(path, wait);
    if (!locked) return std::move(locked.error());
    auto text = updated_text(locked.value(), path, reader, reader_id);
    if (!text) return std::move(text.error());
    remove_stale_temporaries(path);
    return store(path, locked.value(), text.value());
}

}  // namespace brintel::schema
