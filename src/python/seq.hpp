// What the functions over lists of versions share: an owned reference, the
// reading of a sequence argument into a private list, the ecosystem argument
// with its default, and the one place C++ allocation failures become Python's
// MemoryError.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <new>
#include <optional>
#include <string_view>

#include "python/args.hpp"

namespace quorlen::python {

// One strong reference, dropped on every way out of its scope.
class OwnedRef {
public:
    explicit OwnedRef(PyObject* obj) noexcept : obj_(obj) {}
    OwnedRef(const OwnedRef&) = delete;
    OwnedRef& operator=(const OwnedRef&) = delete;
    ~OwnedRef() { Py_XDECREF(obj_); }

    PyObject* get() const noexcept { return obj_; }
    explicit operator bool() const noexcept { return obj_ != nullptr; }
    // Takes `obj` in place of the reference held so far.
    void reset(PyObject* obj) noexcept {
        PyObject* old = obj_;
        obj_ = obj;
        Py_XDECREF(old);
    }
    // Hands the reference to the caller.
    PyObject* release() noexcept {
        PyObject* obj = obj_;
        obj_ = nullptr;
        return obj;
    }

private:
    PyObject* obj_;
};

// Reads a list argument once, by iteration, into a new list of our own (a new
// reference), or raises TypeError naming the argument. Working on a private
// copy means nothing the caller's object does afterwards (a finaliser run by
// the garbage collector mutating it, a __getitem__ with side effects) can
// change the items under us, and the list holds a reference to each of them.
// A str would read as its characters, and iterators, sets and dicts have no
// order or cannot be read twice, so they are refused up front.
inline PyObject* read_sequence(const Signature& sig, std::size_t index, PyObject* obj) noexcept {
    if (PyUnicode_Check(obj) || !PySequence_Check(obj)) {
        raise_arg_type(sig, index, "Sequence", obj);
        return nullptr;
    }
    return PySequence_List(obj);
}

// The text of an optional ecosystem argument; `fallback` when it was omitted.
inline std::optional<std::string_view> ecosystem_arg(const Signature& sig, std::size_t index, PyObject* obj,
                                                     std::string_view fallback) noexcept {
    if (!obj) return fallback;
    return str_arg(sig, index, obj);
}

// The entry Python calls: runs Body and turns a C++ allocation failure (the
// only exception the core can throw) into MemoryError, so nothing unwinds
// into the interpreter. Body's owned references are dropped by the unwinding.
template <PyObject* (*Body)(PyObject* const*, Py_ssize_t, PyObject*)>
PyObject* entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    try {
        return Body(args, nargs, kwnames);
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    } catch (...) {
        PyErr_SetString(PyExc_SystemError, "unexpected C++ exception");
        return nullptr;
    }
}

// The entry as the PyCFunction a METH_FASTCALL | METH_KEYWORDS definition holds.
template <PyObject* (*Body)(PyObject* const*, Py_ssize_t, PyObject*)>
PyCFunction entry_function() noexcept {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(entry<Body>));
}

}  // namespace quorlen::python
