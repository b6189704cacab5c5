#include "module/binder.hpp"

#include "module/entry.hpp"

#include <string_view>
#include <vector>

namespace brintel::py {
namespace {

// 'a'; 'a' and 'b'; 'a', 'b', and 'c'
std::string name_list(std::span<const char* const> names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) text += names.size() > 2 ? ", " : " ";
        if (i > 0 && i + 1 == names.size()) text += "and ";
        text.append(1, '\'').append(names[i]).append(1, '\'');
    }
    return text;
}

// The UTF-8 text of a str, valid while the str lives; nullopt with the
// interpreter's UnicodeEncodeError set when it holds lone surrogates.
std::optional<std::string_view> utf8_of(PyObject* text) {
    Py_ssize_t length = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(text, &length);
    if (utf8) return std::string_view(utf8, static_cast<std::size_t>(length));
    if (!PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) throw InternalFailure::from_pending_exception();
    return std::nullopt;
}

}  // namespace

std::optional<std::size_t> match_keyword(PyObject* keyword, std::span<const char* const> names) {
    // A mapping unpacked into the constructor may carry keys of any type.
    if (!PyUnicode_Check(keyword)) return std::nullopt;
    const auto name = utf8_of(keyword);
    if (!name) {
        PyErr_Clear();
        return std::nullopt;
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (*name == names[i]) return i;
    }
    return std::nullopt;
}

namespace detail {

void raise_too_many_positional(const char* name, std::size_t params, std::size_t required,
                               Py_ssize_t given) {
    const std::string accepted = required == params ? std::to_string(params)
                                                    : "from " + std::to_string(required) + " to " +
                                                          std::to_string(params);
    PyErr_Format(PyExc_TypeError, "%s takes %s positional arguments but %zd %s given", name,
                 accepted.c_str(), given, given == 1 ? "was" : "were");
}

void raise_unexpected_keyword(const char* name, PyObject* keyword) {
    PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%U'", name, keyword);
}

void raise_multiple_values(const char* name, const char* param) {
    PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'", name, param);
}

void raise_missing(const char* name, std::span<const char* const> params,
                   std::span<PyObject* const> bound, std::size_t required) {
    std::vector<const char*> missing;
    for (std::size_t i = 0; i < required; ++i) {
        if (!bound[i]) missing.push_back(params[i]);
    }
    PyErr_Format(PyExc_TypeError, "%s missing %zu required positional argument%s: %s", name,
                 missing.size(), missing.size() == 1 ? "" : "s", name_list(missing).c_str());
}

}  // namespace detail

std::optional<std::string> text_argument(PyObject* value, const char* param) {
    if (!PyUnicode_Check(value)) {
        const Ref type_name = checked(PyType_GetQualName(Py_TYPE(value)));
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
    const auto text = utf8_of(value);
    if (!text) return std::nullopt;
    return std::string(*text);
}

}  // namespace brintel::py
