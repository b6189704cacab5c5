// The module object and its two classes: created once per process, owned by
// the first interpreter that imports the module. AppConfig, which has no
// behaviour of its own, is defined here too.
#include "module/entry.hpp"
#include "module/module.hpp"
#include "module/shared_library.h"

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
// interpreter must not see; the first interpreter to import wins. They are
// made under the StartupLock, kept for the life of the process, and read
// by any thread afterwards.
std::atomic<std::int64_t> owner_interpreter{-1};
std::atomic<PyObject*> module_object{nullptr};
std::atomic<PyObject*> reader_type_object{nullptr};
std::atomic<PyObject*> app_type_object{nullptr};

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

// ---------------------------------------------------------------------------
// AppConfig: a registered name only; the module never makes an instance.

PyObject* app_new(PyTypeObject*, PyObject*, PyObject*) {
    PyErr_SetString(PyExc_TypeError, "No constructor defined");
    return nullptr;
}

PyType_Slot app_slots[] = {
    {Py_tp_doc, const_cast<char*>("The app configuration")},
    {Py_tp_new, reinterpret_cast<void*>(app_new)},
    {0, nullptr},
};

PyType_Spec app_spec = {"builtins.AppConfig", 0, 0, Py_TPFLAGS_DEFAULT, app_slots};

// A PyType_Spec's methods land in the class dictionary before its properties;
// taking each out and putting it back moves it to the end, so the fields
// come first, in their declared order. Deleting is setting null: in 3.12's
// stable ABI PyObject_DelAttrString is only a macro, and a wheel built
// against a later release's headers would otherwise need a function 3.12
// does not export.
bool move_methods_last(PyObject* type, const PyMethodDef* methods) {
    for (const PyMethodDef* method = methods; method && method->ml_name; ++method) {
        Ref descriptor = Ref::steal(PyObject_GetAttrString(type, method->ml_name));
        if (!descriptor || PyObject_SetAttrString(type, method->ml_name, nullptr) < 0 ||
            PyObject_SetAttrString(type, method->ml_name, descriptor.get()) < 0) {
            return false;
        }
    }
    return true;
}

PyTypeObject* type_once(std::atomic<PyObject*>& cache, PyType_Spec& spec, const PyMethodDef* methods = nullptr) {
    if (!cache.load()) {
        Ref type = Ref::steal(PyType_FromSpec(&spec));
        if (!type || !move_methods_last(type.get(), methods)) return nullptr;
        cache.store(type.release());
    }
    return reinterpret_cast<PyTypeObject*>(cache.load());
}

// ---------------------------------------------------------------------------
// The module body

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
    const char* text = name ? PyUnicode_AsUTF8AndSize(name.get(), nullptr) : nullptr;
    return text && add_public(module, text, function.get());
}

Ref create_module() {
    Ref module = Ref::steal(PyModule_Create2(&module_definition, 1013));
    if (!module) return {};
    declare_free_threading_safe(module.get());
    PyTypeObject* reader = type_once(reader_type_object, reader_config_spec(), reader_config_methods());
    if (!add_type(module.get(), "ReaderConfig", reader)) return {};
    if (!add_type(module.get(), "AppConfig", type_once(app_type_object, app_spec))) return {};
    if (!add_function(module.get(), read_function_definition())) return {};
    return module;
}

PyObject* initialise() {
    if (!claim_interpreter()) return nullptr;
    const StartupLock starting;
    if (!init_internal_error() || !init_export_keys()) return nullptr;
    if (!module_object.load()) {
        Ref module = create_module();
        if (!module) return nullptr;
        module_object.store(module.release());
    }
    return Ref::borrow(module_object.load()).release();
}

}  // namespace

PyTypeObject* reader_config_type() { return reinterpret_cast<PyTypeObject*>(reader_type_object.load()); }

}  // namespace brintel::py

PyObject* brintel_config_module_init() { return brintel::py::guarded(brintel::py::initialise); }
