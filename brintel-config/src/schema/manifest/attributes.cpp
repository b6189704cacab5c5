#include "schema/manifest/attributes.hpp"

#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

namespace brintel::schema {
namespace {

// Fills `out` with what `query(buffer, size)` gives, asking for the size
// first and again when the value grew meanwhile. 0, or the error number.
template <class Query>
int read_sized(const Query& query, std::vector<char>& out) {
    for (;;) {
        const ssize_t size = query(nullptr, 0);
        if (size < 0) return errno;
        out.resize(static_cast<std::size_t>(size));
        const ssize_t got = query(out.data(), out.size());
        if (got >= 0) {
            out.resize(static_cast<std::size_t>(got));
            return 0;
        }
        if (errno != ERANGE) return errno;
    }
}

bool unsupported(int error) { return error == ENOTSUP || error == ENOSYS; }

int list_names(int fd, std::vector<char>& out) {
    return read_sized([&](char* buffer, std::size_t size) { return ::flistxattr(fd, buffer, size); }, out);
}

// The list is a run of NUL-terminated names.
std::vector<std::string_view> names_in(const std::vector<char>& listed) {
    std::vector<std::string_view> names;
    for (std::size_t at = 0; at < listed.size(); at += names.back().size() + 1) {
        names.emplace_back(listed.data() + at);
    }
    return names;
}

bool is_security_label(std::string_view name) { return name.starts_with("security."); }

int copy_attribute(int from, int to, const char* name) {
    std::vector<char> value;
    const int error = read_sized([&](char* buffer, std::size_t size) { return ::fgetxattr(from, name, buffer, size); },
                                 value);
    if (error == ENODATA) return 0;  // removed meanwhile
    if (error != 0) return error;
    if (::fsetxattr(to, name, value.data(), value.size(), 0) == 0 || is_security_label(name)) return 0;
    return errno;
}

// What the new file got that the manifest has not: the access ACL that a
// directory's default ACL gives every new file in it, which would let in
// whoever it names.
int remove_others(int to, const std::vector<std::string_view>& kept) {
    std::vector<char> listed;
    if (const int error = list_names(to, listed); error != 0) return unsupported(error) ? 0 : error;
    for (const std::string_view name : names_in(listed)) {
        if (is_security_label(name) || std::find(kept.begin(), kept.end(), name) != kept.end()) continue;
        if (::fremovexattr(to, name.data()) != 0 && errno != ENODATA) return errno;
    }
    return 0;
}

}  // namespace

int keep_owner(int to, const struct stat& from) {
    struct stat current {};
    if (::fstat(to, &current) != 0) return errno;
    if (current.st_uid == from.st_uid && current.st_gid == from.st_gid) return 0;
    return ::fchown(to, from.st_uid, from.st_gid) == 0 ? 0 : errno;
}

int copy_extended_attributes(int from, int to) {
    std::vector<char> listed;
    if (const int error = list_names(from, listed); error != 0) return unsupported(error) ? 0 : error;
    const auto kept = names_in(listed);
    for (const std::string_view name : kept) {
        if (const int failed = copy_attribute(from, to, name.data()); failed != 0) return failed;
    }
    return remove_others(to, kept);
}

}  // namespace brintel::schema
