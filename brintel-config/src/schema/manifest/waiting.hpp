// How the configuration library waits on what another process controls: the lock of an
// update under way elsewhere, or the writer of a pipe.
#pragma once

#include <functional>

namespace brintel::schema {

// The plain form blocks the calling thread until the call returns and is
// never interrupted. The Python layer lets other threads run meanwhile and
// runs signal handlers, so that Ctrl-C ends the wait.
class Waiting {
public:
    virtual ~Waiting() = default;

    // Runs `call`, a system call that may block for as long as another
    // process decides, and returns its result with errno as the call left it.
    // Nothing may be thrown from it: the Python layer runs it without the
    // interpreter lock.
    virtual long blocking(const std::function<long()>& call) const noexcept { return call(); }

    // True when a signal arrived that asks for the operation to be given
    // up; the caller then stops before it changes anything.
    virtual bool interrupted() const { return false; }
};

inline const Waiting& plain_waiting() {
    static const Waiting plain;
    return plain;
}

}  // namespace brintel::schema
