// Storing a reader into a manifest without ever losing the manifest, an
// update, or who may read and write it.
//
// Updates of one manifest are serialised by an exclusive lock on the file
// itself; an update that cannot take it fails rather than go on unlocked.
// The new text is produced in full before anything is written, and then
// committed in the way that way.hpp chooses from facts gathered beforehand:
// as a private file beside the manifest, given the manifest's owner, group,
// extended attributes (its ACL among them) and mode, synced and renamed over
// it, so that a reader sees either the old or the new content and a failure
// leaves the old one as it was; or, where the name cannot be given to a new
// file or the owner cannot be given to it, by rewriting the manifest's own
// file in place, which keeps its inode and everything on it. A step of the
// replacement that the system refuses although the facts did not foresee it
// is one more fact for the same choice.
#include "schema/manifest/manifest.hpp"

#include "schema/manifest/attributes.hpp"
#include "schema/manifest/facts.hpp"
#include "schema/manifest/file_access.hpp"
#include "schema/manifest/lock.hpp"
#include "schema/manifest/replacement.hpp"
#include "schema/manifest/way.hpp"

#include "yaml/messages.hpp"
#include "yaml/read.hpp"
#include "yaml/write.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

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

class Store {
public:
    Store(const std::string& path, const ManifestLock& lock, std::string_view text, const Waiting& waiting)
        : path_(path), lock_(lock), text_(text), waiting_(waiting), replacement_(path),
          facts_(gather_facts(path, lock, replacement_, text.size())) {}

    // choose_way never repeats a failed replacement: two at the most.
    errors::Status run() {
        for (;;) {
            const Decision decision = choose_way(facts_);
            switch (decision.way) {
            case Way::TooLarge:
                return ConfigError(ErrorKind::Serialization, yaml::message::too_large());
            case Way::Refuse:
                return write_error(decision.error);
            case Way::InPlace:
                return rewrite_in_place(lock_, text_, waiting_);
            case Way::Replace:
            case Way::ReplaceAsCaller:
                if (auto outcome = replace(decision.way)) return std::move(*outcome);
            }
        }
    }

private:
    // The update's outcome, or nothing when the system refused a step that
    // leaves another way open; that refusal is then a fact for the choice.
    std::optional<errors::Status> replace(Way way) {
        if (const int error = replacement_.create(); error != 0) return refused(Step::Create, error);
        if (way == Way::Replace) {
            if (const int error = keep_owner(replacement_.fd(), lock_.info()); error != 0) {
                return refused(Step::Owner, error);
            }
        }
        if (auto written = replacement_.write(text_); !written) return written;
        if (const int error = copy_extended_attributes(lock_.fd(), replacement_.fd()); error != 0) {
            return refused(Step::Attributes, error);
        }
        const bool replaces_link = facts_.path != PathKind::File;
        if (auto finished = replacement_.finish(kept_mode(lock_.info(), replaces_link)); !finished) return finished;
        if (const int error = lock_.still_held(waiting_); error != 0) return write_error(error);
        if (const int error = replacement_.rename(); error != 0) return refused(Step::Rename, error);
        sync_directory(path_);
        return errors::success();
    }

    std::nullopt_t refused(Step step, int error) {
        replacement_.discard();
        facts_.failed = {step, error};
        return std::nullopt;
    }

    const std::string& path_;
    const ManifestLock& lock_;
    std::string_view text_;
    const Waiting& waiting_;
    Replacement replacement_;
    StoreFacts facts_;  // declared after replacement_, whose name it looks at
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
