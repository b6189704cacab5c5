#include "schema/manifest/uuid.hpp"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <system_error>

namespace brintel::schema {
namespace {

// Seccomp profiles of older container runtimes refuse getrandom(2) with
// ENOSYS or EPERM; the device gives the same pool.
bool fill_from_device(UuidBytes& bytes) {
    const int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = ::read(fd, bytes.data() + filled, bytes.size() - filled);
        if (got > 0) {
            filled += static_cast<std::size_t>(got);
        } else if (got == 0 || errno != EINTR) {
            break;
        }
    }
    const int error = errno;
    ::close(fd);
    errno = error;
    return filled == bytes.size();
}

// Blocks only until the kernel's pool is first seeded, early in boot.
void fill_random(UuidBytes& bytes) {
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = ::getrandom(bytes.data() + filled, bytes.size() - filled, 0);
        if (got > 0) {
            filled += static_cast<std::size_t>(got);
        } else if (errno == ENOSYS || errno == EPERM) {
            if (fill_from_device(bytes)) return;
            break;
        } else if (errno != EINTR) {
            break;
        }
    }
    if (filled < bytes.size()) throw std::system_error(errno, std::generic_category(), "no random bytes for a UUID");
}

}  // namespace

std::string uuid_v4_text(UuidBytes random) {
    random[6] = static_cast<std::uint8_t>((random[6] & 0x0f) | 0x40);
    random[8] = static_cast<std::uint8_t>((random[8] & 0x3f) | 0x80);
    static constexpr char hex[] = "0123456789abcdef";
    std::string text;
    text.reserve(36);
    for (std::size_t i = 0; i < random.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
        text += hex[random[i] >> 4];
        text += hex[random[i] & 0x0f];
    }
    return text;
}

std::string new_uuid() {
    UuidBytes bytes;
    fill_random(bytes);
    return uuid_v4_text(bytes);
}

}  // namespace brintel::schema
