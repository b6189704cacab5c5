// The discipline every Python-callable entry point follows.
//
// Expected failures (bad arguments, a ConfigError) set a Python exception and
// return null. Anything else that goes wrong inside C++ is thrown, and
// `guarded` turns it into the module's internal error, a class derived
// straight from BaseException so that `except Exception` does not hide it.
// No C++ exception ever crosses into the interpreter.
//
// A failed call into the interpreter is such an unexpected failure too:
// `checked` throws it with the interpreter's exception attached, which then
// becomes the `__cause__` of the internal error, so that an allocation that
// fails anywhere surfaces as one class.
#pragma once

#include "module/py_ref.hpp"

#include <exception>
#include <mutex>
#include <string>

namespace brintel::py {

// An unexpected state: the interpreter refused to make an object we cannot
// do without, or an invariant of ours did not hold.
class InternalFailure : public std::exception {
public:
    explicit InternalFailure(std::string message) : message_(std::move(message)) {}
    // Takes over the interpreter's pending exception as the cause.
    static InternalFailure from_pending_exception();

    // Copies share the cause; only ever made with the interpreter lock held.
    InternalFailure(const InternalFailure& other)
        : message_(other.message_), cause_(Ref::borrow(other.cause_.get())) {}
    InternalFailure& operator=(const InternalFailure&) = delete;

    const char* what() const noexcept override { return message_.c_str(); }
    // The interpreter's exception behind the failure, or null.
    PyObject* cause() const noexcept { return cause_.get(); }

private:
    std::string message_;
    Ref cause_;
};

// Serialises the one-time creation of what the modules share for the life
// of the process (the module object, the classes, the internal error). A
// thread that has to wait for it waits detached from the interpreter, as
// for any blocking call: the holder may need the interpreter (the lock in a
// build with one, a pause of all threads in a free-threaded one) to finish.
class StartupLock {
public:
    StartupLock();
    ~StartupLock();
    StartupLock(const StartupLock&) = delete;
    StartupLock& operator=(const StartupLock&) = delete;

private:
    std::unique_lock<std::mutex> lock_;
};

// Creates the internal error class unless it exists; called with the
// StartupLock held while a module starts.
bool init_internal_error();

// Tells a free-threaded interpreter that `module` does not need the GIL:
// nothing the modules share changes after start-up outside a lock of its
// own (the StartupLock, the manifest lock's registry) or an atomic, and
// instances never change after construction. A no-op elsewhere.
void declare_free_threading_safe(PyObject* module);

// Raises the internal error for an exception caught at an entry point.
void raise_internal_error(const std::exception_ptr& failure) noexcept;

// Throws the interpreter's pending exception as an InternalFailure.
[[noreturn, gnu::cold]] void throw_pending_exception();

// Returns `object` as an owned reference; a null `object` (the interpreter
// failed to create it) is thrown as an InternalFailure. Inline: every
// getter and export passes through it.
inline Ref checked(PyObject* object) {
    if (!object) throw_pending_exception();
    return Ref::steal(object);
}

// The same for C-API calls that report failure by a negative status.
inline void checked(int status) {
    if (status < 0) throw_pending_exception();
}

template <class Result, class Body>
Result guarded_as(Result on_failure, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        raise_internal_error(std::current_exception());
        return on_failure;
    }
}

// Runs an entry point's body, which returns a new reference or null.
template <class Body>
PyObject* guarded(Body&& body) noexcept {
    return guarded_as<PyObject*>(nullptr, std::forward<Body>(body));
}

}  // namespace brintel::py
