// Conversions from Python arguments to core values, shared by every module
// function: ecosystem names to Ecosystem, version arguments to ParsedRepr.
// Each returns its value, or nullopt with the Python exception set.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <optional>
#include <string_view>

#include "python/boundary.hpp"
#include "strategies/registry.hpp"

namespace quorlen::python {

inline constexpr const char* EXPECTED_VERSION_OR_STR = "expected Version or str";

// "auto" in any ASCII letter case, exactly four bytes.
bool is_auto(std::string_view name);

// An ecosystem name; an unknown one raises UnknownEcosystemError.
std::optional<Ecosystem> eco_from_str(const ModuleState& st, std::string_view name);
// "auto" defers to the object (generic without one).
std::optional<Ecosystem> resolve_eco(const ModuleState& st, std::string_view name, PyObject* obj);
// "auto": a Version gives its own, a str is detected, anything else is TypeError.
std::optional<Ecosystem> resolve_eco_for_obj(const ModuleState& st, std::string_view name, PyObject* obj);

std::optional<ParsedRepr> extract_parsed_for_ecosystem(PyObject* obj, Ecosystem eco);
// The text of a Version (its raw) or of a str; borrowed from the object.
std::optional<std::string_view> extract_raw(PyObject* obj);

// Parses a text under an ecosystem, raising ValueError with the message.
std::optional<ParsedRepr> parse_or_raise(Ecosystem eco, std::string_view text);

// The whole comparison of two texts under a named ecosystem ("auto" detects
// from the first text).
std::optional<Ordering> compare_str_with_ecosystem(const ModuleState& st, std::string_view a, std::string_view b, std::string_view eco);

inline PyObject* ordering_to_int(Ordering o) { return PyLong_FromLong(static_cast<long>(o)); }

}  // namespace quorlen::python
