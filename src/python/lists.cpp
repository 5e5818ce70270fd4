// version, compare_semver_strict, sort_versions, batch_compare, max_version
// and min_version: the functions over more than one version at a time.
#include <cstddef>
#include <optional>
#include <vector>

#include "python/args.hpp"
#include "python/boundary.hpp"
#include "python/conv.hpp"
#include "python/functions.hpp"
#include "python/pyversion.hpp"
#include "python/seq.hpp"
#include "sort_keys.hpp"

namespace quorlen::python {

namespace {

constexpr Signature VERSION_SIG{"version", {"s", "ecosystem"}, 2, 1};
constexpr Signature COMPARE_SEMVER_STRICT_SIG{"compare_semver_strict", {"a", "b"}, 2, 2};
constexpr Signature SORT_VERSIONS_SIG{"sort_versions", {"versions", "ecosystem"}, 2, 1};
constexpr Signature BATCH_COMPARE_SIG{"batch_compare", {"pairs", "ecosystem"}, 2, 1};
constexpr Signature MAX_VERSION_SIG{"max_version", {"versions", "ecosystem"}, 2, 1};
constexpr Signature MIN_VERSION_SIG{"min_version", {"versions", "ecosystem"}, 2, 1};

constexpr const char* EMPTY_SEQUENCE = "empty sequence";

PyObject* version(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    const Signature& sig = VERSION_SIG;
    PyObject* a[2];
    if (!bind_args(sig, args, nargs, kwnames, a)) return nullptr;
    auto text = str_arg(sig, 0, a[0]);
    if (!text) return nullptr;
    auto eco_name = ecosystem_arg(sig, 1, a[1], "auto");
    if (!eco_name) return nullptr;
    return new_version(module_state(module).version_type, *text, *eco_name);
}

PyObject* compare_semver_strict(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    const Signature& sig = COMPARE_SEMVER_STRICT_SIG;
    PyObject* a[2];
    if (!bind_args(sig, args, nargs, kwnames, a)) return nullptr;
    std::string_view texts[2];
    if (!str_args(sig, a, 2, texts)) return nullptr;
    const std::string_view left_text = texts[0], right_text = texts[1];
    auto left = parse_or_raise(Ecosystem::Semver, left_text);
    if (!left) return nullptr;
    auto right = parse_or_raise(Ecosystem::Semver, right_text);
    if (!right) return nullptr;
    return ordering_to_int(compare_for_ecosystem(Ecosystem::Semver, *left, *right));
}

// Binds (versions, ecosystem): the private list of items (nullptr with the
// error set) and the ecosystem text.
struct ListArgs {
    OwnedRef items{nullptr};
    std::string_view eco_name;
};

bool bind_list_args(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, ListArgs& out) {
    PyObject* a[2];
    if (!bind_args(sig, args, nargs, kwnames, a)) return false;
    out.items.reset(read_sequence(sig, 0, a[0]));
    if (!out.items) return false;
    auto eco_name = ecosystem_arg(sig, 1, a[1], "generic");
    if (!eco_name) return false;
    out.eco_name = *eco_name;
    return true;
}

// The items' sorted order, or nullopt with the error of the first item that
// is neither Version nor str or that the ecosystem refuses. A Version is read
// through its raw text: its stored generic parse is the generic parse of it.
std::optional<std::vector<uint32_t>> sorted_order(PyObject* items, std::size_t n, Ecosystem eco) {
    SortKeys keys(eco, n);
    for (std::size_t i = 0; i < n; ++i) {
        auto text = extract_raw(PyList_GET_ITEM(items, i));
        if (!text) return std::nullopt;
        Status s = keys.add(*text);
        if (!s) {
            raise_value_error(s.error());
            return std::nullopt;
        }
    }
    return keys.sorted_order();
}

PyObject* sort_versions(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    ListArgs in;
    if (!bind_list_args(SORT_VERSIONS_SIG, args, nargs, kwnames, in)) return nullptr;
    PyObject* items = in.items.get();
    const auto n = static_cast<std::size_t>(PyList_GET_SIZE(items));
    auto eco = resolve_eco(module_state(module), in.eco_name, n > 0 ? PyList_GET_ITEM(items, 0) : nullptr);
    if (!eco) return nullptr;

    auto order = sorted_order(items, n, *eco);
    if (!order) return nullptr;
    PyObject* result = PyList_New(static_cast<Py_ssize_t>(n));
    if (!result) return nullptr;
    for (std::size_t k = 0; k < n; ++k) {
        PyObject* item = PyList_GET_ITEM(items, (*order)[k]);
        Py_INCREF(item);
        PyList_SET_ITEM(result, static_cast<Py_ssize_t>(k), item);
    }
    return result;
}

// A pair must be a tuple (a list of two is not a pair) of exactly two items.
bool check_pair(const Signature& sig, Py_ssize_t index, PyObject* pair) {
    if (!PyTuple_Check(pair)) {
        PyErr_Format(PyExc_TypeError, "%s() argument '%s' item %zd must be tuple, not %s", sig.function, sig.names[0], index,
                     pair == Py_None ? "None" : Py_TYPE(pair)->tp_name);
        return false;
    }
    const Py_ssize_t len = PyTuple_GET_SIZE(pair);
    if (len != 2) {
        PyErr_Format(PyExc_TypeError, "%s() argument '%s' item %zd must be a tuple of length 2, not %zd", sig.function,
                     sig.names[0], index, len);
        return false;
    }
    return true;
}

PyObject* batch_compare(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    const Signature& sig = BATCH_COMPARE_SIG;
    PyObject* a[2];
    if (!bind_args(sig, args, nargs, kwnames, a)) return nullptr;
    OwnedRef pairs(read_sequence(sig, 0, a[0]));
    if (!pairs) return nullptr;
    const Py_ssize_t n = PyList_GET_SIZE(pairs.get());
    // Every pair is checked while binding, before the ecosystem is looked at.
    for (Py_ssize_t i = 0; i < n; ++i)
        if (!check_pair(sig, i, PyList_GET_ITEM(pairs.get(), i))) return nullptr;
    auto eco_name = ecosystem_arg(sig, 1, a[1], "generic");
    if (!eco_name) return nullptr;

    // Under "auto" each pair takes the ecosystem of its own first element.
    const bool per_pair = is_auto(*eco_name);
    std::optional<Ecosystem> fixed;
    if (!per_pair) {
        fixed = eco_from_str(module_state(module), *eco_name);
        if (!fixed) return nullptr;
    }

    std::vector<Ordering> orders;
    orders.reserve(static_cast<std::size_t>(n));
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject* pair = PyList_GET_ITEM(pairs.get(), i);
        PyObject* left_obj = PyTuple_GET_ITEM(pair, 0);
        PyObject* right_obj = PyTuple_GET_ITEM(pair, 1);
        auto eco = per_pair ? resolve_eco_for_obj(module_state(module), *eco_name, left_obj) : fixed;
        if (!eco) return nullptr;
        auto left = extract_parsed_for_ecosystem(left_obj, *eco);
        if (!left) return nullptr;
        auto right = extract_parsed_for_ecosystem(right_obj, *eco);
        if (!right) return nullptr;
        orders.push_back(compare_for_ecosystem(*eco, *left, *right));
    }

    OwnedRef result(PyList_New(n));
    if (!result) return nullptr;
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject* value = ordering_to_int(orders[static_cast<std::size_t>(i)]);
        if (!value) return nullptr;
        PyList_SET_ITEM(result.get(), i, value);
    }
    return result.release();
}

// Which candidate replaces the one kept so far.
enum class Keep {
    LastHighest,  // a candidate that does not order below the kept one
    FirstLowest,  // a candidate that the kept one orders strictly above
};

// One pass over the items, each parsed once as it comes: with a consistent
// ordering this picks the same item as a stable ascending sort would put
// last (LastHighest) or first (FirstLowest), without sorting.
template <Keep K>
PyObject* select_extreme(PyObject* module, const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    ListArgs in;
    if (!bind_list_args(sig, args, nargs, kwnames, in)) return nullptr;
    PyObject* items = in.items.get();
    const Py_ssize_t n = PyList_GET_SIZE(items);
    if (n == 0) {
        raise_value_error(EMPTY_SEQUENCE);
        return nullptr;
    }
    auto eco = resolve_eco_for_obj(module_state(module), in.eco_name, PyList_GET_ITEM(items, 0));
    if (!eco) return nullptr;
    const VersionStrategy& strategy = strategies::registry::strategy_for(*eco);

    std::optional<ParsedRepr> kept;
    PyObject* kept_item = nullptr;
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject* item = PyList_GET_ITEM(items, i);
        auto parsed = extract_parsed_for_ecosystem(item, *eco);
        if (!parsed) return nullptr;
        bool take = !kept;
        if (!take) {
            if constexpr (K == Keep::LastHighest)
                take = strategy.compare(*parsed, *kept) != Ordering::Less;
            else
                take = strategy.compare(*kept, *parsed) == Ordering::Greater;
        }
        if (take) {
            kept = std::move(parsed);
            kept_item = item;
        }
    }
    Py_INCREF(kept_item);
    return kept_item;
}

PyObject* max_version(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return select_extreme<Keep::LastHighest>(module, MAX_VERSION_SIG, args, nargs, kwnames);
}

PyObject* min_version(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return select_extreme<Keep::FirstLowest>(module, MIN_VERSION_SIG, args, nargs, kwnames);
}

constexpr int FASTCALL = METH_FASTCALL | METH_KEYWORDS;

}  // namespace

PyMethodDef VERSION_DEF = {"version", function_entry<version>(), FASTCALL, "version(s, ecosystem=\"auto\")\n--\n\n"};
PyMethodDef COMPARE_SEMVER_STRICT_DEF = {"compare_semver_strict", function_entry<compare_semver_strict>(), FASTCALL,
                                         "compare_semver_strict(a, b)\n--\n\n"};
PyMethodDef SORT_VERSIONS_DEF = {"sort_versions", function_entry<sort_versions>(), FASTCALL,
                                 "sort_versions(versions, ecosystem=\"generic\")\n--\n\n"};
PyMethodDef BATCH_COMPARE_DEF = {"batch_compare", function_entry<batch_compare>(), FASTCALL,
                                 "batch_compare(pairs, ecosystem=\"generic\")\n--\n\n"};
PyMethodDef MAX_VERSION_DEF = {"max_version", function_entry<max_version>(), FASTCALL,
                               "max_version(versions, ecosystem=\"generic\")\n--\n\n"};
PyMethodDef MIN_VERSION_DEF = {"min_version", function_entry<min_version>(), FASTCALL,
                               "min_version(versions, ecosystem=\"generic\")\n--\n\n"};

}  // namespace quorlen::python
