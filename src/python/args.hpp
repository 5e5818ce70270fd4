// Argument binding for METH_FASTCALL | METH_KEYWORDS functions, written once
// for the whole module. Every parameter is positional-or-keyword; errors are
// TypeErrors worded as CPython's own built-in functions word them.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace quorlen::python {

// Every keyword any function of the module takes, in one table: the module
// keeps an interned str of each (see names.hpp), so that a keyword passed by
// name is matched by identity.
inline constexpr std::array<std::string_view, 25> KEYWORDS = {
    "a",    "b",     "ecosystem", "s",   "versions", "pairs", "version", "constraint",   "range",     "left",
    "right", "r",    "tag",       "name", "other",   "idx",   "data",    "purl",         "vers",      "affected",
    "package_type", "namespace", "qualifiers", "subpath", "standard",
};

// The position of a keyword in KEYWORDS; a name missing there does not compile
// where a Signature is built as a constant.
constexpr std::uint8_t keyword_id(std::string_view name) {
    for (std::size_t i = 0; i < KEYWORDS.size(); ++i)
        if (KEYWORDS[i] == name) return static_cast<std::uint8_t>(i);
    throw "a parameter name missing from KEYWORDS";
}

// A function's parameter list: names in order; the first `required` have no
// default. Six is the most any function of the module takes.
inline constexpr std::size_t MAX_PARAMS = 6;

struct Signature {
    constexpr Signature(const char* function_name, std::array<const char*, MAX_PARAMS> param_names, std::size_t n,
                        std::size_t n_required)
        : function(function_name), names(param_names), count(n), required(n_required) {
        for (std::size_t i = 0; i < count; ++i) ids[i] = keyword_id(names[i]);
    }

    const char* function;
    std::array<const char*, MAX_PARAMS> names;
    std::size_t count;
    std::size_t required;
    std::array<std::uint8_t, MAX_PARAMS> ids{};  // each name's place in KEYWORDS
};

// The module's interned keyword objects, indexed like KEYWORDS.
using KeywordObjects = std::array<PyObject*, KEYWORDS.size()>;

// The general case of bind_args: keywords, or a wrong number of arguments.
// Keywords are matched against the interned objects first when given.
bool bind_args_slow(const KeywordObjects* interned, const Signature& sig, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, PyObject** out);

// Fills out[0..count) with borrowed references (nullptr for an omitted
// optional argument). Returns false with TypeError set on a binding error.
inline bool bind_args(const KeywordObjects* interned, const Signature& sig, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames, PyObject** out) {
    const auto n = static_cast<std::size_t>(nargs);
    if (kwnames || n < sig.required || n > sig.count) return bind_args_slow(interned, sig, args, nargs, kwnames, out);
    for (std::size_t i = 0; i < sig.count; ++i) out[i] = i < n ? args[i] : nullptr;
    return true;
}

inline bool bind_args(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** out) {
    return bind_args(nullptr, sig, args, nargs, kwnames, out);
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
