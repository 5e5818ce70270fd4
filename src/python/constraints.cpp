// satisfies, range_contains and ranges_intersect.
#include "python/constraints.hpp"

#include "python/args.hpp"
#include "python/conv.hpp"
#include "python/functions.hpp"
#include "ranges.hpp"

namespace quorlen::python {

namespace {

using ranges::RangeSet;

// A parsed range, or nullopt with ValueError set.
std::optional<RangeSet> parse_range_or_raise(std::string_view text) {
    Result<RangeSet> r = RangeSet::parse(text);
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

// The three str parameters of every function here, converted in parameter
// order so that the first bad one is the one reported.
bool texts_of(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
              std::string_view (&out)[3]) {
    PyObject* a[3];
    if (!bind_args(sig, args, nargs, kwnames, a)) return false;
    out[2] = "generic";
    for (std::size_t i = 0; i < 3; ++i) {
        if (!a[i]) continue;  // only the ecosystem may be omitted
        auto text = str_arg(sig, i, a[i]);
        if (!text) return false;
        out[i] = *text;
    }
    return true;
}

constexpr Signature SATISFIES_SIG{"satisfies", {"version", "constraint", "ecosystem"}, 3, 2};
constexpr Signature RANGE_CONTAINS_SIG{"range_contains", {"version", "range", "ecosystem"}, 3, 2};
constexpr Signature RANGES_INTERSECT_SIG{"ranges_intersect", {"left", "right", "ecosystem"}, 3, 2};

template <const Signature& Sig>
PyObject* contains_function(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::string_view t[3];
    if (!texts_of(Sig, args, nargs, kwnames, t)) return nullptr;
    return constraints::range_contains(module_state(module), t[0], t[1], t[2]);
}

PyObject* ranges_intersect(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::string_view t[3];
    if (!texts_of(RANGES_INTERSECT_SIG, args, nargs, kwnames, t)) return nullptr;
    const std::optional<Ecosystem> eco = eco_from_str(module_state(module), t[2]);
    if (!eco) return nullptr;
    const std::optional<RangeSet> left = parse_range_or_raise(t[0]);
    if (!left) return nullptr;
    const std::optional<RangeSet> right = parse_range_or_raise(t[1]);
    if (!right) return nullptr;
    return bool_or_raise(left->intersects(*eco, *right));
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

PyObject* constraints::range_contains(const ModuleState& st, std::string_view version, std::string_view range,
                                      std::string_view eco_name) {
    const std::optional<Ecosystem> eco = eco_from_str(st, eco_name);
    if (!eco) return nullptr;
    const std::optional<RangeSet> set = parse_range_or_raise(range);
    if (!set) return nullptr;
    return bool_or_raise(set->contains(*eco, version));
}

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
