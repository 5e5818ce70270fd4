// The module's functions, one PyMethodDef each, defined by the unit of their
// group and registered by the module entry in a fixed order. Each is called
// with the module object as its first argument and enters through the
// boundary of boundary.hpp.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace quorlen::python {

// Pairwise comparison (compare.cpp).
extern PyMethodDef COMPARE_DEF;
extern PyMethodDef GT_DEF;
extern PyMethodDef GE_DEF;
extern PyMethodDef GTE_DEF;
extern PyMethodDef LT_DEF;
extern PyMethodDef LE_DEF;
extern PyMethodDef LTE_DEF;
extern PyMethodDef EQ_DEF;
extern PyMethodDef NE_DEF;

// Version lists and batch comparison (lists.cpp).
extern PyMethodDef VERSION_DEF;
extern PyMethodDef COMPARE_SEMVER_STRICT_DEF;
extern PyMethodDef SORT_VERSIONS_DEF;
extern PyMethodDef BATCH_COMPARE_DEF;
extern PyMethodDef MAX_VERSION_DEF;
extern PyMethodDef MIN_VERSION_DEF;

// Stable-version selection (stable.cpp).
extern PyMethodDef STABLE_VERSIONS_DEF;
extern PyMethodDef LATEST_STABLE_DEF;

// Constraint functions (constraints.cpp).
extern PyMethodDef SATISFIES_DEF;
extern PyMethodDef RANGE_CONTAINS_DEF;
extern PyMethodDef RANGES_INTERSECT_DEF;

// Range algebra (algebra.cpp).
extern PyMethodDef RANGE_INTERSECTION_DEF;
extern PyMethodDef RANGE_UNION_DEF;
extern PyMethodDef RANGE_SUBSET_DEF;
extern PyMethodDef RANGE_COMPLEMENT_DEF;
extern PyMethodDef RANGE_DIFFERENCE_DEF;
extern PyMethodDef RANGE_SIMPLIFY_DEF;

// Security functions (security.cpp).
extern PyMethodDef PARSE_PURL_DEF;
extern PyMethodDef BUILD_PURL_DEF;
extern PyMethodDef PURL_ECOSYSTEM_DEF;
extern PyMethodDef BUILD_VERS_DEF;
extern PyMethodDef VERS_CONTAINS_DEF;
extern PyMethodDef OSV_AFFECTED_DEF;
extern PyMethodDef OSV_RANGE_DEF;

// Bump functions (bump.cpp).
extern PyMethodDef BUMP_MAJOR_DEF;
extern PyMethodDef BUMP_MINOR_DEF;
extern PyMethodDef BUMP_PATCH_DEF;
extern PyMethodDef BUMP_PRERELEASE_DEF;
extern PyMethodDef NEXT_STABLE_DEF;

// The ecosystem rows (ecosystems.cpp).
extern PyMethodDef ECOSYSTEMS_DEF;
extern PyMethodDef OSV_ECOSYSTEM_DEF;

}  // namespace quorlen::python
