// The exclusive lock that serialises the updates of one manifest.
#pragma once

#include "errors/config_error.hpp"
#include "schema/manifest/waiting.hpp"

#include <sys/stat.h>

#include <string>

namespace brintel::schema {

// An flock on the manifest file itself, held while the object lives. Other
// tools may take the same lock (flock(1)) to keep updates out.
class ManifestLock {
public:
    // Opens the regular file at `path` and waits through `waiting` until
    // its lock is taken. FileNotFound with `path` when the file cannot be
    // opened for reading or is not a regular file; FileWrite when the lock
    // cannot be taken or a signal asked to give up meanwhile.
    static errors::Result<ManifestLock> take(const std::string& path, const Waiting& waiting);

    ManifestLock(ManifestLock&& other) noexcept;
    ManifestLock& operator=(ManifestLock&&) = delete;
    ~ManifestLock();

    // Open for reading, and for writing where the file allows it.
    int fd() const { return fd_; }
    const struct stat& info() const { return info_; }
    // 0 when `fd` is open for writing; otherwise the error that refused it.
    int write_refused() const { return write_refused_; }

    // 0 while nothing has asked to give up, else the error number to report:
    // a signal that asks to (checked through `waiting`), or a fork() from
    // a signal handler meanwhile, which leaves a child that holds no lock.
    int still_held(const Waiting& waiting) const;

private:
    ManifestLock() = default;
    int open(const std::string& path);
    int acquire(const Waiting& waiting) const;

    int fd_ = -1;
    struct stat info_ {};
    int write_refused_ = 0;
};

}  // namespace brintel::schema
