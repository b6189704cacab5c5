#include "classes.hpp"

#include "binder.hpp"
#include "entry.hpp"
#include "methods.hpp"
#include "values.hpp"

#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string_view>
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

template <class Record>
struct RecordObject {
    InstanceHeader header;
    Record record;
};

using ReaderObject = RecordObject<ReaderConfig>;

// Moving a record in must not throw once the object is allocated.
static_assert(std::is_nothrow_move_constructible_v<ReaderConfig>);

ReaderObject* as_reader(PyObject* self) { return reinterpret_cast<ReaderObject*>(self); }

// ---------------------------------------------------------------------------
// Constructor

// The keywords the constructor understands; all others are ignored.
struct Keyword {
    std::string_view name;
    bool none_leaves_unset;  // otherwise None is refused like any non-str
};

constexpr Keyword constructor_keywords[] = {
    {"model_name", false},     {"device", false},         {"consumer_group", false},
    {"log_level", false},      {"cuda_visible_devices", true}, {"max_batch_size", true},
    {"tensor_parallel", true}, {"max_sequence_length", true},
};

const Keyword* find_keyword(std::string_view name) {
    for (const Keyword& keyword : constructor_keywords) {
        if (keyword.name == name) return &keyword;
    }
    return nullptr;
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

// Sets the field named by `keyword` from `value`; false with an exception set.
bool assign_keyword(ReaderConfig& record, const Keyword& keyword, PyObject* value) {
    bool ok = true;
    schema::find_field<ReaderConfig>([&](const auto& field, std::size_t) {
        if (field.key() != keyword.name) return false;
        using Field = std::remove_cvref_t<decltype(field)>;
        if (Field::optional && keyword.none_leaves_unset && value == Py_None) return true;
        auto converted = convert_argument<typename Field::value_type>(value);
        if (converted) field.of(record) = std::move(*converted);
        ok = converted.has_value();
        return true;
    });
    return ok;
}

bool assign_keywords(ReaderConfig& record, PyObject* kwargs) {
    Py_ssize_t position = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(kwargs, &position, &key, &value)) {
        Py_ssize_t length = 0;
        const char* name = PyUnicode_AsUTF8AndSize(key, &length);
        if (!name) return false;
        const Keyword* keyword = find_keyword({name, static_cast<std::size_t>(length)});
        if (keyword && !assign_keyword(record, *keyword, value)) return false;
    }
    return true;
}

bool check_constructed(const ReaderConfig& record) {
    if (record.model_name.empty()) {
        PyErr_SetString(PyExc_TypeError, "model_name cannot be empty");
        return false;
    }
    if (record.device != "cpu" && record.device != "cuda") {
        PyErr_SetString(PyExc_TypeError, "device must be either 'cpu' or 'cuda'");
        return false;
    }
    return true;
}

PyObject* reader_new(PyTypeObject*, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        static constexpr Signature signature{"ReaderConfig.__new__()", {}, 0};
        if (!check_positional_count(signature, PyTuple_GET_SIZE(args))) return nullptr;
        ReaderConfig record;
        // A call without keywords skips the two checks: the empty record is
        // what such a call has always produced.
        if (kwargs && PyDict_GET_SIZE(kwargs) > 0) {
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
    type->tp_free(self);
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

// Types made from a spec get no `__dict__` attribute of their own; the
// generic accessors serve the dictionary at `__dictoffset__`.
template <std::size_t... I>
constexpr auto make_properties(std::index_sequence<I...>) {
    return std::array<PyGetSetDef, sizeof...(I) + 2>{{
        {schema::field_at<ReaderConfig, I>().name, &get_field<I>, nullptr, nullptr, nullptr}...,
        {"__dict__", PyObject_GenericGetDict, PyObject_GenericSetDict, nullptr, nullptr},
        {nullptr, nullptr, nullptr, nullptr, nullptr},
    }};
}

auto reader_properties = make_properties(std::make_index_sequence<schema::field_count<ReaderConfig>>{});

PyMemberDef reader_members[] = {
    {"__dictoffset__", Py_T_PYSSIZET, offsetof(InstanceHeader, dict), Py_READONLY, nullptr},
    {nullptr, 0, 0, 0, nullptr},
};

PyType_Slot reader_slots[] = {
    {Py_tp_doc, const_cast<char*>("ReaderConfig(**kwargs)\n--\n\n")},
    {Py_tp_new, reinterpret_cast<void*>(reader_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(reader_dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(reader_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(reader_clear)},
    {Py_tp_getset, reader_properties.data()},
    {Py_tp_members, reader_members},
    {0, nullptr},
};

// Not subclassable (no base-type flag). Garbage collection is on because an
// instance's attribute dictionary can refer back to the instance.
PyType_Spec reader_spec = {
    "builtins.ReaderConfig", sizeof(ReaderObject), 0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC, reader_slots,
};

// ---------------------------------------------------------------------------
// AppConfig: a registered name only; the module never makes an instance.

struct AppObject {
    PyObject_HEAD
    schema::AppConfig record;
};

PyObject* app_new(PyTypeObject*, PyObject*, PyObject*) {
    PyErr_SetString(PyExc_TypeError, "No constructor defined");
    return nullptr;
}

PyType_Slot app_slots[] = {
    {Py_tp_doc, const_cast<char*>("The app configuration")},
    {Py_tp_new, reinterpret_cast<void*>(app_new)},
    {0, nullptr},
};

PyType_Spec app_spec = {"builtins.AppConfig", sizeof(AppObject), 0, Py_TPFLAGS_DEFAULT, app_slots};

// A spec's methods would land in the class dictionary before its properties;
// adding them afterwards keeps the fields first, in their declared order.
bool add_methods(PyObject* type, PyMethodDef* methods) {
    for (PyMethodDef* method = methods; method && method->ml_name; ++method) {
        Ref descriptor = Ref::steal(PyDescr_NewMethod(reinterpret_cast<PyTypeObject*>(type), method));
        if (!descriptor || PyObject_SetAttrString(type, method->ml_name, descriptor.get()) < 0) return false;
    }
    return true;
}

PyTypeObject* type_once(PyObject*& cache, PyType_Spec& spec, PyMethodDef* methods = nullptr) {
    if (!cache) {
        Ref type = Ref::steal(PyType_FromSpec(&spec));
        if (!type || !add_methods(type.get(), methods)) return nullptr;
        cache = type.release();
    }
    return reinterpret_cast<PyTypeObject*>(cache);
}

PyObject* reader_type_object = nullptr;
PyObject* app_type_object = nullptr;

}  // namespace

PyTypeObject* reader_config_type() {
    return type_once(reader_type_object, reader_spec, reader_method_table());
}
PyTypeObject* app_config_type() { return type_once(app_type_object, app_spec); }

Ref wrap_reader(ReaderConfig&& record) {
    PyTypeObject* type = reader_config_type();
    if (!type) return {};
    Ref instance = Ref::steal(type->tp_alloc(type, 0));
    if (!instance) return {};
    new (&as_reader(instance.get())->record) ReaderConfig(std::move(record));
    return instance;
}

const ReaderConfig& record_of(PyObject* self) { return as_reader(self)->record; }

}  // namespace brintel::py
