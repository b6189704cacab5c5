#include "module/waiting.hpp"

#include "module/py_ref.hpp"

#include <cerrno>

namespace brintel::py {
namespace {

class LettingThreadsRun final : public schema::Waiting {
public:
    // The call touches no Python object.
    long blocking(const std::function<long()>& call) const noexcept override {
        long result = 0;
        int error = 0;
        Py_BEGIN_ALLOW_THREADS
        result = call();
        error = errno;
        Py_END_ALLOW_THREADS
        errno = error;
        return result;
    }

    bool interrupted() const override { return PyErr_CheckSignals() < 0; }
};

}  // namespace

const schema::Waiting& letting_threads_run() {
    static const LettingThreadsRun waiting;
    return waiting;
}

}  // namespace brintel::py
