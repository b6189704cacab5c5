#include "binder.hpp"
#include "classes.hpp"
#include "entry.hpp"
#include "errors.hpp"
#include "reader_methods.hpp"
#include "../schema/manifest/manifest.hpp"

#include <sys/file.h>

#include <cerrno>

namespace brintel::py {
namespace {

constexpr const char* parameters[] = {"path", "reader_id"};
constexpr Signature signature{"ReaderConfig.add_to_manifest_yaml()", parameters, 2};

// Waiting for another process's update touches no Python object, so other
// threads run meanwhile, and a signal (Ctrl-C) ends the wait with its
// exception pending.
int wait_letting_threads_run(int fd) {
    for (;;) {
        int result = 0;
        int error = 0;
        Py_BEGIN_ALLOW_THREADS
        result = ::flock(fd, LOCK_EX);
        error = errno;
        Py_END_ALLOW_THREADS
        if (result == 0) return 0;
        if (error != EINTR) return error;
        if (PyErr_CheckSignals() < 0) return EINTR;
    }
}

}  // namespace

PyObject* reader_add_to_manifest_yaml(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                                      PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        const auto texts = bind_texts<2>(signature, args, static_cast<size_t>(nargsf), kwnames);
        if (!texts) return nullptr;
        const auto& [path, reader_id] = *texts;
        const auto stored = schema::add_to_manifest_yaml(record_of(self), path, reader_id, wait_letting_threads_run);
        // An exception raised by a signal handler during the wait wins.
        if (!stored) return PyErr_Occurred() ? nullptr : raise(stored.error());
        return Ref::none().release();
    });
}

}  // namespace brintel::py
