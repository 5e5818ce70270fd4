// stable_versions and latest_stable. Stable means one thing in every
// ecosystem: the generic parse has no pre-release flag. The ecosystem only
// decides whether a stable item parses and how the stable items order.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "python/args.hpp"
#include "python/boundary.hpp"
#include "python/conv.hpp"
#include "python/functions.hpp"
#include "python/seq.hpp"
#include "sort_keys.hpp"

namespace quorlen::python {

namespace {

constexpr Signature STABLE_VERSIONS_SIG{"stable_versions", {"versions", "ecosystem"}, 2, 1};
constexpr Signature LATEST_STABLE_SIG{"latest_stable", {"versions", "ecosystem"}, 2, 1};

PyObject* stable_versions(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    ListArgs in;
    if (!bind_list_args(STABLE_VERSIONS_SIG, args, nargs, kwnames, in)) return nullptr;
    PyObject* items = in.items.get();
    const auto n = static_cast<std::size_t>(PyList_GET_SIZE(items));
    auto eco = resolve_eco(module_state(module), in.eco_name, n > 0 ? PyList_GET_ITEM(items, 0) : nullptr);
    if (!eco) return nullptr;

    ItemTexts& texts = in.texts;
    finish_texts(items, texts);
    Status parsed = success();
    std::vector<uint32_t> kept;
    {
        LockReleased unlocked(n >= RELEASE_LOCK_FROM);
        const std::vector<std::string_view>& t = texts.texts;
        for (std::size_t i = 0; i < t.size(); ++i) {
            if (generic_prerelease(t[i])) continue;  // dropped before the ecosystem could refuse it
            // The generic parse accepts every text; other ecosystems may
            // refuse a stable item, and that refusal is the call's error.
            if (*eco != Ecosystem::Generic) {
                parsed = check_text(*eco, t[i]);
                if (!parsed) break;
            }
            kept.push_back(static_cast<uint32_t>(i));
        }
    }
    if (!parsed || texts.error) return raise_first(parsed, texts);

    PyObject* result = PyList_New(static_cast<Py_ssize_t>(kept.size()));
    if (!result) return nullptr;
    for (std::size_t k = 0; k < kept.size(); ++k) {
        PyObject* item = PyList_GET_ITEM(items, kept[k]);
        Py_INCREF(item);
        PyList_SET_ITEM(result, static_cast<Py_ssize_t>(k), item);
    }
    return result;
}

PyObject* latest_stable(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    ListArgs in;
    if (!bind_list_args(LATEST_STABLE_SIG, args, nargs, kwnames, in)) return nullptr;
    PyObject* items = in.items.get();
    const auto n = static_cast<std::size_t>(PyList_GET_SIZE(items));
    if (n == 0) {
        raise_value_error("empty sequence");
        return nullptr;
    }
    // Under "auto" the first item decides, even when it is a pre-release.
    auto eco = resolve_eco_for_obj(module_state(module), in.eco_name, PyList_GET_ITEM(items, 0));
    if (!eco) return nullptr;

    ItemTexts& texts = in.texts;
    finish_texts(items, texts);
    Status parsed = success();
    std::optional<uint32_t> latest;  // index into the items
    {
        LockReleased unlocked(n >= RELEASE_LOCK_FROM);
        const std::vector<std::string_view>& t = texts.texts;
        // The highest stable item so far is item 0 of the keys, the next
        // stable one item 1; a later one that orders equal replaces it,
        // which is the item a stable ascending sort would put last.
        SortKeys keys(*eco, 2, false);
        for (std::size_t i = 0; i < t.size(); ++i) {
            if (generic_prerelease(t[i])) continue;
            parsed = keys.add(t[i]);
            if (!parsed) break;
            const bool take = !latest || keys.order(1, 0) != Ordering::Less;
            if (latest) keys.keep_only(take ? 1 : 0);
            if (take) latest = static_cast<uint32_t>(i);
        }
    }
    if (!parsed || texts.error) return raise_first(parsed, texts);
    if (!latest) {
        raise_value_error("no stable versions found");
        return nullptr;
    }
    PyObject* item = PyList_GET_ITEM(items, *latest);
    Py_INCREF(item);
    return item;
}

constexpr int FASTCALL = METH_FASTCALL | METH_KEYWORDS;

}  // namespace

PyMethodDef STABLE_VERSIONS_DEF = {"stable_versions", function_entry<stable_versions>(), FASTCALL,
                                   "stable_versions(versions, ecosystem=\"generic\")\n--\n\n"};
PyMethodDef LATEST_STABLE_DEF = {"latest_stable", function_entry<latest_stable>(), FASTCALL,
                                 "latest_stable(versions, ecosystem=\"generic\")\n--\n\n"};

}  // namespace quorlen::python
