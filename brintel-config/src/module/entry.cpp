#include "module/entry.hpp"

#include <atomic>
#include <new>

namespace brintel::py {
namespace {

// Lives as long as the process; deliberately not in the module namespace.
// Read by any thread that raises it, written once under the StartupLock.
std::atomic<PyObject*> internal_error_class{nullptr};

std::mutex startup_mutex;

// str(exception), or "" when even that fails.
std::string text_of(PyObject* exception) {
    Ref text = Ref::steal(PyObject_Str(exception));
    const char* utf8 = text ? PyUnicode_AsUTF8AndSize(text.get(), nullptr) : nullptr;
    if (utf8) return utf8;
    PyErr_Clear();
    return "";
}

// The type's __name__, or "" when even that fails.
std::string type_name_of(PyObject* object) {
    Ref name = Ref::steal(PyType_GetName(Py_TYPE(object)));
    const char* utf8 = name ? PyUnicode_AsUTF8AndSize(name.get(), nullptr) : nullptr;
    if (utf8) return utf8;
    PyErr_Clear();
    return "";
}

struct Failure {
    std::string message;
    Ref cause;
};

Failure describe(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const InternalFailure& e) {
        return {e.what(), Ref::borrow(e.cause())};
    } catch (const std::bad_alloc&) {
        return {"out of memory", {}};
    } catch (const std::exception& e) {
        return {e.what(), {}};
    } catch (...) {
        return {"", {}};
    }
}

// Chains `cause` to the internal error just raised; a failure to raise it
// (the interpreter's own MemoryError in its place) is left as it is.
void attach_cause(Ref cause) {
    PyObject* raised = PyErr_GetRaisedException();
    if (raised && Py_TYPE(raised) == reinterpret_cast<PyTypeObject*>(internal_error_class.load())) {
        PyException_SetCause(raised, cause.release());
    }
    PyErr_SetRaisedException(raised);
}

}  // namespace

InternalFailure InternalFailure::from_pending_exception() {
    Ref pending = Ref::steal(PyErr_GetRaisedException());
    if (!pending) return InternalFailure("the interpreter failed to create an object");
    InternalFailure failure(text_of(pending.get()));
    failure.cause_ = std::move(pending);
    return failure;
}

StartupLock::StartupLock() : lock_(startup_mutex, std::try_to_lock) {
    if (lock_.owns_lock()) return;
    PyThreadState* detached = PyEval_SaveThread();
    try {
        lock_.lock();
    } catch (...) {
        PyEval_RestoreThread(detached);
        throw;
    }
    PyEval_RestoreThread(detached);
}

StartupLock::~StartupLock() = default;

bool init_internal_error() {
    if (internal_error_class.load()) return true;
    PyObject* created = PyErr_NewExceptionWithDoc(
        "brintel_config.InternalError",
        "An unexpected failure inside brintel_config; not a configuration problem.",
        PyExc_BaseException, nullptr);
    internal_error_class.store(created);
    return created != nullptr;
}

void declare_free_threading_safe([[maybe_unused]] PyObject* module) {
#ifdef Py_GIL_DISABLED
    PyUnstable_Module_SetGIL(module, Py_MOD_GIL_NOT_USED);
#endif
}

void raise_internal_error(const std::exception_ptr& failure) noexcept {
    try {
        auto [message, cause] = describe(failure);
        if (message.empty() && cause) message = type_name_of(cause.get());
        if (message.empty()) message = "internal failure";
        PyErr_Clear();
        PyObject* error_class = internal_error_class.load();
        PyErr_SetString(error_class ? error_class : PyExc_SystemError, message.c_str());
        if (cause) attach_cause(std::move(cause));
    } catch (...) {
        PyErr_NoMemory();
    }
}

void throw_pending_exception() { throw InternalFailure::from_pending_exception(); }

}  // namespace brintel::py
