// What the functions over lists of versions share: an owned reference, the
// reading of a sequence argument into a private list, the ecosystem argument
// with its default, and the running of the C++ work on long lists without
// the interpreter lock.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "python/args.hpp"
#include "python/conv.hpp"
#include "python/pyversion.hpp"

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

// From this many items on, a list function runs its C++ work (parse, sort,
// compare, select) without the interpreter lock, so that other threads run
// meanwhile. Below it the work is a few dozen microseconds or less: two
// threads gain little from overlapping it, and taking the lock back from a
// thread busy in Python can cost a whole switch interval (5 ms).
inline constexpr std::size_t RELEASE_LOCK_FROM = 512;

// The interpreter lock released for the life of the object (when asked to)
// and taken back on every way out, an exception included: the boundary
// raises an escaping std::bad_alloc as MemoryError, which needs the lock.
// Nothing in its scope may touch a Python object or call the C API.
class LockReleased {
public:
    explicit LockReleased(bool release) : saved_(release ? PyEval_SaveThread() : nullptr) {}
    LockReleased(const LockReleased&) = delete;
    LockReleased& operator=(const LockReleased&) = delete;
    ~LockReleased() {
        if (saved_) PyEval_RestoreThread(saved_);
    }

private:
    PyThreadState* saved_;
};

// A raised exception taken off the thread and held until the caller knows
// whether it is the call's error: an item before the one that raised it may
// still fail first. Dropped (with the lock held) if it is not.
class PendingError {
public:
    PendingError() = default;
    PendingError(const PendingError&) = delete;
    PendingError& operator=(const PendingError&) = delete;
    ~PendingError() {
#if PY_VERSION_HEX >= 0x030C0000
        Py_XDECREF(exc_);
#else
        Py_XDECREF(type_);
        Py_XDECREF(value_);
        Py_XDECREF(traceback_);
#endif
    }

    explicit operator bool() const { return held_; }

    // Takes the exception being raised.
    void take() {
        held_ = true;
#if PY_VERSION_HEX >= 0x030C0000
        exc_ = PyErr_GetRaisedException();
#else
        PyErr_Fetch(&type_, &value_, &traceback_);
#endif
    }

    // Raises it again; returns nullptr for the caller to return.
    PyObject* raise() {
        held_ = false;
#if PY_VERSION_HEX >= 0x030C0000
        PyErr_SetRaisedException(exc_);
        exc_ = nullptr;
#else
        PyErr_Restore(type_, value_, traceback_);
        type_ = value_ = traceback_ = nullptr;
#endif
        return nullptr;
    }

private:
    bool held_ = false;
#if PY_VERSION_HEX >= 0x030C0000
    PyObject* exc_ = nullptr;
#else
    PyObject* type_ = nullptr;
    PyObject* value_ = nullptr;
    PyObject* traceback_ = nullptr;
#endif
};

// How many items ahead a long copy asks for the objects it is about to touch.
inline constexpr Py_ssize_t PREFETCH_AHEAD = 8;

// Reads a sequence argument as read_sequence does, calling each(i, item)
// for every item of the new list as it is filled: one pass over the items
// instead of a copy and then a walk, which counts on long lists whose items
// are out of the cache. `each` returns false with an error set to stop the
// reading (the call's error: nullptr is returned); on success it must not
// run Python code, since the caller's list or tuple may be read in place
// while the copy is made.
template <class Each>
PyObject* read_sequence_with(const Signature& sig, std::size_t index, PyObject* obj, Each&& each) {
    if (!PyList_CheckExact(obj) && !PyTuple_CheckExact(obj)) {
        OwnedRef list(read_sequence(sig, index, obj));
        if (!list) return nullptr;
        const auto n = static_cast<std::size_t>(PyList_GET_SIZE(list.get()));
        for (std::size_t i = 0; i < n; ++i)
            if (!each(i, PyList_GET_ITEM(list.get(), static_cast<Py_ssize_t>(i)))) return nullptr;
        return list.release();
    }
    // What PySequence_List does for these two types, item by item.
    const Py_ssize_t n = PySequence_Fast_GET_SIZE(obj);
    PyObject** items = PySequence_Fast_ITEMS(obj);
    OwnedRef list(PyList_New(n));
    if (!list) return nullptr;
    for (Py_ssize_t i = 0; i < n; ++i) {
        // Items of a long list are seldom in the cache: ask for those a few
        // places ahead, whose counts are about to be written.
        if (i + PREFETCH_AHEAD < n) __builtin_prefetch(items[i + PREFETCH_AHEAD], 1);
        PyObject* item = items[i];
        Py_INCREF(item);
        PyList_SET_ITEM(list.get(), i, item);
        if (!each(static_cast<std::size_t>(i), item)) return nullptr;
    }
    return list.release();
}

// The text of a Version or of an ASCII str, read without calling into the
// interpreter; nullopt for anything else (the slow path of extract_raw,
// which may raise).
inline std::optional<std::string_view> quick_text(PyObject* obj) {
    if (PyUnicode_Check(obj)) {
        if (!PyUnicode_IS_COMPACT_ASCII(obj)) return std::nullopt;
        return std::string_view(static_cast<const char*>(PyUnicode_DATA(obj)), static_cast<std::size_t>(PyUnicode_GET_LENGTH(obj)));
    }
    if (is_version(obj)) return version_raw(obj);
    return std::nullopt;
}

// The UTF-8 texts of a list's items (Version raw texts, str contents),
// borrowed from the items, which the list keeps alive. Reading stops at the
// first item that has no text (neither Version nor str, or a str that does
// not encode); its error is kept in `error`, and `texts` holds the items
// before it, so that an item before it that fails to parse can still come
// first.
struct ItemTexts {
    std::vector<std::string_view> texts;
    PendingError error;
    bool quick = true;  // every item so far had a quick text
};

// Reads a list argument into a private list (a new reference; nullptr with
// the error set), taking the quick texts of its items on the way.
inline PyObject* read_list(const Signature& sig, std::size_t index, PyObject* obj, ItemTexts& out) {
    if (PyList_Check(obj) || PyTuple_Check(obj)) out.texts.reserve(static_cast<std::size_t>(Py_SIZE(obj)));
    return read_sequence_with(sig, index, obj, [&out](std::size_t, PyObject* item) {
        if (out.quick) {
            if (auto text = quick_text(item))
                out.texts.push_back(*text);
            else
                out.quick = false;
        }
        return true;
    });
}

// Reads the texts read_list left, from the first item without a quick text
// on: any of them may raise, so this comes when the call's earlier errors
// (the ecosystem argument) have had their turn.
inline void finish_texts(PyObject* list, ItemTexts& out) {
    const auto n = static_cast<std::size_t>(PyList_GET_SIZE(list));
    out.texts.reserve(n);
    for (std::size_t i = out.texts.size(); i < n; ++i) {
        auto text = extract_raw(PyList_GET_ITEM(list, static_cast<Py_ssize_t>(i)));
        if (!text) {
            out.error.take();
            return;
        }
        out.texts.push_back(*text);
    }
}

// The bound arguments (versions, ecosystem) of a list function.
struct ListArgs {
    OwnedRef items{nullptr};  // the private list
    std::string_view eco_name;
    ItemTexts texts;  // the quick texts of the items, read with them
};

// Binds (versions, ecosystem="generic"); false with the error set.
inline bool bind_list_args(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, ListArgs& out) {
    PyObject* a[2];
    if (!bind_args(sig, args, nargs, kwnames, a)) return false;
    out.items.reset(read_list(sig, 0, a[0], out.texts));
    if (!out.items) return false;
    auto eco_name = ecosystem_arg(sig, 1, a[1], "generic");
    if (!eco_name) return false;
    out.eco_name = *eco_name;
    return true;
}

// The call's error once the items before the first one without a text were
// parsed: the first parse failure among them, else that item's own error.
// Returns nullptr for the caller to return.
inline PyObject* raise_first(const Status& parsed, ItemTexts& in) {
    if (!parsed) {
        raise_value_error(parsed.error());
        return nullptr;
    }
    return in.error.raise();
}

}  // namespace quorlen::python
