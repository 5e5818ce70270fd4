// What the functions over lists of versions share: an owned reference, the
// reading of a sequence argument into a private list, and the ecosystem
// argument with its default.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <optional>
#include <string_view>

#include "python/args.hpp"

namespace quorlen::python {

// One strong reference, dropped on every way out of its scope.
class OwnedRef {
public:
    explicit OwnedRef(PyObject* obj) : obj_(obj) {}
    OwnedRef(const OwnedRef&) = delete;
    OwnedRef& operator=(const OwnedRef&) = delete;
    ~OwnedRef() { Py_XDECREF(obj_); }

    PyObject* get() const { return obj_; }
    explicit operator bool() const { return obj_ != nullptr; }
    // Takes `obj` in place of the reference held so far.
    void reset(PyObject* obj) {
        PyObject* old = obj_;
        obj_ = obj;
        Py_XDECREF(old);
    }
    // Hands the reference to the caller.
    PyObject* release() {
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
inline PyObject* read_sequence(const Signature& sig, std::size_t index, PyObject* obj) {
    if (PyUnicode_Check(obj) || !PySequence_Check(obj)) {
        raise_arg_type(sig, index, "Sequence", obj);
        return nullptr;
    }
    return PySequence_List(obj);
}

// The text of an optional ecosystem argument; `fallback` when it was omitted.
inline std::optional<std::string_view> ecosystem_arg(const Signature& sig, std::size_t index, PyObject* obj,
                                                     std::string_view fallback) {
    if (!obj) return fallback;
    return str_arg(sig, index, obj);
}

}  // namespace quorlen::python
