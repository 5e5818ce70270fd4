// ecosystems and osv_ecosystem: the ecosystem rows as Python sees them.
#include "ecosystems.hpp"

#include "python/args.hpp"
#include "python/boundary.hpp"
#include "python/functions.hpp"
#include "python/seq.hpp"

namespace quorlen::python {

namespace {

constexpr Signature ECOSYSTEMS_SIG{"ecosystems", {}, 0, 0};
constexpr Signature OSV_ECOSYSTEM_SIG{"osv_ecosystem", {"name"}, 1, 1};

PyObject* text_object(std::string_view s) { return PyUnicode_FromStringAndSize(s.data(), static_cast<Py_ssize_t>(s.size())); }

// A comma-separated list of names as a tuple of str.
PyObject* names_tuple(std::string_view list) {
    Py_ssize_t n = 0;
    any_name(list, [&](std::string_view) { return ++n, false; });
    OwnedRef tuple(PyTuple_New(n));
    if (!tuple) return nullptr;
    Py_ssize_t k = 0;
    const bool failed = any_name(list, [&](std::string_view name) {
        PyObject* item = text_object(name);
        if (!item) return true;
        PyTuple_SET_ITEM(tuple.get(), k++, item);
        return false;
    });
    return failed ? nullptr : tuple.release();
}

constexpr const char* family_name(strategies::validators::Family f) {
    switch (f) {
        case strategies::validators::Family::Generic: return "generic";
        case strategies::validators::Family::Semver: return "semver";
        case strategies::validators::Family::Own: break;
    }
    return "own";
}

// Sets dict[key] = value, taking the new reference value; false on failure.
bool put(PyObject* dict, const char* key, PyObject* value) {
    if (!value) return false;
    const int rc = PyDict_SetItemString(dict, key, value);
    Py_DECREF(value);
    return rc == 0;
}

PyObject* row_dict(const EcosystemRow& row) {
    OwnedRef d(PyDict_New());
    if (!d) return nullptr;
    const bool ok = put(d.get(), "name", text_object(row.name)) && put(d.get(), "aliases", names_tuple(row.aliases)) &&
                    put(d.get(), "family", PyUnicode_FromString(family_name(row.rules.family))) &&
                    put(d.get(), "purl_types", names_tuple(row.purl_types)) &&
                    put(d.get(), "osv_names", names_tuple(row.osv_names));
    return ok ? d.release() : nullptr;
}

PyObject* ecosystems(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* none[1];
    if (!bind_args(ECOSYSTEMS_SIG, args, nargs, kwnames, none)) return nullptr;
    OwnedRef tuple(PyTuple_New(static_cast<Py_ssize_t>(ECOSYSTEMS.size())));
    if (!tuple) return nullptr;
    for (const EcosystemRow& row : ECOSYSTEMS) {
        PyObject* d = row_dict(row);
        if (!d) return nullptr;
        PyTuple_SET_ITEM(tuple.get(), row.id, d);
    }
    return tuple.release();
}

PyObject* osv_ecosystem(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    const Signature& sig = OSV_ECOSYSTEM_SIG;
    PyObject* a[1];
    if (!bind_args(sig, args, nargs, kwnames, a)) return nullptr;
    auto name = str_arg(sig, 0, a[0]);
    if (!name) return nullptr;
    Result<Ecosystem> eco = ecosystem_for_osv_name(*name);
    if (!eco) {
        raise_failure(module_state(module), eco.failure_kind(), eco.error());
        return nullptr;
    }
    return text_object(eco->as_str());
}

}  // namespace

PyMethodDef ECOSYSTEMS_DEF = {"ecosystems", function_entry<ecosystems>(), METH_FASTCALL | METH_KEYWORDS,
                              "ecosystems()\n--\n\n"
                              "Every ecosystem in order: its name, aliases, family, package-URL types\n"
                              "and OSV ecosystem names."};
PyMethodDef OSV_ECOSYSTEM_DEF = {"osv_ecosystem", function_entry<osv_ecosystem>(), METH_FASTCALL | METH_KEYWORDS,
                                 "osv_ecosystem(name)\n--\n\n"
                                 "The ecosystem whose ordering applies to an OSV ecosystem name such as\n"
                                 "\"Debian:12\"; raises UnknownEcosystemError for a name it does not know."};

}  // namespace quorlen::python
