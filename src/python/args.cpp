#include "python/args.hpp"


namespace quorlen::python {

namespace {

// Position of the parameter a keyword names, or -1. Callers pass the very
// str objects their code was compiled with, which are interned: a pointer
// comparison finds them. Names built at run time are compared as text.
Py_ssize_t find_keyword(const KeywordObjects* interned, const Signature& sig, PyObject* key) {
    if (interned)
        for (std::size_t i = 0; i < sig.count; ++i)
            if ((*interned)[sig.ids[i]] == key) return static_cast<Py_ssize_t>(i);
    if (!PyUnicode_Check(key)) return -1;
    const std::optional<std::string_view> k = utf8_of(key);
    if (!k) {
        PyErr_Clear();
        return -1;
    }
    for (std::size_t i = 0; i < sig.count; ++i)
        if (*k == sig.names[i]) return static_cast<Py_ssize_t>(i);
    return -1;
}

void raise_too_many(const Signature& sig, Py_ssize_t nargs) {
    if (sig.required == sig.count) {
        PyErr_Format(PyExc_TypeError, "%s() takes %zu positional argument%s but %zd %s given", sig.function, sig.count,
                     sig.count == 1 ? "" : "s", nargs, nargs == 1 ? "was" : "were");
    } else {
        PyErr_Format(PyExc_TypeError, "%s() takes from %zu to %zu positional arguments but %zd %s given", sig.function,
                     sig.required, sig.count, nargs, nargs == 1 ? "was" : "were");
    }
}

PyObject* utf8_message(std::string_view message) {
    return PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace");
}


}  // namespace

bool bind_args_slow(const KeywordObjects* interned, const Signature& sig, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, PyObject** out) {
    if (static_cast<std::size_t>(nargs) > sig.count) {
        raise_too_many(sig, nargs);
        return false;
    }
    for (std::size_t i = 0; i < sig.count; ++i) out[i] = i < static_cast<std::size_t>(nargs) ? args[i] : nullptr;

    if (kwnames) {
        const Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t k = 0; k < nkw; ++k) {
            PyObject* key = PyTuple_GET_ITEM(kwnames, k);
            const Py_ssize_t at = find_keyword(interned, sig, key);
            if (at < 0) {
                PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%S'", sig.function, key);
                return false;
            }
            if (out[at]) {
                if (at < nargs)
                    PyErr_Format(PyExc_TypeError, "argument for %s() given by name ('%s') and position (%zd)", sig.function,
                                 sig.names[at], at + 1);
                else
                    PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", sig.function, sig.names[at]);
                return false;
            }
            out[at] = args[nargs + k];
        }
    }
    for (std::size_t i = 0; i < sig.required; ++i) {
        if (!out[i]) {
            PyErr_Format(PyExc_TypeError, "%s() missing required argument '%s' (pos %zu)", sig.function, sig.names[i], i + 1);
            return false;
        }
    }
    return true;
}

std::optional<std::string_view> utf8_of_slow(PyObject* str) {
    Py_ssize_t len = 0;
    const char* data = PyUnicode_AsUTF8AndSize(str, &len);
    if (!data) return std::nullopt;
    return std::string_view(data, static_cast<std::size_t>(len));
}

std::optional<std::string_view> str_arg(const Signature& sig, std::size_t index, PyObject* obj) {
    if (!PyUnicode_Check(obj)) {
        raise_arg_type(sig, index, "str", obj);
        return std::nullopt;
    }
    return utf8_of(obj);
}

bool str_args(const Signature& sig, PyObject* const* bound, std::size_t n, std::string_view* out) {
    for (std::size_t i = 0; i < n; ++i) {
        auto text = str_arg(sig, i, bound[i]);
        if (!text) return false;
        out[i] = *text;
    }
    return true;
}

void raise_arg_type(const Signature& sig, std::size_t index, const char* expected, PyObject* got) {
    PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be %s, not %s", sig.function, sig.names[index], expected,
                 got == Py_None ? "None" : Py_TYPE(got)->tp_name);
}

void raise_type(const char* what, const char* expected, PyObject* got) {
    PyErr_Format(PyExc_TypeError, "%s must be %s, not %s", what, expected, got == Py_None ? "None" : Py_TYPE(got)->tp_name);
}

void raise_with(PyObject* type, std::string_view message) {
    PyObject* text = utf8_message(message);
    if (!text) return;
    PyErr_SetObject(type, text);
    Py_DECREF(text);
}

void raise_value_error(std::string_view message) { raise_with(PyExc_ValueError, message); }
void raise_type_error(std::string_view message) { raise_with(PyExc_TypeError, message); }
void raise_index_error(std::string_view message) { raise_with(PyExc_IndexError, message); }

}  // namespace quorlen::python
