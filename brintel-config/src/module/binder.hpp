// Argument binding for the entry points, with the exact TypeError texts
// callers see.
#pragma once

#include "module/py_ref.hpp"

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>

namespace brintel::py {

// N positional-or-keyword parameters; the first `required` have no default.
template <std::size_t N>
struct Signature {
    consteval Signature(const char* name, std::array<const char*, N> params, std::size_t required)
        : name(name), params(params), required(required) {
        if (required > N) throw "more required parameters than parameters";
    }

    const char* name;  // as shown in messages, e.g. "read_brintel_readers_config()"
    std::array<const char*, N> params;
    std::size_t required;
};

// The index of the name in `names` that `keyword` equals exactly. A keyword
// that is not a str, or not valid UTF-8 (lone surrogates), equals no name.
std::optional<std::size_t> match_keyword(PyObject* keyword, std::span<const char* const> names);

namespace detail {
void raise_too_many_positional(const char* name, std::size_t params, std::size_t required,
                               Py_ssize_t given);
void raise_unexpected_keyword(const char* name, PyObject* keyword);
void raise_multiple_values(const char* name, const char* param);
void raise_missing(const char* name, std::span<const char* const> params,
                   std::span<PyObject* const> bound, std::size_t required);
}  // namespace detail

// Checks only the number of positional arguments; the constructor, which
// takes keywords of its own, shares this rule and its message.
template <std::size_t N>
bool check_positional_count(const Signature<N>& signature, Py_ssize_t given) {
    if (given <= static_cast<Py_ssize_t>(N)) return true;
    detail::raise_too_many_positional(signature.name, N, signature.required, given);
    return false;
}

// Binds a vectorcall argument vector: element i is the borrowed argument for
// parameter i, or null where it was omitted. Nullopt with a TypeError set
// when the call does not fit the signature.
template <std::size_t N>
std::optional<std::array<PyObject*, N>> bind_arguments(const Signature<N>& signature, PyObject* const* args,
                                                       Py_ssize_t nargs, PyObject* kwnames) {
    if (!check_positional_count(signature, nargs)) return std::nullopt;
    std::array<PyObject*, N> bound{};
    for (Py_ssize_t i = 0; i < nargs; ++i) bound[static_cast<std::size_t>(i)] = args[i];
    const Py_ssize_t keywords = kwnames ? PyTuple_Size(kwnames) : 0;
    for (Py_ssize_t k = 0; k < keywords; ++k) {
        PyObject* keyword = PyTuple_GetItem(kwnames, k);
        const auto index = match_keyword(keyword, signature.params);
        if (!index) {
            detail::raise_unexpected_keyword(signature.name, keyword);
            return std::nullopt;
        }
        if (bound[*index]) {
            detail::raise_multiple_values(signature.name, signature.params[*index]);
            return std::nullopt;
        }
        bound[*index] = args[nargs + k];
    }
    for (std::size_t i = 0; i < signature.required; ++i) {
        if (bound[i]) continue;
        detail::raise_missing(signature.name, signature.params, bound, signature.required);
        return std::nullopt;
    }
    return bound;
}

// The UTF-8 text of a `str` argument, or nullopt with an exception set:
// TypeError "argument '<param>': '<type>' object cannot be converted to
// 'PyString'" for a non-str (without the prefix when `param` is null), the
// interpreter's UnicodeEncodeError for lone surrogates.
std::optional<std::string> text_argument(PyObject* value, const char* param);

// Binds a vectorcall whose parameters are all `str`, converted in order;
// an omitted one takes `fallback`. Nullopt with the exception set when
// binding or a conversion fails.
template <std::size_t N>
std::optional<std::array<std::string, N>> bind_texts(const Signature<N>& signature, PyObject* const* args,
                                                     size_t nargsf, PyObject* kwnames,
                                                     const char* fallback = "") {
    const auto bound = bind_arguments(signature, args, PyVectorcall_NARGS(nargsf), kwnames);
    if (!bound) return std::nullopt;
    std::array<std::string, N> texts;
    for (std::size_t i = 0; i < N; ++i) {
        if (!(*bound)[i]) {
            texts[i] = fallback;
            continue;
        }
        auto text = text_argument((*bound)[i], signature.params[i]);
        if (!text) return std::nullopt;
        texts[i] = std::move(*text);
    }
    return texts;
}

}  // namespace brintel::py
