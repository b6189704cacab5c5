#include "schema/manifest/facts.hpp"

#include "schema/manifest/file_access.hpp"

#include <fcntl.h>
#include <linux/capability.h>
#include <linux/magic.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <limits>
#include <vector>

// Older C libraries' headers lack the newer attributes; the kernel's values.
#ifndef STATX_ATTR_MOUNT_ROOT
#define STATX_ATTR_MOUNT_ROOT 0x2000
#endif

namespace brintel::schema {
namespace {

// The id that the kernel shows for one that the user namespace does not
// map (/proc/sys/kernel/overflowuid, which nothing changes in practice).
constexpr std::uint32_t overflow_id = 65534;

struct Entry {
    struct statx info {};
    bool known = false;
};

Entry describe(const std::string& path, int flags) {
    Entry entry;
    entry.known = ::statx(AT_FDCWD, path.c_str(), flags, STATX_TYPE | STATX_MODE | STATX_UID | STATX_GID,
                          &entry.info) == 0;
    return entry;
}

bool has_attribute(const Entry& entry, std::uint64_t attribute) {
    return entry.known && (entry.info.stx_attributes_mask & attribute) && (entry.info.stx_attributes & attribute);
}

bool has_capability(unsigned capability) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, data) != 0) return false;
    return (data[capability / 32].effective >> (capability % 32)) & 1;
}

bool on_procfs(const std::string& directory) {
    struct statfs info {};
    return ::statfs(directory.c_str(), &info) == 0 && info.f_type == PROC_SUPER_MAGIC;
}

// /proc's links to open files cannot be replaced, nor can a link to one
// (/dev/stdin) usefully be; one step of links is followed, no more.
bool is_descriptor_link(const std::string& path) {
    if (on_procfs(directory_of(path))) return true;
    char target[PATH_MAX];
    const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
    if (length <= 0 || static_cast<std::size_t>(length) == sizeof target) return false;
    std::string resolved(target, static_cast<std::size_t>(length));
    if (resolved.front() != '/') resolved = directory_of(path) + "/" + resolved;
    return on_procfs(directory_of(resolved));
}

PathKind path_kind(const std::string& path, const Entry& entry) {
    if (!entry.known || !S_ISLNK(entry.info.stx_mode)) return PathKind::File;
    return is_descriptor_link(path) ? PathKind::DescriptorLink : PathKind::Link;
}

std::uint64_t file_size_limit() {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    return limit.rlim_cur;
}

// The initial namespace maps every id to itself, in one line that the
// kernel prints as "%10u %10u %10u\n". One whose map cannot be read counts
// as another.
bool in_initial_user_namespace() {
    const auto map = system_file_text("/proc/self/uid_map");
    return map && *map == "         0          0 4294967295\n";
}

bool in_groups(gid_t group) {
    if (group == ::getegid()) return true;
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
    const int count = ::getgroups(static_cast<int>(groups.size()), groups.data());
    groups.resize(static_cast<std::size_t>(std::max(count, 0)));
    return std::find(groups.begin(), groups.end(), group) != groups.end();
}

// Whether the caller can give a new file in `directory` the manifest's
// owner and group, as fchown would: its own ids need nothing, its own
// groups need no privilege, anything else needs CAP_CHOWN. In a user
// namespace an id shown as the overflow id may be one the namespace cannot
// map, and giving it would give the file to the namespace's own nobody.
bool owner_givable(const struct stat& manifest, const Entry& directory) {
    const bool inherits_group = directory.known && (directory.info.stx_mode & S_ISGID);
    const gid_t new_group = inherits_group ? directory.info.stx_gid : ::getegid();
    const bool other_owner = manifest.st_uid != ::geteuid();
    const bool other_group = manifest.st_gid != new_group;
    if (!other_owner && !other_group) return true;
    const bool maybe_unmapped =
        (other_owner && manifest.st_uid == overflow_id) || (other_group && manifest.st_gid == overflow_id);
    if (maybe_unmapped && !in_initial_user_namespace()) return false;
    return has_capability(CAP_CHOWN) || (!other_owner && in_groups(manifest.st_gid));
}

// In a sticky directory only the owner of a name, of the directory, or a
// holder of CAP_FOWNER may rename over it.
bool sticky_not_ours(const Entry& directory, const Entry& entry) {
    if (!directory.known || !entry.known || !(directory.info.stx_mode & S_ISVTX)) return false;
    const uid_t caller = ::geteuid();
    return caller != directory.info.stx_uid && caller != entry.info.stx_uid && !has_capability(CAP_FOWNER);
}

// Only EACCES and EROFS say the directory takes no new file: a sandbox
// that refuses the call itself (EPERM, ENOSYS) says nothing about it.
bool directory_writable(const std::string& directory) {
    if (::faccessat(AT_FDCWD, directory.c_str(), W_OK | X_OK, AT_EACCESS) == 0) return true;
    return errno != EACCES && errno != EROFS;
}

}  // namespace

StoreFacts gather_facts(const std::string& path, const ManifestLock& lock, const Replacement& replacement,
                        std::size_t text_bytes) {
    const std::string directory = directory_of(path);
    const Entry entry = describe(path, AT_SYMLINK_NOFOLLOW);
    const Entry folder = describe(directory, 0);
    StoreFacts facts;
    facts.text_bytes = text_bytes;
    facts.file_size_limit = file_size_limit();
    facts.path = path_kind(path, entry);
    facts.write_refused = lock.write_refused();
    facts.owner_givable = owner_givable(lock.info(), folder);
    facts.directory_writable = directory_writable(directory);
    facts.directory_append_only =
        has_attribute(folder, STATX_ATTR_APPEND) || has_attribute(folder, STATX_ATTR_IMMUTABLE);
    facts.sticky_not_ours = sticky_not_ours(folder, entry);
    facts.mount_point = has_attribute(entry, STATX_ATTR_MOUNT_ROOT);
    facts.name_fits = replacement.name_fits();
    return facts;
}

}  // namespace brintel::schema
