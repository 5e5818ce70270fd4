// The routine behind satisfies and range_contains, shared by both.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string_view>

#include "python/boundary.hpp"

namespace quorlen::python::constraints {

// Whether `version` lies in the range text `range` under the named ecosystem
// ("auto" is not a name here). Returns a new reference to True or False, or
// nullptr with ValueError set: the ecosystem is resolved first, then the
// range parsed, then the version judged.
PyObject* range_contains(const ModuleState& st, std::string_view version, std::string_view range, std::string_view eco_name);

}  // namespace quorlen::python::constraints
