// The Version class: an immutable parsed version keeping its generic parse,
// its ecosystem's parse and its ecosystem.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string_view>

#include "strategies/registry.hpp"

namespace quorlen::python {

struct PyVersion {
    PyObject_HEAD
    ParsedVersion generic;
    ParsedRepr parsed;
    Ecosystem ecosystem;
};

// The Version type, created on first use and kept for the life of the process.
PyTypeObject* version_type() noexcept;

inline bool is_version(PyObject* obj) noexcept {
    PyTypeObject* t = version_type();
    return t && Py_TYPE(obj) == t;
}

inline PyVersion* as_version(PyObject* obj) noexcept { return reinterpret_cast<PyVersion*>(obj); }

// The one construction step behind the constructor, parse, try_parse and
// from_dict. Returns a new reference, or nullptr with ValueError set.
PyObject* new_version(std::string_view text, std::string_view ecosystem) noexcept;

}  // namespace quorlen::python
