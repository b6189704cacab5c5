// Storing a reader into a manifest without ever losing the manifest.
//
// The new text is produced in full, written to a fresh file beside the
// manifest, synced, and renamed over it, so a reader of the manifest sees
// either the old or the new content and a failure leaves the old one as it
// was. Updates of the same directory are serialised by a lock on the
// directory, which a rename does not affect.
#include "manifest.hpp"

#include "descriptor.hpp"

#include "../yaml/read.hpp"
#include "../yaml/write.hpp"
#include "yaml/messages.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <uuid/uuid.h>

#include <cerrno>
#include <cstring>

namespace brintel::schema {
namespace {

using errors::ConfigError;
using errors::ErrorKind;

// Held for the whole read-modify-write; released by closing.
class DirectoryLock {
public:
    explicit DirectoryLock(const std::string& directory)
        : fd_(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_.get() < 0) return;  // unreadable directory: go on unserialised
        while (::flock(fd_.get(), LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    int fd() const { return fd_.get(); }

private:
    Descriptor fd_;
};

// The system's description of an error number and the number itself.
std::string os_error(int code) {
    char buffer[256];
    const char* text = ::strerror_r(code, buffer, sizeof buffer);
    return std::string(text) + " (os error " + std::to_string(code) + ")";
}

std::string directory_of(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string temporary_name(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string base = path.substr(slash == std::string::npos ? 0 : slash + 1).substr(0, 128);
    uuid_t uuid;
    uuid_generate_random(uuid);
    char text[37];
    uuid_unparse_lower(uuid, text);
    const std::string directory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    return directory + "." + base + "." + text + ".tmp";
}

// The permission bits of the regular file at `path`, if one stands there;
// a link or a missing file leaves the creation mode to the umask.
std::optional<mode_t> kept_mode(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return info.st_mode & 0777;
}

errors::Status write_all(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return ConfigError(ErrorKind::FileWrite, os_error(errno));
        }
        if (written == 0) return ConfigError(ErrorKind::FileWrite, "failed to write whole buffer");
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return errors::success();
}

// A temporary file beside the manifest; removed again unless committed.
class Replacement {
public:
    explicit Replacement(const std::string& path) : path_(path), temporary_(temporary_name(path)) {}
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;
    ~Replacement() {
        if (created_ && !committed_) ::unlink(temporary_.c_str());
    }

    errors::Status create() {
        const int fd = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) return ConfigError(ErrorKind::FileNotFound, path_);
        created_ = true;
        file_.reset(fd);
        if (const auto mode = kept_mode(path_)) ::fchmod(fd, *mode);
        return errors::success();
    }

    errors::Status write(std::string_view text) {
        auto written = write_all(file_.get(), text);
        if (!written) return written;
        if (::fsync(file_.get()) != 0) return ConfigError(ErrorKind::FileWrite, os_error(errno));
        file_.close();
        return errors::success();
    }

    errors::Status commit(int directory_fd) {
        if (::rename(temporary_.c_str(), path_.c_str()) != 0) {
            return ConfigError(ErrorKind::FileWrite, os_error(errno));
        }
        committed_ = true;
        // The rename itself must survive a crash too.
        if (directory_fd >= 0) ::fsync(directory_fd);
        return errors::success();
    }

private:
    const std::string& path_;
    std::string temporary_;
    Descriptor file_;
    bool created_ = false;
    bool committed_ = false;
};

errors::Result<std::string> updated_text(const std::string& path, const ReaderConfig& reader,
                                         const std::string& reader_id) {
    auto text = read_text_file(path);
    if (!text) return std::move(text.error());
    auto document = yaml::read_document_map<ManifestConfig>(std::move(text.value()), {product_key, std::nullopt});
    if (!document) return std::move(document.error());
    auto entry = document.value().find(std::string(product_key));
    if (entry == document.value().end()) {
        return ConfigError(ErrorKind::Serialization, std::string(yaml::message::no_product_key));
    }
    entry->second.readers_config.insert_or_assign(reader_id, reader);
    return yaml::write_document_map(document.value());
}

}  // namespace

errors::Status add_to_manifest_yaml(const ReaderConfig& reader, const std::string& path,
                                    const std::string& reader_id) {
    DirectoryLock lock(directory_of(path));
    auto text = updated_text(path, reader, reader_id);
    if (!text) return std::move(text.error());
    Replacement replacement(path);
    if (auto created = replacement.create(); !created) return created;
    if (auto written = replacement.write(text.value()); !written) return written;
    return replacement.commit(lock.fd());
}

}  // namespace brintel::schema
