// range_intersection, range_union, range_subset, range_complement,
// range_difference and range_simplify.
#include <optional>
#include <string>

#include "python/args.hpp"
#include "python/boundary.hpp"
#include "python/conv.hpp"
#include "python/functions.hpp"
#include "range_algebra.hpp"

namespace quorlen::python {

namespace {

using ranges::RangeSet;
using ranges::RangeText;

constexpr Signature INTERSECTION_SIG{"range_intersection", {"a", "b", "ecosystem"}, 3, 2};
constexpr Signature UNION_SIG{"range_union", {"a", "b", "ecosystem"}, 3, 2};
constexpr Signature SUBSET_SIG{"range_subset", {"a", "b", "ecosystem"}, 3, 2};
constexpr Signature COMPLEMENT_SIG{"range_complement", {"r", "ecosystem"}, 2, 1};
constexpr Signature DIFFERENCE_SIG{"range_difference", {"a", "b", "ecosystem"}, 3, 2};
constexpr Signature SIMPLIFY_SIG{"range_simplify", {"r", "ecosystem"}, 2, 1};

// The str arguments in parameter order (the first bad one is reported), the
// ecosystem last and "generic" when omitted; then the ecosystem and each
// range, in that order. nullopt with the exception set.
template <std::size_t N>
struct Operands {
    Ecosystem eco;
    std::array<RangeSet, N> ranges;
};

template <std::size_t N>
std::optional<Operands<N>> operands(const ModuleState& st, const Signature& sig, PyObject* const* args, Py_ssize_t nargs,
                                    PyObject* kwnames) {
    PyObject* bound[N + 1];
    if (!bind_args(&st.keywords, sig, args, nargs, kwnames, bound)) return std::nullopt;
    std::string_view texts[N];
    if (!str_args(sig, bound, N, texts)) return std::nullopt;
    std::optional<Ecosystem> eco = Ecosystem::Generic;
    if (bound[N]) eco = named_ecosystem(st, sig, N, bound[N]);
    if (!eco) return std::nullopt;
    Operands<N> out{*eco, {}};
    for (std::size_t i = 0; i < N; ++i) {
        Result<RangeSet> r = RangeSet::parse(texts[i], *eco);
        if (!r) {
            raise_value_error(r.error());
            return std::nullopt;
        }
        out.ranges[i] = std::move(r).value();
    }
    return out;
}

PyObject* text_or_none(const Result<RangeText>& r) {
    if (!r) {
        raise_value_error(r.error());
        return nullptr;
    }
    if (!*r) Py_RETURN_NONE;
    return PyUnicode_FromStringAndSize((*r)->data(), static_cast<Py_ssize_t>((*r)->size()));
}

PyObject* bool_or_raise(const Result<bool>& r) {
    if (!r) {
        raise_value_error(r.error());
        return nullptr;
    }
    return PyBool_FromLong(*r);
}

// One binding per operation; the boundary turns a failed allocation into
// MemoryError.
template <const Signature& Sig, std::size_t N, class Op>
PyObject* run(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, Op op) {
    std::optional<Operands<N>> o = operands<N>(module_state(module), Sig, args, nargs, kwnames);
    if (!o) return nullptr;
    return op(*o);
}

PyObject* range_intersection(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return run<INTERSECTION_SIG, 2>(module, args, nargs, kwnames, [](const Operands<2>& o) {
        return text_or_none(ranges::range_intersection(o.eco, o.ranges[0], o.ranges[1]));
    });
}

PyObject* range_union(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return run<UNION_SIG, 2>(module, args, nargs, kwnames, [](const Operands<2>& o) {
        return text_or_none(ranges::range_union(o.eco, o.ranges[0], o.ranges[1]));
    });
}

PyObject* range_subset(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return run<SUBSET_SIG, 2>(module, args, nargs, kwnames, [](const Operands<2>& o) {
        return bool_or_raise(ranges::range_subset(o.eco, o.ranges[0], o.ranges[1]));
    });
}

PyObject* range_complement(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return run<COMPLEMENT_SIG, 1>(module, args, nargs, kwnames, [](const Operands<1>& o) {
        return text_or_none(ranges::range_complement(o.eco, o.ranges[0]));
    });
}

PyObject* range_difference(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return run<DIFFERENCE_SIG, 2>(module, args, nargs, kwnames, [](const Operands<2>& o) {
        return text_or_none(ranges::range_difference(o.eco, o.ranges[0], o.ranges[1]));
    });
}

PyObject* range_simplify(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return run<SIMPLIFY_SIG, 1>(module, args, nargs, kwnames, [](const Operands<1>& o) {
        return text_or_none(ranges::range_simplify(o.eco, o.ranges[0]));
    });
}

constexpr const char INTERSECTION_DOC[] =
    "range_intersection(a, b, ecosystem=\"generic\")\n--\n\n"
    "The versions in both ranges as one simplified range, or None when no\n"
    "version can lie in both.";
constexpr const char UNION_DOC[] =
    "range_union(a, b, ecosystem=\"generic\")\n--\n\n"
    "The versions in either range as one simplified range, or None when\n"
    "neither holds any.";
constexpr const char SUBSET_DOC[] =
    "range_subset(a, b, ecosystem=\"generic\")\n--\n\n"
    "Whether every version in range `a` is also in range `b`.";
constexpr const char COMPLEMENT_DOC[] =
    "range_complement(r, ecosystem=\"generic\")\n--\n\n"
    "The versions outside range `r` as one simplified range, or None when `r`\n"
    "admits every version.";
constexpr const char DIFFERENCE_DOC[] =
    "range_difference(a, b, ecosystem=\"generic\")\n--\n\n"
    "The versions in range `a` that are not in range `b` as one simplified\n"
    "range, or None when there are none.";
constexpr const char SIMPLIFY_DOC[] =
    "range_simplify(r, ecosystem=\"generic\")\n--\n\n"
    "The canonical form of a range: each branch as its tightest bounds and the\n"
    "versions it leaves out, overlapping or touching branches merged, sorted;\n"
    "\"*\" for every version, None for none.";

}  // namespace

PyMethodDef RANGE_INTERSECTION_DEF = {"range_intersection", function_entry<range_intersection>(),
                                      METH_FASTCALL | METH_KEYWORDS, INTERSECTION_DOC};
PyMethodDef RANGE_UNION_DEF = {"range_union", function_entry<range_union>(), METH_FASTCALL | METH_KEYWORDS, UNION_DOC};
PyMethodDef RANGE_SUBSET_DEF = {"range_subset", function_entry<range_subset>(), METH_FASTCALL | METH_KEYWORDS, SUBSET_DOC};
PyMethodDef RANGE_COMPLEMENT_DEF = {"range_complement", function_entry<range_complement>(),
                                    METH_FASTCALL | METH_KEYWORDS, COMPLEMENT_DOC};
PyMethodDef RANGE_DIFFERENCE_DEF = {"range_difference", function_entry<range_difference>(),
                                    METH_FASTCALL | METH_KEYWORDS, DIFFERENCE_DOC};
PyMethodDef RANGE_SIMPLIFY_DEF = {"range_simplify", function_entry<range_simplify>(), METH_FASTCALL | METH_KEYWORDS,
                                  SIMPLIFY_DOC};

}  // namespace quorlen::python
