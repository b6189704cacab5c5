#include "schema/manifest/lock.hpp"

#include "schema/manifest/file_access.hpp"

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <vector>

namespace brintel::schema {
namespace {

using errors::ConfigError;
using errors::ErrorKind;

// The descriptors on which this process holds or waits for a manifest's
// lock. A child made by fork() gets a copy of each, and a lock belongs to
// every copy of its descriptor: a multiprocessing worker forked meanwhile
// would keep the manifest locked for as long as it lives. So the child
// closes them first thing. They are opened and closed under the mutex,
// which fork() takes too, so that none is half registered in a child.
struct Registry {
    std::mutex mutex;
    std::vector<int> descriptors;
};

// Never destroyed: a fork may come at any time, even while the process exits.
Registry& registry = *new Registry;

void before_fork() { registry.mutex.lock(); }
void after_fork_in_parent() { registry.mutex.unlock(); }
void after_fork_in_child() {
    for (const int fd : registry.descriptors) ::close(fd);
    registry.descriptors.clear();
    registry.mutex.unlock();
}

int open_registered(const std::string& path, int flags) {
    static const bool watching = ::pthread_atfork(before_fork, after_fork_in_parent, after_fork_in_child) == 0;
    (void)watching;
    const std::lock_guard guard(registry.mutex);
    registry.descriptors.reserve(registry.descriptors.size() + 1);
    const int fd = ::open(path.c_str(), flags);
    if (fd >= 0) registry.descriptors.push_back(fd);
    return fd;
}

bool registered(int fd) {
    const std::lock_guard guard(registry.mutex);
    return std::find(registry.descriptors.begin(), registry.descriptors.end(), fd) != registry.descriptors.end();
}

// Unlocking first releases the lock even where a copy of the descriptor
// escaped the registry; a descriptor a forked child closed is left alone,
// its number may be another file's by now.
void close_registered(int fd) {
    const std::lock_guard guard(registry.mutex);
    const auto found = std::find(registry.descriptors.begin(), registry.descriptors.end(), fd);
    if (found == registry.descriptors.end()) return;
    ::flock(fd, LOCK_UN);
    ::close(fd);
    registry.descriptors.erase(found);
}

// What stands at `path`, when it is a regular file; checked through a
// descriptor of its own, closed again at once, so that nothing else is
// opened for writing and a child forked during the wait inherits nothing
// but the registered lock descriptor.
errors::Result<struct stat> regular_file(const std::string& path) {
    auto checked = open_manifest(path, Accept::RegularFile);
    if (!checked) return std::move(checked.error());
    return checked.value().info;
}

}  // namespace

ManifestLock::ManifestLock(ManifestLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), info_(other.info_), write_refused_(other.write_refused_) {}

ManifestLock::~ManifestLock() {
    if (fd_ >= 0) close_registered(fd_);
}

// The descriptor is opened for writing where the file allows it: an NFS
// client turns flock into a byte-range lock, and an exclusive one needs a
// writable descriptor. Returns 0 or the error number of the read-only open.
int ManifestLock::open(const std::string& path) {
    constexpr int flags = O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    fd_ = open_registered(path, O_RDWR | flags);
    if (fd_ >= 0) return 0;
    write_refused_ = errno;
    fd_ = open_registered(path, O_RDONLY | flags);
    return fd_ >= 0 ? 0 : errno;
}

int ManifestLock::acquire(const Waiting& waiting) const {
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return 0;
    if (errno != EWOULDBLOCK && errno != EINTR) return errno;
    for (;;) {
        // A signal that came before the wait would not interrupt it.
        if (waiting.interrupted()) return EINTR;
        if (waiting.blocking([this] { return static_cast<long>(::flock(fd_, LOCK_EX)); }) == 0) return 0;
        if (errno != EINTR) return errno;
    }
}

int ManifestLock::still_held(const Waiting& waiting) const {
    if (waiting.interrupted()) return EINTR;
    return registered(fd_) ? 0 : ENOLCK;
}

// The lock is on the file, and an update replaces the file: one that waited
// may hold the lock of a file that is no longer at the path, so it checks
// and tries again on the file that is there now.
errors::Result<ManifestLock> ManifestLock::take(const std::string& path, const Waiting& waiting) {
    for (;;) {
        auto checked = regular_file(path);
        if (!checked) return std::move(checked.error());
        ManifestLock lock;
        if (lock.open(path) != 0) return ConfigError(ErrorKind::FileNotFound, path);
        if (::fstat(lock.fd_, &lock.info_) != 0) return ConfigError(ErrorKind::FileWrite, os_error(errno));
        if (!same_file(lock.info_, checked.value())) continue;
        if (const int error = lock.acquire(waiting); error != 0) return ConfigError(ErrorKind::FileWrite, os_error(error));
        struct stat current {};
        if (::stat(path.c_str(), &current) != 0 || !same_file(lock.info_, current)) continue;
        if (const int error = lock.still_held(waiting); error != 0) {
            return ConfigError(ErrorKind::FileWrite, os_error(error));
        }
        return lock;
    }
}

}  // namespace brintel::schema
