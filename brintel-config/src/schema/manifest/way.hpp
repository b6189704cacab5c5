// How an update commits the new text, chosen from what is known about the
// manifest, its path and its directory before the first byte is written.
//
// Plain data and one plain function, so that the choice can be checked
// without a file system: facts.cpp gathers the facts, update.cpp acts on
// the choice.
#pragma once

#include <cstdint>
#include <limits>

namespace brintel::schema {

// What stands at the manifest's path.
enum class PathKind {
    File,            // the manifest itself
    Link,            // a symbolic link to it
    DescriptorLink,  // /proc's link to an open file (/dev/fd/N), or a link to one (/dev/stdin)
};

// The steps of a replacement at which the system can refuse what the facts
// did not foresee.
enum class Step { None, Create, Owner, Attributes, Rename };

struct Failure {
    Step step = Step::None;
    int error = 0;
};

struct StoreFacts {
    std::uint64_t text_bytes = 0;
    std::uint64_t file_size_limit = std::numeric_limits<std::uint64_t>::max();  // RLIMIT_FSIZE
    PathKind path = PathKind::File;
    int write_refused = 0;      // 0 when the manifest is open for writing, else why it is not
    bool owner_givable = true;  // a new file can be given the manifest's owner and group
    // Whether the manifest's name can be given to a new file in its directory.
    bool directory_writable = true;      // the caller may add files to it (a read-only mount may not)
    bool directory_append_only = false;  // chattr +a or +i: no name in it can be replaced or removed
    bool sticky_not_ours = false;        // sticky, and neither it nor the name at the path is the caller's
    bool mount_point = false;            // the manifest is mounted on its own
    bool name_fits = true;               // the temporary file's path is shorter than PATH_MAX
    Failure failed{};                    // what the last attempted replacement met
};

enum class Way {
    Replace,          // a new file with the manifest's owner, group, attributes and mode, renamed over it
    ReplaceAsCaller,  // the same, but the caller's own: the owner cannot be given
    InPlace,          // the manifest's own file rewritten through the locked descriptor
    Refuse,           // nothing written; `error` says why
    TooLarge,         // nothing written: the text is larger than a manifest may be
};

struct Decision {
    Way way;
    int error = 0;
};

// After a failed replacement (`facts.failed`) the choice is never the same
// replacement again: a refused owner leads to the caller's own file, any
// other failure to in place or a refusal, so an update tries at most two
// replacements.
Decision choose_way(const StoreFacts& facts);

}  // namespace brintel::schema
