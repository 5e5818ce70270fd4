// Where Python calls into C++: the module's state, and the one wrapper every
// module function and every Version slot enters through. Inside it any C++
// code may throw; the wrapper turns an allocation failure into MemoryError
// and anything else that escapes into a SystemError naming it, so nothing
// unwinds into the interpreter.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <cstdint>
#include <string_view>
#include <type_traits>

#include "core/result.hpp"
#include "python/args.hpp"

namespace quorlen::python {

// One accepted ecosystem name (or "auto") as an interned str of the module,
// placed by its hash in an open-addressed table.
struct NameSlot {
    PyObject* name;  // null for an empty slot
    Py_hash_t hash;
    int16_t value;  // the ecosystem's index, or AUTO_NAME
};

inline constexpr int16_t AUTO_NAME = -1;
inline constexpr std::size_t NAME_SLOTS = 256;  // a power of two, under a third full

// Everything the module keeps, one per module object (and so one per
// interpreter). Set once by the module's execution step, never changed after.
struct ModuleState {
    PyTypeObject* version_type;
    PyObject* unknown_ecosystem_error;
    std::array<NameSlot, NAME_SLOTS> names;
    KeywordObjects keywords;
    std::array<PyObject*, 3> orderings;  // the ints -1, 0 and 1 a comparison returns
};

// The state of the module object; of the module that made a type; of the
// module that made an object's type.
ModuleState& module_state(PyObject* module) noexcept;
ModuleState& type_state(PyTypeObject* type) noexcept;

// Raises a core failure as the exception of its kind.
void raise_failure(const ModuleState& st, FailureKind kind, std::string_view message);

// Sets the Python error for the C++ exception being handled; call only
// inside a catch block.
void raise_current_exception() noexcept;

template <class R>
constexpr R failed_value() noexcept {
    if constexpr (std::is_pointer_v<R>)
        return nullptr;
    else
        return static_cast<R>(-1);
}

template <auto F, class R, class... A>
R guarded_call(A... a) noexcept {
    try {
        return F(a...);
    } catch (...) {
        raise_current_exception();
        return failed_value<R>();
    }
}

template <auto F, class R, class... A>
constexpr auto guard_of(R (*)(A...)) noexcept {
    return &guarded_call<F, R, A...>;
}

// F behind the boundary, with F's own signature.
template <auto F>
inline constexpr auto guarded = guard_of<F>(F);

// A slot function behind the boundary, as the void* a PyType_Slot holds.
template <auto F>
void* slot() noexcept {
    return reinterpret_cast<void*>(guarded<F>);
}

using Fastcall = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

// A METH_FASTCALL | METH_KEYWORDS function behind the boundary, as the
// PyCFunction a PyMethodDef holds.
template <Fastcall F>
PyCFunction function_entry() noexcept {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(guarded<F>));
}

// A METH_NOARGS method behind the boundary.
template <PyObject* (*F)(PyObject*, PyObject*)>
PyCFunction noargs_entry() noexcept {
    return guarded<F>;
}

}  // namespace quorlen::python
