#include "schema/manifest/file_access.hpp"

#include "schema/manifest/messages.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>

namespace brintel::schema {
namespace {

using errors::ConfigError;
using errors::ErrorKind;


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

// One read, repeated when a signal interrupts it. With `waiting`, the read
// may block for as long as a writer likes, and a signal that asks to give
// up ends it: -1 then, as on failure.
ssize_t read_some(int fd, char* buffer, std::size_t size, const Waiting* waiting) {
    for (;;) {
        ssize_t got = 0;
        if (waiting) {
            // A signal that came before the read would not interrupt it.
            if (waiting->interrupted()) {
                errno = EINTR;
                return -1;
            }
            got = waiting->blocking([&] { return static_cast<long>(::read(fd, buffer, size)); });
        } else {
            got = ::read(fd, buffer, size);
        }
        if (got >= 0 || errno != EINTR) return got;
    }
}

// Straight into the text, which has room for one byte more than the file
// had when it was opened: a read that fills that byte finds a file that grew,
// and the text grows with it. Never more than one byte past the limit is kept.
ReadOutcome read_file(int fd, std::uint64_t size, std::uint64_t limit, std::string& out) {
    if (size > limit) return ReadOutcome::TooLarge;
    std::uint64_t total = 0;
    out.resize(static_cast<std::size_t>(size) + 1);
    for (;;) {
        if (total == out.size()) {
            const std::uint64_t room = std::max<std::uint64_t>(total, std::uint64_t{1} << 16);
            out.resize(static_cast<std::size_t>(std::min(total + room, limit + 1)));
        }
        const ssize_t got = read_some(fd, out.data() + total, out.size() - total, nullptr);
        if (got <= 0) {
            out.resize(static_cast<std::size_t>(total));
            return got == 0 ? ReadOutcome::Complete : ReadOutcome::Failed;
        }
        total += static_cast<std::uint64_t>(got);
        if (total > limit) return ReadOutcome::TooLarge;
    }
}

// A pipe's size is known only at its end, so it is gathered in blocks: one
// that proves too large has cost no more than the limit, and one that fits
// is joined into one text, each block freed as soon as it is copied.
ReadOutcome read_stream(int fd, std::uint64_t limit, std::string& out, const Waiting& waiting) {
    constexpr std::size_t block_size = std::size_t{1} << 20;
    struct Block {
        std::unique_ptr<char[]> bytes{new char[block_size]};
        std::size_t used = 0;
    };
    std::deque<Block> blocks;
    std::uint64_t total = 0;
    for (;;) {
        if (blocks.empty() || blocks.back().used == block_size) blocks.emplace_back();
        Block& block = blocks.back();
        const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(block_size - block.used, limit + 1 - total));
        const ssize_t got = read_some(fd, block.bytes.get() + block.used, wanted, &waiting);
        if (got == 0) break;
        if (got < 0) return ReadOutcome::Failed;
        block.used += static_cast<std::size_t>(got);
        total += static_cast<std::uint64_t>(got);
        if (total > limit) return ReadOutcome::TooLarge;
    }
    out.reserve(static_cast<std::size_t>(total));
    for (; !blocks.empty(); blocks.pop_front()) out.append(blocks.front().bytes.get(), blocks.front().used);
    return ReadOutcome::Complete;
}

}  // namespace

std::string system_reason(int code) {
    char buffer[256];
    return ::strerror_r(code, buffer, sizeof buffer);
}

std::string os_error(int code) { return message::os_error(system_reason(code), code); }

OpenFile open_for_reading(const std::string& path, Accept accept) {
    const auto refused = [](std::string why) { return OpenFile{Descriptor(), {}, std::move(why)}; };
    // No file has a name with a NUL in it; the system would see a shorter one.
    if (path.find('\0') != std::string::npos) return refused(std::string(message::name_with_nul));
    OpenFile opened{open_nonblocking(path)};
    if (opened.file.get() < 0 || ::fstat(opened.file.get(), &opened.info) != 0) return refused(system_reason(errno));
    if (S_ISDIR(opened.info.st_mode)) return refused(system_reason(EISDIR));
    if (!acceptable(opened.info, accept)) return refused(std::string(message::not_a_file));
    if (S_ISFIFO(opened.info.st_mode) && !block_on_pipe(opened.file.get())) return refused(system_reason(errno));
    return opened;
}

errors::Result<OpenFile> open_manifest(const std::string& path, Accept accept) {
    OpenFile opened = open_for_reading(path, accept);
    if (!opened.failure.empty()) return ConfigError(ErrorKind::FileNotFound, path);
    return opened;
}

ReadOutcome read_all(int fd, const struct stat& info, std::uint64_t limit, std::string& out,
                     const Waiting& waiting) {
    if (S_ISREG(info.st_mode)) return read_file(fd, static_cast<std::uint64_t>(info.st_size), limit, out);
    return read_stream(fd, limit, out, waiting);
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

std::optional<std::string> system_file_text(const std::string& path) {
    const OpenFile opened = open_for_reading(path, Accept::RegularFile);
    std::string text;
    if (!opened.failure.empty() ||
        read_all(opened.file.get(), opened.info, 1 << 16, text, plain_waiting()) != ReadOutcome::Complete) {
        return std::nullopt;
    }
    return text;
}

}  // namespace brintel::schema
