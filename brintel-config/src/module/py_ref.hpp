// Ownership of Python references.
//
// Every strong reference the module holds lives in a `Ref`; a null `Ref`
// returned from a function means "a Python exception is set".
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace brintel::py {

class Ref {
public:
    Ref() = default;
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    Ref& operator=(Ref&& other) noexcept {
        Ref old(std::move(*this));
        object_ = std::exchange(other.object_, nullptr);
        return *this;
    }
    ~Ref() { Py_XDECREF(object_); }

    // Takes over a reference the caller owns (a "new reference" result).
    static Ref steal(PyObject* object) { return Ref(object); }
    // Adds a reference of our own to a borrowed object.
    static Ref borrow(PyObject* object) {
        Py_XINCREF(object);
        return Ref(object);
    }
    static Ref none() { return borrow(Py_None); }

    PyObject* get() const { return object_; }
    // Hands the reference to the caller, typically as an entry point's result.
    PyObject* release() { return std::exchange(object_, nullptr); }
    explicit operator bool() const { return object_ != nullptr; }

private:
    explicit Ref(PyObject* object) : object_(object) {}
    PyObject* object_ = nullptr;
};

}  // namespace brintel::py
