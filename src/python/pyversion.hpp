// The Version class: a CPython object holding a packed version
// (packed_version.hpp) of its text under its ecosystem.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <string_view>

#include "packed_version.hpp"
#include "python/names.hpp"
#include "strategies/registry.hpp"

namespace quorlen::python {

// One instance is one allocation: the object header, then the packed
// version with its tail.
struct PyVersion {
    PyObject_VAR_HEAD  // ob_size: bytes in the tail
    packed::PackedVersion packed;
};

static_assert(sizeof(PyVersion) == offsetof(PyVersion, packed) + sizeof(packed::PackedVersion),
              "the packed tail starts right after the object");

inline packed::PackedVersion* as_version(PyObject* obj) { return &reinterpret_cast<PyVersion*>(obj)->packed; }

// A new Version type belonging to the module (a new reference), or nullptr
// with the error set. Each module object has its own.
PyTypeObject* make_version_type(PyObject* module);

void version_dealloc(PyObject* self) noexcept;

// Every Version type, whichever module made it, frees its instances here; the
// class cannot be subclassed, so that identifies its instances.
inline bool is_version(PyObject* obj) { return Py_TYPE(obj)->tp_dealloc == &version_dealloc; }


// The one construction step behind the constructor, parse, try_parse and
// from_dict. Returns a new reference, or nullptr with ValueError set.
PyObject* new_version(PyTypeObject* type, std::string_view text, std::string_view ecosystem);
// The same with the ecosystem argument already read.
PyObject* new_version(PyTypeObject* type, std::string_view text, EcoChoice ecosystem);

// What the conversions read of an instance (obj must be a Version). The raw
// text is borrowed and lives as long as obj; the two parses are rebuilt
// copies, equal to what the constructor computed.
std::string_view version_raw(PyObject* obj);
Ecosystem version_ecosystem(PyObject* obj);
ParsedVersion version_generic(PyObject* obj);
ParsedRepr version_parsed(PyObject* obj);

}  // namespace quorlen::python
