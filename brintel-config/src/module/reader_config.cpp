// The ReaderConfig class: constructor, read-only properties and methods.
#include "module/binder.hpp"
#include "module/entry.hpp"
#include "module/module.hpp"
#include "module/raise.hpp"
#include "module/waiting.hpp"
#include "schema/export.hpp"
#include "schema/manifest/manifest.hpp"
#include "schema/validate.hpp"

#include <algorithm>
#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

namespace brintel::py {
namespace {

using schema::ReaderConfig;

// Kept apart from the record so that the dictionary's offset is that of a
// standard-layout type.
struct InstanceHeader {
    PyObject_HEAD
    PyObject* dict;  // the instance's attributes; allocated on first use
};

struct ReaderObject {
    InstanceHeader header;
    ReaderConfig record;
};

// Moving a record in must not throw once the object is allocated.
static_assert(std::is_nothrow_move_constructible_v<ReaderConfig>);

ReaderObject* as_reader(PyObject* self) { return reinterpret_cast<ReaderObject*>(self); }
const ReaderConfig& record_of(PyObject* self) { return as_reader(self)->record; }

// ---------------------------------------------------------------------------
// Field values as new Python objects, built afresh on every call. Flag-like
// fields hold integers, so there is deliberately no bool here.

// Copies `size` bytes, at most 32, with two moves of a fixed width: a call
// to memcpy would cost more than decoding from the copy saves.
void copy_short(char* to, const char* from, std::size_t size) {
    const auto two_moves = [&](auto width) {
        std::memcpy(to, from, width);
        std::memcpy(to + size - width, from + size - width, width);
    };
    if (size >= 16) two_moves(std::integral_constant<std::size_t, 16>{});
    else if (size >= 8) two_moves(std::integral_constant<std::size_t, 8>{});
    else if (size >= 4) two_moves(std::integral_constant<std::size_t, 4>{});
    else if (size > 0) {
        to[0] = from[0];
        to[size / 2] = from[size / 2];
        to[size - 1] = from[size - 1];
    }
}

// CPython decodes ASCII a word at a time only from a word-aligned source,
// and libc++ keeps a short string's bytes inside the string at an odd
// address: under libc++ (the wheels' C++ runtime) short text is decoded from
// an aligned copy, which costs less than the decoder's byte-wise path.
#ifdef _LIBCPP_VERSION
constexpr bool short_text_at_odd_address = true;
#else
constexpr bool short_text_at_odd_address = false;
#endif
constexpr std::size_t aligned_copy_max = 32;

Ref to_python(const std::string& text) {
    const char* bytes = text.data();
    alignas(alignof(std::max_align_t)) char aligned[aligned_copy_max];
    if (short_text_at_odd_address && text.size() <= aligned_copy_max &&
        reinterpret_cast<std::uintptr_t>(bytes) % alignof(std::size_t) != 0) {
        copy_short(aligned, bytes, text.size());
        bytes = aligned;
    }
    return checked(PyUnicode_FromStringAndSize(bytes, static_cast<Py_ssize_t>(text.size())));
}

Ref to_python(std::uint32_t value) { return checked(PyLong_FromUnsignedLong(value)); }
Ref to_python(std::uint64_t value) { return checked(PyLong_FromUnsignedLongLong(value)); }

template <class T>
Ref to_python(const std::optional<T>& value) {
    return value ? to_python(*value) : Ref::none();
}

// ---------------------------------------------------------------------------
// Constructor

// What a keyword given as None does; `refuse` treats it like any non-str value.
enum class OnNone { refuse, leave_unset };

template <class Member>
struct Keyword {
    schema::Field<ReaderConfig, Member> field;
    OnNone on_none;
};

template <class Member>
consteval Keyword<Member> keyword(Member ReaderConfig::*member, OnNone on_none) {
    using Field = schema::Field<ReaderConfig, Member>;
    if (on_none == OnNone::leave_unset && !Field::optional) throw "a required field cannot stay unset";
    return {schema::field_of(member), on_none};
}

using R = ReaderConfig;

// The keywords the constructor understands; all others are ignored.
constexpr auto constructor_keywords = std::make_tuple(
    keyword(&R::model_name, OnNone::refuse), keyword(&R::device, OnNone::refuse),
    keyword(&R::consumer_group, OnNone::refuse), keyword(&R::log_level, OnNone::refuse),
    keyword(&R::cuda_visible_devices, OnNone::leave_unset),
    keyword(&R::max_batch_size, OnNone::leave_unset),
    keyword(&R::tensor_parallel, OnNone::leave_unset),
    keyword(&R::max_sequence_length, OnNone::leave_unset));

constexpr auto constructor_keyword_names =
    std::apply([](const auto&... keyword) { return std::array{keyword.field.name.data()...}; }, constructor_keywords);

// Calls `visit` with the constructor keyword at `index`.
template <class Visitor>
void visit_keyword(std::size_t index, Visitor&& visit) {
    std::apply(
        [&](const auto&... keyword) {
            std::size_t i = 0;
            static_cast<void>(((i++ == index && (visit(keyword), true)) || ...));
        },
        constructor_keywords);
}

std::optional<std::uint64_t> u64_argument(PyObject* value) {
    Ref integer = PyLong_Check(value) ? Ref::borrow(value) : Ref::steal(PyNumber_Index(value));
    if (!integer) return std::nullopt;
    const unsigned long long result = PyLong_AsUnsignedLongLong(integer.get());
    if (result == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return std::nullopt;
    return result;
}

std::optional<std::uint32_t> u32_argument(PyObject* value) {
    const long result = PyLong_AsLong(value);
    if (result == -1 && PyErr_Occurred()) return std::nullopt;
    if (result < 0 || result > static_cast<long>(UINT32_MAX)) {
        PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(result);
}

template <class Value>
std::optional<Value> convert_argument(PyObject* value) {
    if constexpr (std::is_same_v<Value, std::string>) return text_argument(value, nullptr);
    else if constexpr (std::is_same_v<Value, std::uint64_t>) return u64_argument(value);
    else return u32_argument(value);
}

// Sets the keyword's field from `value`; false with an exception set.
template <class Member>
bool assign(ReaderConfig& record, const Keyword<Member>& keyword, PyObject* value) {
    if (keyword.on_none == OnNone::leave_unset && value == Py_None) return true;
    auto converted = convert_argument<typename schema::Field<ReaderConfig, Member>::value_type>(value);
    if (!converted) return false;
    keyword.field.of(record) = std::move(*converted);
    return true;
}

// The keyword dictionary can be the caller's own (`ReaderConfig(**d)`),
// which another thread may change while it is read: a free-threaded build
// locks it meanwhile, as the interpreter's own readers do. With a GIL, the
// GIL is that lock.
class DictReading {
public:
#ifdef Py_GIL_DISABLED
    explicit DictReading(PyObject* dict) { PyCriticalSection_Begin(&section_, dict); }
    ~DictReading() { PyCriticalSection_End(&section_); }

private:
    PyCriticalSection section_;
#else
    explicit DictReading(PyObject*) {}
#endif
public:
    DictReading(const DictReading&) = delete;
    DictReading& operator=(const DictReading&) = delete;
};

bool assign_keywords(ReaderConfig& record, PyObject* kwargs) {
    const DictReading reading(kwargs);
    Py_ssize_t position = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(kwargs, &position, &key, &value)) {
        const auto index = match_keyword(key, constructor_keyword_names);
        if (!index) continue;
        bool ok = false;
        visit_keyword(*index, [&](const auto& keyword) { ok = assign(record, keyword, value); });
        if (!ok) return false;
    }
    return true;
}

bool check_constructed(const ReaderConfig& record) {
    if (record.model_name.empty()) {
        PyErr_SetString(PyExc_TypeError, "model_name cannot be empty");
        return false;
    }
    if (std::ranges::find(schema::local_devices, record.device) == schema::local_devices.end()) {
        PyErr_SetString(PyExc_TypeError, "device must be either 'cpu' or 'cuda'");
        return false;
    }
    return true;
}

PyObject* reader_new(PyTypeObject*, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        static constexpr Signature<0> signature{"ReaderConfig.__new__()", {}, 0};
        if (!check_positional_count(signature, PyTuple_Size(args))) return nullptr;
        ReaderConfig record;
        // A call without keywords skips the two checks: the empty record is
        // what such a call has always produced.
        if (kwargs && PyDict_Size(kwargs) > 0) {
            if (!assign_keywords(record, kwargs) || !check_constructed(record)) return nullptr;
        }
        return wrap_reader(std::move(record)).release();
    });
}

// ---------------------------------------------------------------------------
// Life cycle

int reader_traverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(as_reader(self)->header.dict);
    Py_VISIT(Py_TYPE(self));
    return 0;
}

int reader_clear(PyObject* self) {
    Py_CLEAR(as_reader(self)->header.dict);
    return 0;
}

void reader_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    reader_clear(self);
    as_reader(self)->record.~ReaderConfig();
    reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free))(self);
    Py_DECREF(type);
}

// ---------------------------------------------------------------------------
// Properties, one per field, in declared order

template <std::size_t I>
PyObject* get_field(PyObject* self, void*) {
    return guarded([&] {
        const auto& field = schema::field_at<ReaderConfig, I>();
        return to_python(field.of(as_reader(self)->record)).release();
    });
}

// Types made from a PyType_Spec get no `__dict__` attribute of their own; the
// generic accessors serve the dictionary at `__dictoffset__`.
template <std::size_t... I>
constexpr auto make_properties(std::index_sequence<I...>) {
    return std::array<PyGetSetDef, sizeof...(I) + 2>{{
        {schema::field_at<ReaderConfig, I>().name.data(), &get_field<I>, nullptr, nullptr, nullptr}...,
        {"__dict__", PyObject_GenericGetDict, PyObject_GenericSetDict, nullptr, nullptr},
        {nullptr, nullptr, nullptr, nullptr, nullptr},
    }};
}

auto reader_properties = make_properties(std::make_index_sequence<schema::field_count<ReaderConfig>>{});

PyMemberDef reader_members[] = {
    {"__dictoffset__", Py_T_PYSSIZET, offsetof(InstanceHeader, dict), Py_READONLY, nullptr},
    {nullptr, 0, 0, 0, nullptr},
};

// ---------------------------------------------------------------------------
// Methods

PyObject* reader_validate(PyObject* self, PyObject*) {
    return guarded([&]() -> PyObject* {
        const errors::Status status = schema::validate(record_of(self));
        if (!status) return raise(status.error());
        return Ref::none().release();
    });
}

PyObject* reader_add_to_manifest_yaml(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                                      PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Signature<2> signature{"ReaderConfig.add_to_manifest_yaml()",
                                                {"path", "reader_id"}, 2};
        const auto texts = bind_texts(signature, args, static_cast<size_t>(nargsf), kwnames);
        if (!texts) return nullptr;
        const auto& [path, reader_id] = *texts;
        const auto stored = schema::add_to_manifest_yaml(record_of(self), path, reader_id, letting_threads_run());
        if (!stored) return raise(stored.error());
        return Ref::none().release();
    });
}

// The export's keys, one interned string per field, made while the module
// starts and kept for the life of the process: an export makes none, and
// the dictionary finds their hashes already computed.
std::array<PyObject*, schema::field_count<ReaderConfig>> export_keys{};

Ref export_reader(const ReaderConfig& record) {
    Ref dict = checked(PyDict_New());
    schema::for_each_exported_at(record, [&](auto index, const auto& value) __attribute__((always_inline)) {
        // Callers tell integers from flags by type; a bool would pass as an int.
        static_assert(!std::is_same_v<std::remove_cvref_t<decltype(value)>, bool>);
        const Ref item = to_python(value);
        checked(PyDict_SetItem(dict.get(), export_keys[index], item.get()));
    });
    return dict;
}

PyObject* reader_dict_without_optionals(PyObject* self, PyObject*) {
    return guarded([&] { return export_reader(record_of(self)).release(); });
}

PyMethodDef reader_methods[] = {
    {"dict_without_optionals", reader_dict_without_optionals, METH_NOARGS,
     "dict_without_optionals($self)\n--\n\n"},
    {"validate", reader_validate, METH_NOARGS, "validate($self)\n--\n\n"},
    {"add_to_manifest_yaml",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(reader_add_to_manifest_yaml)),
     METH_FASTCALL | METH_KEYWORDS, "add_to_manifest_yaml($self, path, reader_id)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

// ---------------------------------------------------------------------------
// Type

PyType_Slot reader_slots[] = {
    {Py_tp_doc, const_cast<char*>("ReaderConfig(**kwargs)\n--\n\n")},
    {Py_tp_new, reinterpret_cast<void*>(reader_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(reader_dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(reader_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(reader_clear)},
    {Py_tp_getset, reader_properties.data()},
    {Py_tp_members, reader_members},
    {Py_tp_methods, reader_methods},
    {0, nullptr},
};

// Not subclassable (no base-type flag). Garbage collection is on because an
// instance's attribute dictionary can refer back to the instance.
PyType_Spec reader_spec = {
    "builtins.ReaderConfig", sizeof(ReaderObject), 0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC, reader_slots,
};

}  // namespace

PyType_Spec& reader_config_spec() { return reader_spec; }
const PyMethodDef* reader_config_methods() { return reader_methods; }

bool init_export_keys() {
    bool ok = true;
    schema::find_field<ReaderConfig>([&](const auto& field, std::size_t index) {
        if (!export_keys[index]) export_keys[index] = PyUnicode_InternFromString(field.name.data());
        ok = export_keys[index] != nullptr;
        return !ok;
    });
    return ok;
}

Ref wrap_reader(ReaderConfig&& record) {
    PyTypeObject* type = reader_config_type();
    if (!type) throw InternalFailure("ReaderConfig is used before the module started");
    const auto allocate = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
    Ref instance = checked(allocate(type, 0));
    new (&as_reader(instance.get())->record) ReaderConfig(std::move(record));
    return instance;
}

}  // namespace brintel::py
