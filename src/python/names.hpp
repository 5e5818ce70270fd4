// The module's interned names: every ecosystem name and alias, "auto", and
// every keyword of its functions. Callers almost always pass the very str
// objects these are (CPython interns identifiers and literals), so an
// argument is matched by pointer first, then by its cached hash, and only
// then read as text by the general lookup. The module also keeps the three
// ints a comparison returns, so that returning one is taking a reference.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstring>
#include <optional>

#include "parser.hpp"
#include "python/boundary.hpp"

namespace quorlen::python {

// What an ecosystem argument names: "auto", or one ecosystem.
struct EcoChoice {
    bool automatic;
    Ecosystem eco;  // generic when automatic
};

// Fills the tables of a fresh state; -1 with the error set on failure.
int intern_names(ModuleState& st);
// A comparison's result as a new reference to -1, 0 or 1.
inline PyObject* ordering_object(const ModuleState& st, Ordering o) noexcept {
    PyObject* value = st.orderings[static_cast<std::size_t>(static_cast<int>(o) + 1)];
    Py_INCREF(value);
    return value;
}

// Drops the references the tables hold.
void clear_names(ModuleState& st) noexcept;

inline bool same_ascii_text(PyObject* a, PyObject* b) noexcept {
    if (!PyUnicode_IS_COMPACT_ASCII(a) || !PyUnicode_IS_COMPACT_ASCII(b)) return false;
    const Py_ssize_t n = PyUnicode_GET_LENGTH(a);
    return n == PyUnicode_GET_LENGTH(b) && std::memcmp(PyUnicode_DATA(a), PyUnicode_DATA(b), static_cast<std::size_t>(n)) == 0;
}

// The slot value (an ecosystem index or AUTO_NAME) of a str the tables hold,
// found without reading its text; nullopt when it is not one of them. A str
// whose hash was never computed gets it computed (and cached in the object).
inline std::optional<int16_t> known_name(const ModuleState& st, PyObject* name) noexcept {
    if (!PyUnicode_CheckExact(name)) return std::nullopt;
    Py_hash_t hash = reinterpret_cast<PyASCIIObject*>(name)->hash;
    if (hash == -1 && (hash = PyObject_Hash(name)) == -1) {
        PyErr_Clear();  // the general lookup reports what is wrong with the text
        return std::nullopt;
    }
    constexpr std::size_t mask = NAME_SLOTS - 1;
    for (std::size_t i = static_cast<std::size_t>(hash) & mask; st.names[i].name; i = (i + 1) & mask) {
        const NameSlot& slot = st.names[i];
        if (slot.name == name || (slot.hash == hash && same_ascii_text(slot.name, name))) return slot.value;
    }
    return std::nullopt;
}

}  // namespace quorlen::python
