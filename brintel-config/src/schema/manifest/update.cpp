// Storing a reader into a manifest without ever losing the manifest, an
// update, or who may read and write it.
//
// Updates of one manifest are serialised by an exclusive lock on the file
// itself; an update that cannot take it fails rather than go on unlocked.
// The new text is produced in full, written to a private file beside the
// manifest, given the manifest's owner, group, extended attributes (its ACL
// among them) and mode, synced, and renamed over it: a reader of the
// manifest sees either the old or the new content, and a failure leaves the
// old one as it was. Where that replacement is refused (the directory takes
// no new file, is read-only or sticky, the path cannot be renamed over) or
// could not carry the owner or the attributes, the file is rewritten in
// place instead, which keeps its inode and everything on it.
#include "schema/manifest/manifest.hpp"

#include "schema/manifest/attributes.hpp"
#include "schema/manifest/file_access.hpp"
#include "schema/manifest/lock.hpp"
#include "schema/manifest/replacement.hpp"

#include "yaml/read.hpp"
#include "yaml/write.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace brintel::schema {
namespace {

using errors::ConfigError;
using errors::ErrorKind;

ConfigError write_error(int error) { return ConfigError(ErrorKind::FileWrite, os_error(error)); }

bool cannot_reserve(int error) { return error == EOPNOTSUPP || error == ENOSYS || error == EINVAL; }

// Rewrites the locked file itself. Space for the whole text is reserved
// first where the file system can, so that a full disk fails before the
// old text is touched; a crash or an I/O error meanwhile can leave a partial
// manifest, or the new text not yet synced.
errors::Status rewrite_in_place(const ManifestLock& lock, std::string_view text, const Waiting& waiting) {
    if (const int error = lock.still_held(waiting); error != 0) return write_error(error);
    const int fd = lock.fd();
    const auto size = static_cast<off_t>(text.size());
    if (::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, size) != 0 && !cannot_reserve(errno)) return write_error(errno);
    // The text was read through this descriptor.
    if (::lseek(fd, 0, SEEK_SET) != 0) return write_error(errno);
    if (auto written = write_all(fd, text); !written) return written;
    if (::ftruncate(fd, size) != 0 || ::fsync(fd) != 0) return write_error(errno);
    return errors::success();
}

// Errors that say the manifest cannot be replaced here, but may well be
// rewritten: a directory that takes no new file (another user's, a
// read-only root with the manifest mounted writable on it, a name too long
// for a sibling), a sticky directory, a path that is a mount point.
bool replacement_refused(int error) {
    return error == EACCES || error == EPERM || error == EROFS || error == ENAMETOOLONG || error == EBUSY ||
           error == EXDEV;
}

class Store {
public:
    Store(const std::string& path, const ManifestLock& lock, std::string_view text, const Waiting& waiting)
        : path_(path), lock_(lock), text_(text), waiting_(waiting), replacement_(path), replaces_link_(is_link(path)) {}

    errors::Status run() {
        if (const int error = replacement_.create(); error != 0) return refused(error);
        if (const int error = keep_owner(replacement_.fd(), lock_.info()); error != 0) {
            if (error != EPERM) return write_error(error);
            // Another user's file, which this caller cannot give away, is
            // rewritten in place where it can be. Where it cannot, or where
            // it is a link's target, which is left alone, the caller's own
            // file replaces it, as a removal and new file would.
            if (!replaces_link_ && lock_.write_refused() == 0) return in_place();
        }
        if (auto written = replacement_.write(text_); !written) return written;
        if (const int error = copy_extended_attributes(lock_.fd(), replacement_.fd()); error != 0) {
            return in_place_if_writable();
        }
        if (auto finished = replacement_.finish(kept_mode(lock_.info(), replaces_link_)); !finished) return finished;
        if (const int error = lock_.still_held(waiting_); error != 0) return write_error(error);
        if (const int error = replacement_.rename(); error != 0) return refused(error);
        sync_directory(path_);
        return errors::success();
    }

private:
    errors::Status refused(int error) {
        if (!replacement_refused(error)) return write_error(error);
        return in_place_if_writable();
    }

    // In place, where the file is open for writing. Where it is not, that
    // refusal is what stopped the last way left, and what the caller hears.
    errors::Status in_place_if_writable() {
        if (const int refusal = lock_.write_refused(); refusal != 0) return write_error(refusal);
        return in_place();
    }

    errors::Status in_place() {
        replacement_.discard();
        return rewrite_in_place(lock_, text_, waiting_);
    }

    const std::string& path_;
    const ManifestLock& lock_;
    std::string_view text_;
    const Waiting& waiting_;
    Replacement replacement_;
    bool replaces_link_;
};

errors::Result<std::string> updated_text(const ManifestLock& lock, const std::string& path,
                                         const ReaderConfig& reader, const std::string& reader_id) {
    auto text = read_text(lock.fd(), lock.info(), path, plain_waiting());
    if (!text) return std::move(text.error());
    auto document = yaml::read_document_map<ManifestConfig>(std::move(text.value()), {product_key, std::nullopt});
    if (!document) return std::move(document.error());
    auto entry = product_entry_in(document.value());
    if (!entry) return std::move(entry.error());
    entry.value()->readers_config.insert_or_assign(reader_id, reader);
    return yaml::write_document_map(document.value());
}

}  // namespace

errors::Status add_to_manifest_yaml(const ReaderConfig& reader, const std::string& path,
                                    const std::string& reader_id, const Waiting& waiting) {
    auto lock = ManifestLock::take(path, waiting);
    if (!lock) return std::move(lock.error());
    auto text = updated_text(lock.value(), path, reader, reader_id);
    if (!text) return std::move(text.error());
    remove_stale_temporaries(path);
    return Store(path, lock.value(), text.value(), waiting).run();
}

}  // namespace brintel::schema
