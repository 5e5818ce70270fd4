// Module entry: multi-phase initialisation with one execution step that
// creates the module's state (the Version class and the exception classes)
// and registers them and then every function, in a fixed order, appending
// each name to __all__. Nothing is kept outside the module object, so every
// interpreter that imports the module has its own.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>

#include "python/boundary.hpp"
#include "python/functions.hpp"
#include "python/names.hpp"
#include "python/pyversion.hpp"

// The build passes the project's version; a module without it would report
// a version nobody released.
#ifndef QUORLEN_VERSION
#error "QUORLEN_VERSION must be defined by the build"
#endif

namespace quorlen::python {

namespace {

// Registration order; each name is appended to __all__ as it is added.
PyMethodDef* const FUNCTIONS[] = {
    &VERSION_DEF,
    &COMPARE_DEF,
    &COMPARE_SEMVER_STRICT_DEF,
    &SORT_VERSIONS_DEF,
    &BATCH_COMPARE_DEF,
    &GT_DEF,
    &GE_DEF,
    &GTE_DEF,
    &LT_DEF,
    &LE_DEF,
    &LTE_DEF,
    &EQ_DEF,
    &NE_DEF,
    &MAX_VERSION_DEF,
    &MIN_VERSION_DEF,
    &STABLE_VERSIONS_DEF,
    &LATEST_STABLE_DEF,
    &SATISFIES_DEF,
    &RANGE_CONTAINS_DEF,
    &RANGES_INTERSECT_DEF,
    &RANGE_INTERSECTION_DEF,
    &RANGE_UNION_DEF,
    &RANGE_SUBSET_DEF,
    &RANGE_COMPLEMENT_DEF,
    &RANGE_DIFFERENCE_DEF,
    &RANGE_SIMPLIFY_DEF,
    &PARSE_PURL_DEF,
    &BUILD_PURL_DEF,
    &PURL_ECOSYSTEM_DEF,
    &BUILD_VERS_DEF,
    &VERS_CONTAINS_DEF,
    &OSV_AFFECTED_DEF,
    &OSV_RANGE_DEF,
    &BUMP_MAJOR_DEF,
    &BUMP_MINOR_DEF,
    &BUMP_PATCH_DEF,
    &BUMP_PRERELEASE_DEF,
    &NEXT_STABLE_DEF,
    &ECOSYSTEMS_DEF,
    &OSV_ECOSYSTEM_DEF,
};

// Adds obj (a new reference, stolen) under name and appends name to __all__.
int add_public(PyObject* module, PyObject* all, const char* name, PyObject* obj) {
    if (!obj) return -1;
    const int rc = PyModule_AddObject(module, name, obj);
    if (rc < 0) {
        Py_DECREF(obj);
        return -1;
    }
    PyObject* text = PyUnicode_FromString(name);
    if (!text) return -1;
    const int ar = PyList_Append(all, text);
    Py_DECREF(text);
    return ar;
}

int exec_module(PyObject* module) {
    if (!PyModule_Check(module)) {
        PyErr_Format(PyExc_TypeError, "expected module, not %s", Py_TYPE(module)->tp_name);
        return -1;
    }
    PyObject* all = PyList_New(0);
    if (!all) return -1;
    if (PyModule_AddObject(module, "__all__", all) < 0) {
        Py_DECREF(all);
        return -1;
    }  // the module now owns `all`; it stays alive while we append to it
    if (PyModule_AddStringConstant(module, "__version__", QUORLEN_VERSION) < 0) return -1;

    ModuleState& st = module_state(module);
    if (intern_names(st) < 0) return -1;
    st.version_type = make_version_type(module);
    if (!st.version_type) return -1;
    Py_INCREF(st.version_type);
    if (add_public(module, all, "Version", reinterpret_cast<PyObject*>(st.version_type)) < 0) return -1;
    st.unknown_ecosystem_error = PyErr_NewExceptionWithDoc(
        "quorlen.UnknownEcosystemError", "An ecosystem name that no ecosystem answers to.", PyExc_ValueError, nullptr);
    if (!st.unknown_ecosystem_error) return -1;
    Py_INCREF(st.unknown_ecosystem_error);
    if (add_public(module, all, "UnknownEcosystemError", st.unknown_ecosystem_error) < 0) return -1;

    PyObject* modname = PyModule_GetNameObject(module);
    if (!modname) return -1;
    for (PyMethodDef* def : FUNCTIONS) {
        if (add_public(module, all, def->ml_name, PyCFunction_NewEx(def, module, modname)) < 0) {
            Py_DECREF(modname);
            return -1;
        }
    }
    Py_DECREF(modname);
    return 0;
}

int traverse_module(PyObject* module, visitproc visit, void* arg) {
    ModuleState* st = static_cast<ModuleState*>(PyModule_GetState(module));
    if (st) {
        Py_VISIT(st->version_type);
        Py_VISIT(st->unknown_ecosystem_error);
    }
    return 0;
}

int clear_module(PyObject* module) {
    ModuleState* st = static_cast<ModuleState*>(PyModule_GetState(module));
    if (st) {
        Py_CLEAR(st->version_type);
        Py_CLEAR(st->unknown_ecosystem_error);
        clear_names(*st);
    }
    return 0;
}

void free_module(void* module) { clear_module(static_cast<PyObject*>(module)); }

PyModuleDef_Slot SLOTS[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
#ifdef Py_mod_multiple_interpreters
    {Py_mod_multiple_interpreters, Py_MOD_PER_INTERPRETER_GIL_SUPPORTED},
#endif
    {0, nullptr},
};

PyModuleDef MODULE = {
    PyModuleDef_HEAD_INIT,
    "_quorlen",
    "",
    sizeof(ModuleState),
    nullptr,
    SLOTS,
    traverse_module,
    clear_module,
    free_module,
};

}  // namespace

}  // namespace quorlen::python

PyMODINIT_FUNC PyInit__quorlen(void) { return PyModuleDef_Init(&quorlen::python::MODULE); }
