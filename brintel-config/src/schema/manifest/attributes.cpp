#include "schema/manifest/attributes.hpp"

#include <sys/xattr.h>
#include <unistd.h>

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

}  // namespace

int keep_owner(int to, const struct stat& from) {
    struct stat current {};
    if (::fstat(to, &current) != 0) return errno;
    if (current.st_uid == from.st_uid && current.st_gid == from.st_gid) return 0;
    return ::fchown(to, from.st_uid, from.st_gid) == 0 ? 0 : errno;
}

int copy_extended_attributes(int from, int to) {
    std::vector<char> names;
    const int error =
        read_sized([&](char* buffer, std::size_t size) { return ::flistxattr(from, buffer, size); }, names);
    if (unsupported(error)) return 0;
    if (error != 0) return error;
    // The list is a run of NUL-terminated names.
    for (std::size_t at = 0; at < names.size(); at += std::strlen(names.data() + at) + 1) {
        if (const int failed = copy_attribute(from, to, names.data() + at); failed != 0) return failed;
    }
    return 0;
}

}  // namespace brintel::schema
