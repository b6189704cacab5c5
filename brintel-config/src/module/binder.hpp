// Argument binding for the fast-call entry points, with the exact TypeError
// texts callers see. Parameters are positional-or-keyword; the first
// `required` of them have no default.
#pragma once

#include "py_ref.hpp"

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>

namespace brintel::py {

struct Signature {
    const char* name;  // as shown in messages, e.g. "read_brintel_readers_config()"
    std::span<const char* const> params;
    std::size_t required;
};

// Checks only the number of positional arguments; the constructor, which
// takes keywords of its own, shares this rule and its message.
bool check_positional_count(const Signature& signature, Py_ssize_t given);

// Binds a vectorcall argument vector. On success `bound[i]` is the borrowed
// argument for parameter i, or null where it was omitted. On failure a
// TypeError is set and false returned.
bool bind_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, std::span<PyObject*> bound);

// The UTF-8 text of a `str` argument, or nullopt with an exception set:
// TypeError "argument '<param>': '<type>' object cannot be converted to
// 'PyString'" for a non-str (without the prefix when `param` is null), the
// interpreter's UnicodeEncodeError for lone surrogates.
std::optional<std::string> text_argument(PyObject* value, const char* param);

// Binds a vectorcall whose parameters are all `str`, converted in order;
// an omitted one takes `fallback`. Nullopt with the exception set when
// binding or a conversion fails.
template <std::size_t N>
std::optional<std::array<std::string, N>> bind_texts(const Signature& signature, PyObject* const* args,
                                                     size_t nargsf, PyObject* kwnames,
                                                     const char* fallback = "") {
    std::array<PyObject*, N> bound{};
    if (!bind_arguments(signature, args, PyVectorcall_NARGS(nargsf), kwnames, bound)) return std::nullopt;
    std::array<std::string, N> texts;
    for (std::size_t i = 0; i < N; ++i) {
        if (!bound[i]) {
            texts[i] = fallback;
            continue;
        }
        auto text = text_argument(bound[i], signature.params[i]);
        if (!text) return std::nullopt;
        texts[i] = std::move(*text);
    }
    return texts;
}

}  // namespace brintel::py
