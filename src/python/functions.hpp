// The module's functions, one PyMethodDef each, defined by the unit of their
// group and registered by the module entry in a fixed order.
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

}  // namespace quorlen::python
