// The module object: created once per process, owned by the first
// interpreter that imports it.
#include "classes.hpp"
#include "entry.hpp"
#include "read_function.hpp"

#include <atomic>
#include <cstdint>

namespace brintel::py {
namespace {

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "brintel_config",
    "",       // __doc__ is the empty string
    0,        // no per-module state
    nullptr,  // the function is added while the body runs
    nullptr, nullptr, nullptr, nullptr,
};

// The classes and the module are shared C-level state, which a second
// interpreter must not see; the first interpreter to import wins.
std::atomic<std::int64_t> owner_interpreter{-1};
PyObject* module_object = nullptr;  // kept for the life of the process

bool claim_interpreter() {
    const std::int64_t current = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (current == -1) {
        if (!PyErr_Occurred()) {
            PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
        }
        return false;
    }
    std::int64_t expected = -1;
    if (owner_interpreter.compare_exchange_strong(expected, current) || expected == current) {
        return true;
    }
    PyErr_SetString(PyExc_ImportError,
                    "brintel_config does not support sub-interpreters: it is already in use "
                    "by another interpreter of this process");
    return false;
}

// Appends `name` to __all__ (creating the list on first use), then sets the
// attribute.
bool add_public(PyObject* module, const char* name, PyObject* object) {
    Ref all = Ref::steal(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
        PyErr_Clear();
        all = Ref::steal(PyList_New(0));
        if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) return false;
    }
    Ref text = Ref::steal(PyUnicode_FromString(name));
    if (!text || PyList_Append(all.get(), text.get()) < 0) return false;
    return PyObject_SetAttrString(module, name, object) == 0;
}

bool add_type(PyObject* module, const char* name, PyTypeObject* type) {
    return type && add_public(module, name, reinterpret_cast<PyObject*>(type));
}

// Registered under the function object's own __name__.
bool add_function(PyObject* module, PyMethodDef* definition) {
    Ref module_name = Ref::steal(PyUnicode_FromString("brintel_config"));
    if (!module_name) return false;
    Ref function = Ref::steal(PyCMethod_New(definition, module, module_name.get(), nullptr));
    if (!function) return false;
    Ref name = Ref::steal(PyObject_GetAttrString(function.get(), "__name__"));
    const char* text = name ? PyUnicode_AsUTF8(name.get()) : nullptr;
    return text && add_public(module, text, function.get());
}

Ref create_module() {
    Ref module = Ref::steal(PyModule_Create2(&module_definition, 1013));
    if (!module) return {};
    if (!add_type(module.get(), "ReaderConfig", reader_config_type())) return {};
    if (!add_type(module.get(), "AppConfig", app_config_type())) return {};
    if (!add_function(module.get(), read_function_definition())) return {};
    return module;
}

PyObject* initialise() {
    if (!claim_interpreter()) return nullptr;
    if (!init_internal_error()) return nullptr;
    if (!module_object) {
        Ref module = create_module();
        if (!module) return nullptr;
        module_object = module.release();
    }
    return Ref::borrow(module_object).release();
}

}  // namespace
}  // namespace brintel::py

PyMODINIT_FUNC PyInit_brintel_config() { return brintel::py::guarded(brintel::py::initialise); }
