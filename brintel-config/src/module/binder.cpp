#include "binder.hpp"

#include <string_view>
#include <vector>

namespace brintel::py {
namespace {

// 'a'; 'a' and 'b'; 'a', 'b', and 'c'
std::string name_list(std::span<const std::string> names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) text += names.size() > 2 ? ", " : " ";
        if (i > 0 && i + 1 == names.size()) text += "and ";
        text.append(1, '\'').append(names[i]).append(1, '\'');
    }
    return text;
}

void raise_too_many_positional(const Signature& signature, Py_ssize_t given) {
    std::string accepted = signature.required == signature.params.size()
                               ? std::to_string(signature.params.size())
                               : "from " + std::to_string(signature.required) + " to " +
                                     std::to_string(signature.params.size());
    PyErr_Format(PyExc_TypeError, "%s takes %s positional arguments but %zd %s given",
                 signature.name, accepted.c_str(), given, given == 1 ? "was" : "were");
}

void raise_missing(const Signature& signature, std::span<const std::string> missing) {
    PyErr_Format(PyExc_TypeError, "%s missing %zu required positional argument%s: %s",
                 signature.name, missing.size(), missing.size() == 1 ? "" : "s",
                 name_list(missing).c_str());
}

// Index of the parameter named `keyword`, or -1.
Py_ssize_t parameter_index(const Signature& signature, PyObject* keyword) {
    Py_ssize_t length = 0;
    const char* text = PyUnicode_AsUTF8AndSize(keyword, &length);
    if (!text) {
        PyErr_Clear();
        return -1;
    }
    std::string_view name(text, static_cast<std::size_t>(length));
    for (std::size_t i = 0; i < signature.params.size(); ++i) {
        if (name == signature.params[i]) return static_cast<Py_ssize_t>(i);
    }
    return -1;
}

bool bind_keywords(const Signature& signature, PyObject* const* values, Py_ssize_t nargs,
                   PyObject* kwnames, std::span<PyObject*> bound) {
    const Py_ssize_t count = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    for (Py_ssize_t k = 0; k < count; ++k) {
        PyObject* keyword = PyTuple_GET_ITEM(kwnames, k);
        const Py_ssize_t index = parameter_index(signature, keyword);
        if (index < 0) {
            PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%U'",
                         signature.name, keyword);
            return false;
        }
        if (index < nargs) {
            PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'",
                         signature.name, signature.params[static_cast<std::size_t>(index)]);
            return false;
        }
        bound[static_cast<std::size_t>(index)] = values[nargs + k];
    }
    return true;
}

}  // namespace

bool check_positional_count(const Signature& signature, Py_ssize_t given) {
    if (given <= static_cast<Py_ssize_t>(signature.params.size())) return true;
    raise_too_many_positional(signature, given);
    return false;
}

bool bind_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, std::span<PyObject*> bound) {
    if (!check_positional_count(signature, nargs)) return false;
    for (std::size_t i = 0; i < bound.size(); ++i) {
        bound[i] = static_cast<Py_ssize_t>(i) < nargs ? args[i] : nullptr;
    }
    if (!bind_keywords(signature, args, nargs, kwnames, bound)) return false;

    std::vector<std::string> missing;
    for (std::size_t i = 0; i < signature.required; ++i) {
        if (!bound[i]) missing.emplace_back(signature.params[i]);
    }
    if (missing.empty()) return true;
    raise_missing(signature, missing);
    return false;
}

std::optional<std::string> text_argument(PyObject* value, const char* param) {
    if (!PyUnicode_Check(value)) {
        Ref type_name = Ref::steal(PyType_GetQualName(Py_TYPE(value)));
        if (!type_name) return std::nullopt;
        if (param) {
            PyErr_Format(PyExc_TypeError,
                         "argument '%s': '%U' object cannot be converted to 'PyString'", param,
                         type_name.get());
        } else {
            PyErr_Format(PyExc_TypeError, "'%U' object cannot be converted to 'PyString'",
                         type_name.get());
        }
        return std::nullopt;
    }
    Py_ssize_t length = 0;
    const char* text = PyUnicode_AsUTF8AndSize(value, &length);
    if (!text) return std::nullopt;
    return std::string(text, static_cast<std::size_t>(length));
}

}  // namespace brintel::py
