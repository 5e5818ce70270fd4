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

PyObject* sort_versions(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    ListArgs in;
    if (!bind_list_args(SORT_VERSIONS_SIG, args, nargs, kwnames, in)) return nullptr;
    PyObject* items = in.items.get();
    const auto n = static_cast<std::size_t>(PyList_GET_SIZE(items));
    auto eco = resolve_eco(module_state(module), in.eco_name, n > 0 ? PyList_GET_ITEM(items, 0) : nullptr);
    if (!eco) return nullptr;

    ItemTexts& texts = in.texts;
    finish_texts(items, texts);
    Status parsed = success();
    std::vector<uint32_t> order;
    {
        LockReleased unlocked(n >= RELEASE_LOCK_FROM);
        SortKeys keys(*eco, texts.texts.size());
        parsed = keys.add_all(std::move(texts.texts));
        if (parsed && !texts.error) order = keys.sorted_order();
    }
    if (!parsed || texts.error) return raise_first(parsed, texts);

    PyObject* result = PyList_New(static_cast<Py_ssize_t>(n));
    if (!result) return nullptr;
    for (std::size_t k = 0; k < n; ++k) {
        PyObject* item = PyList_GET_ITEM(items, order[k]);
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

// The texts of the pairs, two a pair, in the order the pairs are compared:
// the first element's, then the second's. Under "auto" the first element
// also gives the pair's ecosystem, and fails as its text does.
struct PairTexts {
    std::vector<std::string_view> texts;
    // Each pair's ecosystem under "auto": a Version's own, or DETECT, from
    // its first text (which can wait until the lock is released).
    std::vector<uint8_t> ecos;
    bool want_ecos = true;  // false when the ecosystem argument is surely not "auto"
    PendingError error;     // of the first element without a text
    bool quick = true;      // every element so far had a quick text
};

constexpr uint8_t DETECT = UINT8_MAX;

uint8_t eco_byte(PyObject* first) { return is_version(first) ? version_ecosystem(first).index() : DETECT; }

// Reads the pairs argument into a private list, checking every pair (the
// first bad pair is the call's error) and taking the quick texts on the way.
PyObject* read_pairs(const Signature& sig, PyObject* obj, PairTexts& out) {
    if (PyList_Check(obj) || PyTuple_Check(obj)) {
        out.texts.reserve(2 * static_cast<std::size_t>(Py_SIZE(obj)));
        if (out.want_ecos) out.ecos.reserve(static_cast<std::size_t>(Py_SIZE(obj)));
    }
    return read_sequence_with(sig, 0, obj, [&sig, &out](std::size_t i, PyObject* pair) {
        if (!check_pair(sig, static_cast<Py_ssize_t>(i), pair)) return false;
        if (!out.quick) return true;
        PyObject* first = PyTuple_GET_ITEM(pair, 0);
        auto a = quick_text(first);
        auto b = a ? quick_text(PyTuple_GET_ITEM(pair, 1)) : std::nullopt;
        if (!b) {
            out.quick = false;  // finish_pairs reads this pair again
            return true;
        }
        if (out.want_ecos) out.ecos.push_back(eco_byte(first));
        out.texts.push_back(*a);
        out.texts.push_back(*b);
        return true;
    });
}

// Reads the texts read_pairs left; stops at the first element without one,
// keeping its error.
void finish_pairs(PyObject* pairs, PairTexts& out) {
    const auto n = static_cast<std::size_t>(PyList_GET_SIZE(pairs));
    out.texts.reserve(2 * n);
    if (out.want_ecos) out.ecos.reserve(n);
    for (std::size_t i = out.texts.size() / 2; i < n; ++i) {
        PyObject* pair = PyList_GET_ITEM(pairs, static_cast<Py_ssize_t>(i));
        for (Py_ssize_t side = 0; side < 2; ++side) {
            PyObject* obj = PyTuple_GET_ITEM(pair, side);
            auto text = extract_raw(obj);
            if (!text) {
                out.error.take();
                return;
            }
            if (side == 0 && out.want_ecos) out.ecos.push_back(eco_byte(obj));
            out.texts.push_back(*text);
        }
    }
}

PyObject* batch_compare(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    const Signature& sig = BATCH_COMPARE_SIG;
    PyObject* a[2];
    if (!bind_args(sig, args, nargs, kwnames, a)) return nullptr;
    // Every pair is checked while binding, before the ecosystem is looked at;
    // only a glance tells whether the pairs' own ecosystems will be needed.
    PairTexts in;
    in.want_ecos = a[1] && !(PyUnicode_Check(a[1]) && PyUnicode_IS_COMPACT_ASCII(a[1]) && !is_auto(*utf8_of(a[1])));
    OwnedRef pairs(read_pairs(sig, a[0], in));
    if (!pairs) return nullptr;
    const auto n = static_cast<std::size_t>(PyList_GET_SIZE(pairs.get()));
    auto eco_name = ecosystem_arg(sig, 1, a[1], "generic");
    if (!eco_name) return nullptr;

    // Under "auto" each pair takes the ecosystem of its own first element.
    const bool per_pair = is_auto(*eco_name);
    Ecosystem fixed = Ecosystem::Generic;
    if (!per_pair) {
        auto eco = eco_from_str(module_state(module), *eco_name);
        if (!eco) return nullptr;
        fixed = *eco;
    }
    finish_pairs(pairs.get(), in);

    const std::size_t whole = in.texts.size() / 2;  // pairs with both texts
    std::vector<Ordering> orders(whole);
    Status compared = success();
    {
        LockReleased unlocked(n >= RELEASE_LOCK_FROM);
        const std::string_view* t = in.texts.data();
        auto eco_of = [&](std::size_t i) {
            if (!per_pair) return fixed;
            const uint8_t e = in.ecos[i];
            return e == DETECT ? autodetect_ecosystem(t[2 * i]) : Ecosystem(static_cast<Ecosystem::Value>(e));
        };
        for (std::size_t i = 0; i < whole; ++i) {
            Result<Ordering> o = compare_texts_for_ecosystem(eco_of(i), t[2 * i], t[2 * i + 1]);
            if (!o) {
                compared = std::move(o).failure();
                break;
            }
            orders[i] = *o;
        }
        // A pair whose second element has no text fails there only if its
        // first element parses.
        if (compared && in.texts.size() % 2 == 1) compared = check_text(eco_of(whole), t[2 * whole]);
    }
    if (!compared) {
        raise_value_error(compared.error());
        return nullptr;
    }
    if (in.error) return in.error.raise();

    OwnedRef result(PyList_New(static_cast<Py_ssize_t>(n)));
    if (!result) return nullptr;
    const ModuleState& st = module_state(module);
    for (std::size_t i = 0; i < n; ++i) PyList_SET_ITEM(result.get(), static_cast<Py_ssize_t>(i), ordering_object(st, orders[i]));
    return result.release();
}

// Which candidate replaces the one kept so far.
enum class Keep {
    LastHighest,  // a candidate that does not order below the kept one
    FirstLowest,  // a candidate that the kept one orders strictly above
};

// The index of the item kept in one pass over the texts, each parsed once,
// or the first parse failure: with a consistent ordering the item a stable
// ascending sort would put last (LastHighest) or first (FirstLowest).
template <Keep K>
Result<std::size_t> extreme_index(Ecosystem eco, const std::vector<std::string_view>& texts) {
    SortKeys keys(eco, 2, false);  // the item kept so far is item 0, the next item 1
    std::size_t kept = 0;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        Status parsed = keys.add(texts[i]);
        if (!parsed) return std::move(parsed).failure();
        if (i == 0) continue;
        bool take;
        if constexpr (K == Keep::LastHighest)
            take = keys.order(1, 0) != Ordering::Less;
        else
            take = keys.order(0, 1) == Ordering::Greater;
        keys.keep_only(take ? 1 : 0);
        if (take) kept = i;
    }
    return kept;
}

template <Keep K>
PyObject* select_extreme(PyObject* module, const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    ListArgs in;
    if (!bind_list_args(sig, args, nargs, kwnames, in)) return nullptr;
    PyObject* items = in.items.get();
    const auto n = static_cast<std::size_t>(PyList_GET_SIZE(items));
    if (n == 0) {
        raise_value_error(EMPTY_SEQUENCE);
        return nullptr;
    }
    auto eco = resolve_eco_for_obj(module_state(module), in.eco_name, PyList_GET_ITEM(items, 0));
    if (!eco) return nullptr;

    ItemTexts& texts = in.texts;
    finish_texts(items, texts);
    Status parsed = success();
    std::size_t kept = 0;
    {
        LockReleased unlocked(n >= RELEASE_LOCK_FROM);
        Result<std::size_t> found = extreme_index<K>(*eco, texts.texts);
        if (found)
            kept = *found;
        else
            parsed = std::move(found).failure();
    }
    if (!parsed || texts.error) return raise_first(parsed, texts);
    PyObject* item = PyList_GET_ITEM(items, static_cast<Py_ssize_t>(kept));
    Py_INCREF(item);
    return item;
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
