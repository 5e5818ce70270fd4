// Conversions from Python arguments to core values, shared by every module
// function: ecosystem names to Ecosystem, version arguments to ParsedRepr.
// Each returns its value, or nullopt with the Python exception set.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <optional>
#include <string_view>

#include "python/args.hpp"
#include "python/boundary.hpp"
#include "python/names.hpp"
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

// Reads the ecosystem argument `arg` (bound as parameter `index` of `sig`):
// one of the module's own name objects is known without reading its text;
// any other str goes through the general lookup. TypeError for a non-str,
// UnknownEcosystemError for a name no ecosystem answers to.
std::optional<EcoChoice> ecosystem_choice(const ModuleState& st, const Signature& sig, std::size_t index, PyObject* arg);

// The same where "auto" is not a name: UnknownEcosystemError for it.
std::optional<Ecosystem> named_ecosystem(const ModuleState& st, const Signature& sig, std::size_t index, PyObject* arg);

// The same, with "auto" resolved from `obj` as resolve_eco_for_obj does.
std::optional<Ecosystem> ecosystem_for(const ModuleState& st, const Signature& sig, std::size_t index, PyObject* arg,
                                       PyObject* obj);

std::optional<ParsedRepr> extract_parsed_for_ecosystem(PyObject* obj, Ecosystem eco);
// The text of a Version (its raw) or of a str; borrowed from the object.
std::optional<std::string_view> extract_raw(PyObject* obj);

// Parses a text under an ecosystem, raising ValueError with the message.
std::optional<ParsedRepr> parse_or_raise(Ecosystem eco, std::string_view text);

inline PyObject* ordering_to_int(Ordering o) { return PyLong_FromLong(static_cast<long>(o)); }

}  // namespace quorlen::python
