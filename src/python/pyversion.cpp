// The Version class.
#include "python/pyversion.hpp"

#include <new>
#include <vector>

#include "python/args.hpp"
#include "python/conv.hpp"

namespace quorlen::python {

namespace {

constexpr Signature NEW_SIG{"Version", {"version", "ecosystem"}, 2, 1};

PyTypeObject* g_version_type = nullptr;

// Builds the instance from its three fields.
PyObject* make_instance(PyTypeObject* type, ParsedVersion&& generic, ParsedRepr&& parsed, Ecosystem eco) noexcept {
    PyObject* self = type->tp_alloc(type, 0);
    if (!self) return nullptr;
    PyVersion* v = as_version(self);
    new (&v->generic) ParsedVersion(std::move(generic));
    new (&v->parsed) ParsedRepr(std::move(parsed));
    v->ecosystem = eco;
    return self;
}

// Constructor body shared by the vectorcall and tp_new paths.
PyObject* construct(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    const Signature& sig = NEW_SIG;
    PyObject* out[2];
    if (!bind_args(sig, args, nargs, kwnames, out)) return nullptr;
    auto text = str_arg(sig, 0, out[0]);
    if (!text) return nullptr;
    std::string_view eco = "auto";
    if (out[1]) {
        auto name = str_arg(sig, 1, out[1]);
        if (!name) return nullptr;
        eco = *name;
    }
    return new_version(*text, eco);
}

PyObject* version_vectorcall(PyObject*, PyObject* const* args, size_t nargsf, PyObject* kwnames) noexcept {
    return construct(args, PyVectorcall_NARGS(nargsf), kwnames);
}

// Version.__new__(Version, ...) and other tuple/dict calls: flatten to the
// vectorcall layout.
PyObject* version_new(PyTypeObject*, PyObject* args, PyObject* kwargs) noexcept {
    const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
    const Py_ssize_t nkw = kwargs ? PyDict_GET_SIZE(kwargs) : 0;
    std::vector<PyObject*> flat(static_cast<std::size_t>(nargs + nkw));
    for (Py_ssize_t i = 0; i < nargs; ++i) flat[i] = PyTuple_GET_ITEM(args, i);
    PyObject* kwnames = nullptr;
    if (nkw > 0) {
        kwnames = PyTuple_New(nkw);
        if (!kwnames) return nullptr;
        Py_ssize_t pos = 0, k = 0;
        PyObject *key, *value;
        while (PyDict_Next(kwargs, &pos, &key, &value)) {
            Py_INCREF(key);
            PyTuple_SET_ITEM(kwnames, k, key);
            flat[nargs + k] = value;
            ++k;
        }
    }
    PyObject* result = construct(flat.data(), nargs, kwnames);
    Py_XDECREF(kwnames);
    return result;
}

void version_dealloc(PyObject* self) noexcept {
    PyTypeObject* type = Py_TYPE(self);
    PyVersion* v = as_version(self);
    v->generic.~ParsedVersion();
    v->parsed.~ParsedRepr();
    type->tp_free(self);
    Py_DECREF(type);
}

PyObject* version_str(PyObject* self) noexcept {
    const std::string& raw = as_version(self)->generic.raw;
    return PyUnicode_FromStringAndSize(raw.data(), static_cast<Py_ssize_t>(raw.size()));
}

PyType_Slot VERSION_SLOTS[] = {
    {Py_tp_doc, const_cast<char*>("Version(version, ecosystem=\"auto\")\n--\n\n")},
    {Py_tp_new, reinterpret_cast<void*>(version_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(version_dealloc)},
    {Py_tp_str, reinterpret_cast<void*>(version_str)},
    {0, nullptr},
};

PyType_Spec VERSION_SPEC = {
    "quorlen.Version",
    sizeof(PyVersion),
    0,
    Py_TPFLAGS_DEFAULT,
    VERSION_SLOTS,
};

}  // namespace

PyTypeObject* version_type() noexcept {
    if (!g_version_type) {
        g_version_type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&VERSION_SPEC));
        // Calls to the class skip the tuple/dict round trip of tp_new.
        if (g_version_type) g_version_type->tp_vectorcall = version_vectorcall;
    }
    return g_version_type;
}

PyObject* new_version(std::string_view text, std::string_view eco_name) noexcept {
    PyTypeObject* type = version_type();
    if (!type) return nullptr;
    ParsedVersion generic = parse_generic(text);
    if (is_auto(eco_name)) {
        const Ecosystem detected = autodetect_ecosystem(text);
        Result<ParsedRepr> r = parse_for_ecosystem(detected, text);
        if (r) return make_instance(type, std::move(generic), std::move(r).value(), detected);
        ParsedRepr fallback(generic);
        return make_instance(type, std::move(generic), std::move(fallback), Ecosystem::Generic);
    }
    auto eco = eco_from_str(eco_name);
    if (!eco) return nullptr;
    auto parsed = parse_or_raise(*eco, text);
    if (!parsed) return nullptr;
    return make_instance(type, std::move(generic), std::move(*parsed), *eco);
}

}  // namespace quorlen::python
