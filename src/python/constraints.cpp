// satisfies, range_contains and ranges_intersect.
#include "python/args.hpp"
#include "python/conv.hpp"
#include "python/functions.hpp"
#include "ranges.hpp"

namespace quorlen::python {

namespace {

using ranges::RangeSet;

// A parsed range, or nullopt with ValueError set.
std::optional<RangeSet> parse_range_or_raise(std::string_view text, Ecosystem eco) {
    Result<RangeSet> r = RangeSet::parse(text, eco);
    if (!r) {
        raise_value_error(r.error());
        return std::nullopt;
    }
    return std::move(r).value();
}

PyObject* bool_or_raise(const Result<bool>& r) {
    if (!r) {
        raise_value_error(r.error());
        return nullptr;
    }
    return PyBool_FromLong(*r);
}

// The parameters of every function here: two texts and an ecosystem,
// converted in parameter order so that the first bad one is the one reported.
struct Operands {
    std::string_view text[2];
    Ecosystem eco;
};

std::optional<Operands> operands(const ModuleState& st, const Signature& sig, PyObject* const* args, Py_ssize_t nargs,
                                 PyObject* kwnames) {
    PyObject* a[3];
    if (!bind_args(&st.keywords, sig, args, nargs, kwnames, a)) return std::nullopt;
    Operands out{{}, Ecosystem::Generic};
    if (!str_args(sig, a, 2, out.text)) return std::nullopt;
    if (a[2]) {
        const std::optional<Ecosystem> eco = named_ecosystem(st, sig, 2, a[2]);
        if (!eco) return std::nullopt;
        out.eco = *eco;
    }
    return out;
}

constexpr Signature SATISFIES_SIG{"satisfies", {"version", "constraint", "ecosystem"}, 3, 2};
constexpr Signature RANGE_CONTAINS_SIG{"range_contains", {"version", "range", "ecosystem"}, 3, 2};
constexpr Signature RANGES_INTERSECT_SIG{"ranges_intersect", {"left", "right", "ecosystem"}, 3, 2};

template <const Signature& Sig>
PyObject* contains_function(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    const std::optional<Operands> o = operands(module_state(module), Sig, args, nargs, kwnames);
    if (!o) return nullptr;
    const std::optional<RangeSet> set = parse_range_or_raise(o->text[1], o->eco);
    if (!set) return nullptr;
    return bool_or_raise(set->contains(o->eco, o->text[0]));
}

PyObject* ranges_intersect(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    const std::optional<Operands> o = operands(module_state(module), RANGES_INTERSECT_SIG, args, nargs, kwnames);
    if (!o) return nullptr;
    const std::optional<RangeSet> left = parse_range_or_raise(o->text[0], o->eco);
    if (!left) return nullptr;
    const std::optional<RangeSet> right = parse_range_or_raise(o->text[1], o->eco);
    if (!right) return nullptr;
    return bool_or_raise(left->intersects(o->eco, *right));
}

#define SIGNATURE(name, a, b) #name "(" #a ", " #b ", ecosystem=\"generic\")\n--\n\n"

constexpr const char SATISFIES_DOC[] = SIGNATURE(satisfies, version, constraint)
    "Check whether `version` satisfies `constraint`.\n"
    "\n"
    "Supported syntax:\n"
    "  - Operators: `>=`, `<=`, `>`, `<`, `==`, `!=`\n"
    "  - AND via comma: `>=1.0,<2.0`\n"
    "  - OR via `||`: `^1.0 || ^2.0`\n"
    "  - Shorthand: `^1.2.3`, `~1.2`, `1.2.x`, `*`";

}  // namespace

PyMethodDef SATISFIES_DEF = {"satisfies",
                             function_entry<contains_function<SATISFIES_SIG>>(),
                             METH_FASTCALL | METH_KEYWORDS, SATISFIES_DOC};
PyMethodDef RANGE_CONTAINS_DEF = {
    "range_contains", function_entry<contains_function<RANGE_CONTAINS_SIG>>(),
    METH_FASTCALL | METH_KEYWORDS, SIGNATURE(range_contains, version, range)};
PyMethodDef RANGES_INTERSECT_DEF = {"ranges_intersect",
                                    function_entry<ranges_intersect>(),
                                    METH_FASTCALL | METH_KEYWORDS, SIGNATURE(ranges_intersect, left, right)};

#undef SIGNATURE

}  // namespace quorlen::python
