#include "entry.hpp"

#include <new>

namespace brintel::py {
namespace {

// Lives as long as the process; deliberately not in the module namespace.
PyObject* internal_error_class = nullptr;

std::string describe_pending_exception() {
    Ref pending = Ref::steal(PyErr_GetRaisedException());
    if (!pending) return "the interpreter failed to create an object";
    Ref text = Ref::steal(PyObject_Str(pending.get()));
    const char* utf8 = text ? PyUnicode_AsUTF8(text.get()) : nullptr;
    if (!utf8) {
        PyErr_Clear();
        return "the interpreter failed to create an object";
    }
    return utf8;
}

std::string describe(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::bad_alloc&) {
        return "out of memory";
    } catch (const std::exception& e) {
        return e.what()[0] ? e.what() : "internal failure";
    } catch (...) {
        return "internal failure";
    }
}

}  // namespace

bool init_internal_error() {
    if (internal_error_class) return true;
    internal_error_class = PyErr_NewExceptionWithDoc(
        "brintel_config.InternalError",
        "An unexpected failure inside brintel_config; not a configuration problem.",
        PyExc_BaseException, nullptr);
    return internal_error_class != nullptr;
}

void raise_internal_error(const std::exception_ptr& failure) noexcept {
    try {
        std::string message = describe(failure);
        PyErr_Clear();
        PyErr_SetString(internal_error_class ? internal_error_class : PyExc_SystemError,
                        message.c_str());
    } catch (...) {
        PyErr_NoMemory();
    }
}

Ref checked(PyObject* object) {
    if (!object) throw InternalFailure(describe_pending_exception());
    return Ref::steal(object);
}

}  // namespace brintel::py
