// stable_versions and latest_stable. Stable means one thing in every
// ecosystem: the generic parse has no pre-release flag. The ecosystem only
// decides whether a stable item parses and how the stable items order.
#include <optional>
#include <vector>

#include "python/args.hpp"
#include "python/boundary.hpp"
#include "python/conv.hpp"
#include "python/functions.hpp"
#include "python/seq.hpp"

namespace quorlen::python {

namespace {

constexpr Signature STABLE_VERSIONS_SIG{"stable_versions", {"versions", "ecosystem"}, 2, 1};
constexpr Signature LATEST_STABLE_SIG{"latest_stable", {"versions", "ecosystem"}, 2, 1};

// The generic parse of a Version or str (TypeError "expected Version or str"
// for anything else). Its pre-release flag is the Version's is_prerelease.
std::optional<ParsedRepr> generic_parse(PyObject* item) {
    return extract_parsed_for_ecosystem(item, Ecosystem::Generic);
}

bool is_prerelease(const ParsedRepr& generic) { return expect<ParsedVersion>(generic).is_prerelease; }

PyObject* stable_versions(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    const Signature& sig = STABLE_VERSIONS_SIG;
    PyObject* a[2];
    if (!bind_args(sig, args, nargs, kwnames, a)) return nullptr;
    OwnedRef items(read_sequence(sig, 0, a[0]));
    if (!items) return nullptr;
    auto eco_name = ecosystem_arg(sig, 1, a[1], "generic");
    if (!eco_name) return nullptr;
    const Py_ssize_t n = PyList_GET_SIZE(items.get());
    auto eco = resolve_eco(module_state(module), *eco_name, n > 0 ? PyList_GET_ITEM(items.get(), 0) : nullptr);
    if (!eco) return nullptr;

    std::vector<PyObject*> kept;  // borrowed from `items`, which outlives them
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject* item = PyList_GET_ITEM(items.get(), i);
        auto generic = generic_parse(item);
        if (!generic) return nullptr;
        if (is_prerelease(*generic)) continue;  // dropped before the ecosystem could reject it
        // The generic parse accepts every text; other ecosystems may refuse a
        // stable item, and that refusal is the call's error.
        if (*eco != Ecosystem::Generic && !extract_parsed_for_ecosystem(item, *eco)) return nullptr;
        kept.push_back(item);
    }

    PyObject* result = PyList_New(static_cast<Py_ssize_t>(kept.size()));
    if (!result) return nullptr;
    for (std::size_t k = 0; k < kept.size(); ++k) {
        Py_INCREF(kept[k]);
        PyList_SET_ITEM(result, static_cast<Py_ssize_t>(k), kept[k]);
    }
    return result;
}

PyObject* latest_stable(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    const Signature& sig = LATEST_STABLE_SIG;
    PyObject* a[2];
    if (!bind_args(sig, args, nargs, kwnames, a)) return nullptr;
    OwnedRef items(read_sequence(sig, 0, a[0]));
    if (!items) return nullptr;
    auto eco_name = ecosystem_arg(sig, 1, a[1], "generic");
    if (!eco_name) return nullptr;
    const Py_ssize_t n = PyList_GET_SIZE(items.get());
    if (n == 0) {
        raise_value_error("empty sequence");
        return nullptr;
    }
    // Under "auto" the first item decides, even when it is a pre-release.
    auto eco = resolve_eco_for_obj(module_state(module), *eco_name, PyList_GET_ITEM(items.get(), 0));
    if (!eco) return nullptr;
    const VersionStrategy& strategy = strategies::registry::strategy_for(*eco);

    // The highest stable item so far; a later one that orders equal replaces
    // it, which is the item a stable ascending sort would put last.
    std::optional<ParsedRepr> kept;
    PyObject* kept_item = nullptr;
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject* item = PyList_GET_ITEM(items.get(), i);
        auto parsed = generic_parse(item);
        if (!parsed) return nullptr;
        if (is_prerelease(*parsed)) continue;
        if (*eco != Ecosystem::Generic) {
            parsed = extract_parsed_for_ecosystem(item, *eco);
            if (!parsed) return nullptr;
        }
        if (!kept || strategy.compare(*parsed, *kept) != Ordering::Less) {
            kept = std::move(parsed);
            kept_item = item;
        }
    }
    if (!kept_item) {
        raise_value_error("no stable versions found");
        return nullptr;
    }
    Py_INCREF(kept_item);
    return kept_item;
}

constexpr int FASTCALL = METH_FASTCALL | METH_KEYWORDS;

}  // namespace

PyMethodDef STABLE_VERSIONS_DEF = {"stable_versions", function_entry<stable_versions>(), FASTCALL,
                                   "stable_versions(versions, ecosystem=\"generic\")\n--\n\n"};
PyMethodDef LATEST_STABLE_DEF = {"latest_stable", function_entry<latest_stable>(), FASTCALL,
                                 "latest_stable(versions, ecosystem=\"generic\")\n--\n\n"};

}  // namespace quorlen::python
