// The Version class: the CPython type over a packed version (packed_version.hpp).
#include "python/pyversion.hpp"

#include <algorithm>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "packed_version.hpp"
#include "python/args.hpp"
#include "python/boundary.hpp"
#include "python/conv.hpp"
#include "python/seq.hpp"
#include "strategies/generic.hpp"
#include "strategies/pep440.hpp"

namespace quorlen::python {

namespace {

using namespace packed;
using strategies::generic::detail::significant;

bool ordering_matches(Ordering o, int op) {
    switch (op) {
        case Py_LT: return o == Ordering::Less;
        case Py_LE: return o != Ordering::Greater;
        case Py_EQ: return o == Ordering::Equal;
        case Py_NE: return o != Ordering::Equal;
        case Py_GT: return o == Ordering::Greater;
        default: return o != Ordering::Less;  // Py_GE
    }
}

// ---------------------------------------------------------------- Python values

PyObject* str_of(std::string_view s) { return PyUnicode_FromStringAndSize(s.data(), static_cast<Py_ssize_t>(s.size())); }

PyObject* segment_object(const PackedSeg& s) {
    if (s.is_number()) return PyLong_FromUnsignedLongLong(s.number);
    return str_of(s.text_view());
}

// Entry i of the generic segments if it exists and is a number, else 0.
uint64_t number_at(const PackedVersion* v, std::size_t i) {
    const auto segs = segments_of(v);
    return i < segs.size() && segs[i].is_number() ? segs[i].number : 0;
}

PyObject* ecosystem_name(const PackedVersion* v) { return str_of(eco_of(v).as_str()); }

// ---------------------------------------------------------------- construction

constexpr Signature NEW_SIG{"Version", {"version", "ecosystem"}, 2, 1};
constexpr Signature PARSE_SIG{"parse", {"version", "ecosystem"}, 2, 1};
constexpr Signature TRY_PARSE_SIG{"try_parse", {"version", "ecosystem"}, 2, 1};
constexpr Signature FROM_DICT_SIG{"from_dict", {"data"}, 1, 1};
constexpr Signature COMPARE_SIG{"compare", {"other", "ecosystem"}, 2, 1};
constexpr Signature GETITEM_SIG{"__getitem__", {"idx"}, 1, 1};

// Binds (version, ecosystem="auto") and runs the construction step.
PyObject* construct(PyTypeObject* type, const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    const ModuleState& st = type_state(type);
    PyObject* out[2];
    if (!bind_args(&st.keywords, sig, args, nargs, kwnames, out)) return nullptr;
    auto text = str_arg(sig, 0, out[0]);
    if (!text) return nullptr;
    EcoChoice eco{true, Ecosystem::Generic};
    if (out[1]) {
        const std::optional<EcoChoice> named = ecosystem_choice(st, sig, 1, out[1]);
        if (!named) return nullptr;
        eco = *named;
    }
    return new_version(type, *text, eco);
}

PyObject* version_vectorcall(PyObject* type, PyObject* const* args, size_t nargsf, PyObject* kwnames) {
    return construct(reinterpret_cast<PyTypeObject*>(type), NEW_SIG, args, PyVectorcall_NARGS(nargsf), kwnames);
}

// Version.__new__(Version, ...) and other tuple/dict calls: flatten to the
// vectorcall layout.
PyObject* version_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
    const Py_ssize_t nkw = kwargs ? PyDict_GET_SIZE(kwargs) : 0;
    std::vector<PyObject*> flat(static_cast<std::size_t>(nargs + nkw));
    for (Py_ssize_t i = 0; i < nargs; ++i) flat[i] = PyTuple_GET_ITEM(args, i);
    OwnedRef kwnames(nullptr);
    if (nkw > 0) {
        kwnames.reset(PyTuple_New(nkw));
        if (!kwnames) return nullptr;
        Py_ssize_t pos = 0, k = 0;
        PyObject *key, *value;
        while (PyDict_Next(kwargs, &pos, &key, &value)) {
            Py_INCREF(key);
            PyTuple_SET_ITEM(kwnames.get(), k, key);
            flat[nargs + k] = value;
            ++k;
        }
    }
    return construct(type, NEW_SIG, flat.data(), nargs, kwnames.get());
}

// A class method: Python hands it the class.
PyObject* version_parse(PyObject* cls, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return construct(reinterpret_cast<PyTypeObject*>(cls), PARSE_SIG, args, nargs, kwnames);
}

PyObject* version_try_parse(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* v = construct(module_state(module).version_type, TRY_PARSE_SIG, args, nargs, kwnames);
    if (!v && PyErr_ExceptionMatches(PyExc_ValueError)) {
        PyErr_Clear();
        Py_RETURN_NONE;
    }
    return v;
}

// A str value of data[key]: a new reference, or nullptr with the error set
// (absent keys leave no error and set *missing).
PyObject* dict_str(PyObject* data, const char* key, bool* missing) {
    *missing = false;
    PyObject* name = PyUnicode_FromString(key);
    if (!name) return nullptr;
    PyObject* value = PyDict_GetItemWithError(data, name);
    Py_DECREF(name);
    if (!value) {
        if (!PyErr_Occurred()) *missing = true;
        return nullptr;
    }
    if (!PyUnicode_Check(value)) {
        PyErr_Format(PyExc_TypeError, "from_dict() key '%s' must be str, not %s", key,
                     value == Py_None ? "None" : Py_TYPE(value)->tp_name);
        return nullptr;
    }
    Py_INCREF(value);  // the dict may be changed by whatever runs next
    return value;
}

PyObject* version_from_dict(PyObject* cls, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    const Signature& sig = FROM_DICT_SIG;
    PyObject* data;
    if (!bind_args(sig, args, nargs, kwnames, &data)) return nullptr;
    if (!PyDict_Check(data)) {
        raise_arg_type(sig, 0, "dict", data);
        return nullptr;
    }
    bool missing = false;
    OwnedRef raw(dict_str(data, "raw", &missing));
    if (!raw) {
        if (missing) raise_value_error("missing 'raw' key");
        return nullptr;
    }
    OwnedRef eco(dict_str(data, "ecosystem", &missing));
    if (!eco && !missing) return nullptr;
    auto text = utf8_of(raw.get());
    if (!text) return nullptr;
    auto* type = reinterpret_cast<PyTypeObject*>(cls);
    if (!eco) return new_version(type, *text, "auto");
    auto name = utf8_of(eco.get());
    if (!name) return nullptr;
    return new_version(type, *text, *name);
}

}  // namespace

void version_dealloc(PyObject* self) noexcept {
    PyTypeObject* type = Py_TYPE(self);
    destroy_packed(as_version(self));
    type->tp_free(self);
    Py_DECREF(type);
}

namespace {

// ---------------------------------------------------------------- properties

#define GETTER(name) PyObject* get_##name(PyObject* self, void*)

GETTER(raw) { return str_of(raw_of(as_version(self))); }
GETTER(ecosystem) { return ecosystem_name(as_version(self)); }
GETTER(epoch) { return PyLong_FromUnsignedLongLong(as_version(self)->epoch); }
GETTER(build) { return str_of(build_of(as_version(self))); }
GETTER(is_prerelease) { return PyBool_FromLong(as_version(self)->flags & FLAG_PRE); }
GETTER(is_postrelease) { return PyBool_FromLong(as_version(self)->flags & FLAG_POST); }
GETTER(is_stable) { return PyBool_FromLong(!(as_version(self)->flags & FLAG_PRE)); }
GETTER(count) { return PyLong_FromSize_t(as_version(self)->seg_count); }
GETTER(major) { return PyLong_FromUnsignedLongLong(number_at(as_version(self), 0)); }
GETTER(minor) { return PyLong_FromUnsignedLongLong(number_at(as_version(self), 1)); }
GETTER(patch) { return PyLong_FromUnsignedLongLong(number_at(as_version(self), 2)); }

#undef GETTER

// ---------------------------------------------------------------- methods

PyObject* version_segments(PyObject* self, PyObject*) {
    const auto segs = segments_of(as_version(self));
    PyObject* tuple = PyTuple_New(static_cast<Py_ssize_t>(segs.size()));
    if (!tuple) return nullptr;
    for (std::size_t i = 0; i < segs.size(); ++i) {
        PyObject* item = segment_object(segs[i]);
        if (!item) {
            Py_DECREF(tuple);
            return nullptr;
        }
        PyTuple_SET_ITEM(tuple, static_cast<Py_ssize_t>(i), item);
    }
    return tuple;
}

PyObject* version_release(PyObject* self, PyObject*) {
    const auto segs = segments_of(as_version(self));
    std::size_t n = 0;
    while (n < segs.size() && segs[n].is_number()) ++n;
    PyObject* tuple = PyTuple_New(static_cast<Py_ssize_t>(n));
    if (!tuple) return nullptr;
    for (std::size_t i = 0; i < n; ++i) {
        PyObject* item = PyLong_FromUnsignedLongLong(segs[i].number);
        if (!item) {
            Py_DECREF(tuple);
            return nullptr;
        }
        PyTuple_SET_ITEM(tuple, static_cast<Py_ssize_t>(i), item);
    }
    return tuple;
}

// Sets data[key] = value, taking the new reference value; false on failure.
bool put(PyObject* dict, const char* key, PyObject* value) {
    if (!value) return false;
    const int rc = PyDict_SetItemString(dict, key, value);
    Py_DECREF(value);
    return rc == 0;
}

PyObject* version_to_dict(PyObject* self, PyObject*) {
    const PackedVersion* v = as_version(self);
    PyObject* d = PyDict_New();
    if (!d) return nullptr;
    const bool ok = put(d, "raw", str_of(raw_of(v))) && put(d, "ecosystem", ecosystem_name(v)) &&
                    put(d, "epoch", PyLong_FromUnsignedLongLong(v->epoch)) &&
                    put(d, "major", PyLong_FromUnsignedLongLong(number_at(v, 0))) &&
                    put(d, "minor", PyLong_FromUnsignedLongLong(number_at(v, 1))) &&
                    put(d, "patch", PyLong_FromUnsignedLongLong(number_at(v, 2))) && put(d, "build", str_of(build_of(v))) &&
                    put(d, "is_prerelease", PyBool_FromLong(v->flags & FLAG_PRE)) &&
                    put(d, "is_postrelease", PyBool_FromLong(v->flags & FLAG_POST));
    if (!ok) {
        Py_DECREF(d);
        return nullptr;
    }
    return d;
}

// Sort keys hold Python ints that must fit a signed 64-bit value.
constexpr uint64_t KEY_MAX = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());

// Appends key_tuple(kind, weight, text) to list; false on failure.
bool append_key(PyObject* list, int kind, int64_t weight, std::string_view text) {
    PyObject* t = Py_BuildValue("(iLs#)", kind, static_cast<long long>(weight), text.data(), static_cast<Py_ssize_t>(text.size()));
    if (!t) return false;
    const int rc = PyList_Append(list, t);
    Py_DECREF(t);
    return rc == 0;
}

bool append_number_key(PyObject* list, uint64_t n) {
    return append_key(list, 2, static_cast<int64_t>(std::min(n, KEY_MAX)), "");
}

template <class S>
bool append_local_keys(PyObject* list, std::span<const S> local) {
    const std::size_t end = significant(local);
    for (std::size_t i = 0; i < end; ++i) {
        const bool ok = local[i].is_number() ? append_number_key(list, local[i].number)
                                             : append_key(list, 1, UNKNOWN_TAG_WEIGHT, text_of(local[i]));
        if (!ok) return false;
    }
    return append_key(list, 1, RELEASE_WEIGHT, "");
}

bool append_sort_keys(PyObject* list, const PackedVersion* v) {
    if (!append_number_key(list, v->epoch)) return false;
    const auto segs = segments_of(v);
    const KeptSegments k = kept_segments(segs);
    for (std::size_t i = 0; i < k.lead_end; ++i)
        if (!append_number_key(list, segs[i].number)) return false;
    for (std::size_t i = k.rest_begin; i < k.end; ++i) {
        const PackedSeg& s = segs[i];
        const bool ok = s.is_number() ? append_number_key(list, s.number)
                                      : append_key(list, 1, tag_weight(s.text_view()).value_or(UNKNOWN_TAG_WEIGHT), s.text_view());
        if (!ok) return false;
    }
    if (!append_key(list, 1, RELEASE_WEIGHT, "")) return false;

    // The PEP 440 local label orders after the release, so it closes the key.
    if (kind_of(v) == Kind::Pep440 && (v->flags & FLAG_LOCAL)) return append_local_keys(list, local_of(v));
    if (const ParsedRepr* boxed = boxed_of(v)) {
        const auto* p = std::get_if<Pep440Version>(boxed);
        if (p && p->local) return append_local_keys(list, std::span<const Seg>(p->local->data(), p->local->size()));
    }
    return true;
}

PyObject* version_sort_key(PyObject* self, PyObject*) {
    PyObject* list = PyList_New(0);
    if (!list) return nullptr;
    PyObject* result = append_sort_keys(list, as_version(self)) ? PyList_AsTuple(list) : nullptr;
    Py_DECREF(list);
    return result;
}

PyObject* version_reduce(PyObject* self, PyObject*) {
    const PackedVersion* v = as_version(self);
    const std::string_view raw = raw_of(v);
    const std::string_view eco = eco_of(v).as_str();
    return Py_BuildValue("(O(s#s#))", reinterpret_cast<PyObject*>(Py_TYPE(self)), raw.data(),
                         static_cast<Py_ssize_t>(raw.size()), eco.data(), static_cast<Py_ssize_t>(eco.size()));
}

PyObject* version_compare(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    const Signature& sig = COMPARE_SIG;
    const ModuleState& st = type_state(Py_TYPE(self));
    PyObject* a[2];
    if (!bind_args(&st.keywords, sig, args, nargs, kwnames, a)) return nullptr;
    const PackedVersion* v = as_version(self);
    Ecosystem eco = eco_of(v);
    if (a[1] && a[1] != Py_None) {
        const std::optional<EcoChoice> named = ecosystem_choice(st, sig, 1, a[1]);
        if (!named) return nullptr;
        if (!named->automatic) eco = named->eco;
    }
    std::optional<ParsedRepr> left;
    if (eco == eco_of(v))
        left = rebuild_parsed(v);
    else
        left = parse_or_raise(eco, raw_of(v));
    if (!left) return nullptr;
    auto right = extract_parsed_for_ecosystem(a[0], eco);
    if (!right) return nullptr;
    return ordering_to_int(compare_for_ecosystem(eco, *left, *right));
}

// ---------------------------------------------------------------- protocol slots

PyObject* version_str(PyObject* self) { return str_of(raw_of(as_version(self))); }

PyObject* version_repr(PyObject* self) {
    const std::string_view raw = raw_of(as_version(self));
    std::string text = "Version('";
    text.append(raw);
    text += "')";
    return str_of(text);
}

Py_ssize_t version_len(PyObject* self) { return static_cast<Py_ssize_t>(as_version(self)->seg_count); }

int version_bool(PyObject* self) { return as_version(self)->seg_count > 0; }

PyObject* version_getitem(PyObject* self, PyObject* key) {
    if (!PyIndex_Check(key)) {
        raise_arg_type(GETITEM_SIG, 0, "int", key);
        return nullptr;
    }
    PyObject* index = PyNumber_Index(key);
    if (!index) return nullptr;
    const long long idx = PyLong_AsLongLong(index);
    Py_DECREF(index);
    if (idx == -1 && PyErr_Occurred()) return nullptr;
    const PackedVersion* v = as_version(self);
    const auto count = static_cast<long long>(v->seg_count);
    // A count below 2^32 keeps the sum clear of overflow for any idx >= -2^63.
    const long long at = idx < 0 ? idx + count : idx;
    if (at < 0 || at >= count) {
        PyErr_Format(PyExc_IndexError, "segment index %lld out of range (version has %lld segments)", idx, count);
        return nullptr;
    }
    return segment_object(segments_of(v)[static_cast<std::size_t>(at)]);
}

Py_hash_t version_hash(PyObject* self) {
    const auto h = static_cast<Py_hash_t>(hash_packed(as_version(self)));
    return h == -1 ? -2 : h;
}

PyObject* version_richcompare(PyObject* self, PyObject* other, int op) {
    PackedVersion* v = as_version(self);
    Ordering o;
    if (is_version(other)) {
        PackedVersion* w = as_version(other);
        o = v->eco == w->eco ? cmp_same_ecosystem(v, w) : cmp_packed_generic(v, w);
    } else if (PyUnicode_Check(other)) {
        auto text = utf8_of(other);
        if (!text) return nullptr;
        const Ecosystem eco = eco_of(v);
        auto right = parse_or_raise(eco, *text);
        if (!right) return nullptr;
        o = compare_for_ecosystem(eco, rebuild_parsed(v), *right);
    } else {
        Py_RETURN_NOTIMPLEMENTED;
    }
    return PyBool_FromLong(ordering_matches(o, op));
}

// ---------------------------------------------------------------- the type


constexpr int FAST = METH_FASTCALL | METH_KEYWORDS;

PyMethodDef VERSION_METHODS[] = {
    {"parse", function_entry<version_parse>(), FAST | METH_CLASS,
     "parse($cls, version, ecosystem=\"auto\")\n--\n\n"
     "Classmethod alternative to the constructor; raises `ValueError` on invalid input."},
    {"from_dict", function_entry<version_from_dict>(), FAST | METH_CLASS,
     "from_dict($cls, data)\n--\n\n"
     "Reconstruct a Version from the dict produced by `to_dict()`."},
    {"segments", noargs_entry<version_segments>(), METH_NOARGS, "segments($self)\n--\n\n"},
    {"release", noargs_entry<version_release>(), METH_NOARGS, "release($self)\n--\n\n"},
    {"to_dict", noargs_entry<version_to_dict>(), METH_NOARGS, "to_dict($self)\n--\n\n"},
    {"sort_key", noargs_entry<version_sort_key>(), METH_NOARGS, "sort_key($self)\n--\n\n"},
    {"__reduce__", noargs_entry<version_reduce>(), METH_NOARGS,
     "__reduce__($self)\n--\n\n"
     "Pickle support. Restores via `Version(raw, ecosystem)` so the parsed\n"
     "state is rebuilt identically."},
    {"compare", function_entry<version_compare>(), FAST, "compare($self, other, ecosystem=None)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

// A static method, bound by hand to the module whose class it builds (Python
// hands static methods neither class nor module).
PyMethodDef TRY_PARSE_DEF = {"try_parse", function_entry<version_try_parse>(), FAST,
                             "try_parse(version, ecosystem=\"auto\")\n--\n\n"
                             "Fallible parse; returns None instead of raising on invalid input."};

#define PROPERTY(name) {#name, guarded<get_##name>, nullptr, nullptr, nullptr}
PyGetSetDef VERSION_GETSET[] = {
    PROPERTY(raw),   PROPERTY(ecosystem),     PROPERTY(epoch),          PROPERTY(build),
    PROPERTY(is_prerelease), PROPERTY(is_postrelease), PROPERTY(is_stable), PROPERTY(count),
    PROPERTY(major), PROPERTY(minor),         PROPERTY(patch),          {nullptr, nullptr, nullptr, nullptr, nullptr},
};
#undef PROPERTY

PyType_Slot VERSION_SLOTS[] = {
    {Py_tp_doc, const_cast<char*>("Version(version, ecosystem=\"auto\")\n--\n\n")},
    {Py_tp_new, slot<version_new>()},
    {Py_tp_dealloc, reinterpret_cast<void*>(version_dealloc)},
    {Py_tp_str, slot<version_str>()},
    {Py_tp_repr, slot<version_repr>()},
    {Py_tp_hash, slot<version_hash>()},
    {Py_tp_richcompare, slot<version_richcompare>()},
    {Py_tp_methods, VERSION_METHODS},
    {Py_tp_getset, VERSION_GETSET},
    {Py_mp_length, slot<version_len>()},
    {Py_mp_subscript, slot<version_getitem>()},
    {Py_nb_bool, slot<version_bool>()},
    {0, nullptr},
};

#ifdef Py_TPFLAGS_IMMUTABLETYPE
constexpr unsigned long VERSION_FLAGS = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE;
#else
constexpr unsigned long VERSION_FLAGS = Py_TPFLAGS_DEFAULT;
#endif

// Item size 1: each instance carries ob_size bytes of tail after the struct.
PyType_Spec VERSION_SPEC = {
    "quorlen.Version",
    sizeof(PyVersion),
    1,
    static_cast<unsigned int>(VERSION_FLAGS),
    VERSION_SLOTS,
};

}  // namespace

PyTypeObject* make_version_type(PyObject* module) {
    OwnedRef type(PyType_FromModuleAndSpec(module, &VERSION_SPEC, nullptr));
    if (!type) return nullptr;
    auto* t = reinterpret_cast<PyTypeObject*>(type.get());
    // Calls to the class skip the tuple/dict round trip of tp_new.
    t->tp_vectorcall = guarded<version_vectorcall>;
    OwnedRef function(PyCFunction_NewEx(&TRY_PARSE_DEF, module, nullptr));
    if (!function) return nullptr;
    OwnedRef method(PyStaticMethod_New(function.get()));
    if (!method || PyDict_SetItemString(t->tp_dict, "try_parse", method.get()) < 0) return nullptr;
    PyType_Modified(t);
    return reinterpret_cast<PyTypeObject*>(type.release());
}

namespace {

// The block of a new instance of the type, whose tail holds tail_bytes; the
// instance itself is left in *ctx.
struct Allocation {
    PyTypeObject* type;
    PyObject* self = nullptr;
};

PackedVersion* allocate(void* ctx, std::size_t tail_bytes) {
    auto* a = static_cast<Allocation*>(ctx);
    a->self = a->type->tp_alloc(a->type, static_cast<Py_ssize_t>(tail_bytes));
    return a->self ? as_version(a->self) : nullptr;
}

}  // namespace

PyObject* new_version(PyTypeObject* type, std::string_view text, std::string_view eco_name) {
    if (is_auto(eco_name)) return new_version(type, text, EcoChoice{true, Ecosystem::Generic});
    const std::optional<Ecosystem> eco = eco_from_str(type_state(type), eco_name);
    if (!eco) return nullptr;
    return new_version(type, text, EcoChoice{false, *eco});
}

PyObject* new_version(PyTypeObject* type, std::string_view text, EcoChoice choice) {
    const Ecosystem eco = choice.automatic ? autodetect_ecosystem(text) : choice.eco;
    Allocation a{type};
    Result<PackedVersion*> built = build_packed(text, eco, choice.automatic, allocate, &a);
    if (!built) {
        raise_value_error(built.error());
        return nullptr;
    }
    return a.self;
}

std::string_view version_raw(PyObject* obj) { return raw_of(as_version(obj)); }

Ecosystem version_ecosystem(PyObject* obj) { return eco_of(as_version(obj)); }

ParsedVersion version_generic(PyObject* obj) { return rebuild_generic(as_version(obj)); }

ParsedRepr version_parsed(PyObject* obj) { return rebuild_parsed(as_version(obj)); }

}  // namespace quorlen::python
