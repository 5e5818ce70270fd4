// Argument binding for METH_FASTCALL | METH_KEYWORDS functions, written once
// for the whole module. Every parameter is positional-or-keyword; errors are
// TypeErrors worded as CPython's own built-in functions word them.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace quorlen::python {

// A function's parameter list: names in order; the first `required` have no
// default. Six is the most any function of the module takes.
inline constexpr std::size_t MAX_PARAMS = 6;

struct Signature {
    const char* function;
    std::array<const char*, MAX_PARAMS> names;
    std::size_t count;
    std::size_t required;
};

// The general case of bind_args: keywords, or a wrong number of arguments.
bool bind_args_slow(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** out);

// Fills out[0..count) with borrowed references (nullptr for an omitted
// optional argument). Returns false with TypeError set on a binding error.
inline bool bind_args(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** out) {
    const auto n = static_cast<std::size_t>(nargs);
    if (kwnames || n < sig.required || n > sig.count) return bind_args_slow(sig, args, nargs, kwnames, out);
    for (std::size_t i = 0; i < sig.count; ++i) out[i] = i < n ? args[i] : nullptr;
    return true;
}

// The UTF-8 text of a str argument, borrowed from the object (no copy).
// Raises TypeError naming the argument for anything but str; a str that
// cannot be encoded (a lone surrogate) raises UnicodeEncodeError.
std::optional<std::string_view> str_arg(const Signature& sig, std::size_t index, PyObject* obj);

// The UTF-8 texts of the first n bound arguments, each of which must be a
// str; false with the error of the first that is not.
bool str_args(const Signature& sig, PyObject* const* bound, std::size_t n, std::string_view* out);

// The UTF-8 text of a str object that needs encoding; nullopt with the
// encoding error set.
std::optional<std::string_view> utf8_of_slow(PyObject* str);

// The UTF-8 text of a str object; nullopt with the encoding error set. An
// ASCII string is its own UTF-8, read in place.
inline std::optional<std::string_view> utf8_of(PyObject* str) {
    if (PyUnicode_IS_COMPACT_ASCII(str))
        return std::string_view(static_cast<const char*>(PyUnicode_DATA(str)), static_cast<std::size_t>(PyUnicode_GET_LENGTH(str)));
    return utf8_of_slow(str);
}

// Raises TypeError "{function}() argument '{name}' must be {expected}, not {type}".
void raise_arg_type(const Signature& sig, std::size_t index, const char* expected, PyObject* got);

// Raises TypeError "{what} must be {expected}, not {type}" (container checks
// that name no argument).
void raise_type(const char* what, const char* expected, PyObject* got);

// Raises an exception of the type with a UTF-8 message of any content.
void raise_with(PyObject* type, std::string_view message);

// Raises ValueError / TypeError / IndexError with a UTF-8 message of any
// content (NUL bytes included).
void raise_value_error(std::string_view message);
void raise_type_error(std::string_view message);
void raise_index_error(std::string_view message);

}  // namespace quorlen::python
