#include "file_access.hpp"

#include "messages.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace brintel::schema {
namespace {

using errors::ConfigError;
using errors::ErrorKind;

// One byte more than a manifest may hold, so the YAML layer sees that it is
// too large; nothing beyond is kept.
constexpr std::uint64_t read_limit = (std::uint64_t{1} << 32) + 1;

Descriptor open_nonblocking(const std::string& path) {
    return Descriptor(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
}

bool acceptable(const struct stat& info, Accept accept) {
    return S_ISREG(info.st_mode) || (accept == Accept::RegularFileOrPipe && S_ISFIFO(info.st_mode));
}

// A pipe is read with blocking, as a pipe should be, once it is open; the
// open itself did not wait, so a named pipe without a writer reads as empty
// rather than hanging.
bool block_on_pipe(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

}  // namespace

std::string os_error(int code) {
    char buffer[256];
    const char* text = ::strerror_r(code, buffer, sizeof buffer);
    return message::os_error(text, code);
}

errors::Result<Descriptor> open_manifest(const std::string& path, Accept accept) {
    // No file has a name with a NUL in it; the system would see a shorter one.
    if (path.find('\0') != std::string::npos) return ConfigError(ErrorKind::FileNotFound, path);
    Descriptor file = open_nonblocking(path);
    struct stat info {};
    if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || !acceptable(info, accept)) {
        return ConfigError(ErrorKind::FileNotFound, path);
    }
    if (S_ISFIFO(info.st_mode) && !block_on_pipe(file.get())) return ConfigError(ErrorKind::FileNotFound, path);
    return file;
}

bool read_all(int fd, std::string& out) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) return false;
    if (S_ISREG(info.st_mode) && static_cast<std::uint64_t>(info.st_size) < read_limit) {
        out.reserve(static_cast<std::size_t>(info.st_size));
    }
    char buffer[1 << 16];
    while (out.size() < read_limit) {
        const std::size_t wanted = static_cast<std::size_t>(
            std::min<std::uint64_t>(sizeof buffer, read_limit - out.size()));
        const ssize_t got = ::read(fd, buffer, wanted);
        if (got == 0) return true;
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        out.append(buffer, static_cast<std::size_t>(got));
    }
    return true;
}

errors::Status write_all(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return ConfigError(ErrorKind::FileWrite, os_error(errno));
        }
        if (written == 0) return ConfigError(ErrorKind::FileWrite, std::string(message::write_incomplete));
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return errors::success();
}

bool same_file(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace brintel::schema
