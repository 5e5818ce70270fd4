// The Version class: an immutable parsed version keeping its generic parse,
// its ecosystem's parse and its ecosystem.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <string_view>

#include "strategies/registry.hpp"

namespace quorlen::python {

// One instance is one allocation of about 60 bytes plus its tail, so that
// a list of a million versions costs what their texts cost and little more
// (a ParsedVersion alone takes some 800 bytes). The tail holds, in order:
// the ecosystem's own parse when it adds anything to the generic one (the
// payload, of the kind named by `kind`), the generic segments, the PEP 440
// local segments, then the bytes of raw, of build and of the segment texts.
// The ecosystem's ParsedRepr is rebuilt from these where a caller needs one.
struct PyVersion {
    PyObject_VAR_HEAD  // ob_size: bytes in the tail
    uint64_t epoch;
    uint32_t raw_len;
    uint32_t build_len;
    uint32_t seg_count;
    uint32_t local_count;
    uint8_t eco;    // Ecosystem value
    uint8_t kind;   // what the payload is
    uint8_t flags;  // prerelease, postrelease, local label present
};

// A new Version type belonging to the module (a new reference), or nullptr
// with the error set. Each module object has its own.
PyTypeObject* make_version_type(PyObject* module);

void version_dealloc(PyObject* self) noexcept;

// Every Version type, whichever module made it, frees its instances here; the
// class cannot be subclassed, so that identifies its instances.
inline bool is_version(PyObject* obj) { return Py_TYPE(obj)->tp_dealloc == &version_dealloc; }

inline PyVersion* as_version(PyObject* obj) { return reinterpret_cast<PyVersion*>(obj); }

// The one construction step behind the constructor, parse, try_parse and
// from_dict. Returns a new reference, or nullptr with ValueError set.
PyObject* new_version(PyTypeObject* type, std::string_view text, std::string_view ecosystem);

// What the conversions read of an instance (obj must be a Version). The raw
// text is borrowed and lives as long as obj; the two parses are rebuilt
// copies, equal to what the constructor computed.
std::string_view version_raw(PyObject* obj);
Ecosystem version_ecosystem(PyObject* obj);
ParsedVersion version_generic(PyObject* obj);
ParsedRepr version_parsed(PyObject* obj);

}  // namespace quorlen::python
