#include "python/names.hpp"

#include "ecosystems.hpp"

namespace quorlen::python {

namespace {

constexpr std::size_t MASK = NAME_SLOTS - 1;
static_assert((NAME_SLOTS & MASK) == 0, "the name table's size is a power of two");

constexpr std::size_t count_names() {
    std::size_t n = 1;  // "auto"
    for (const EcosystemRow& r : ECOSYSTEMS) {
        ++n;
        any_name(r.aliases, [&](std::string_view) { return ++n, false; });
    }
    return n;
}
static_assert(count_names() * 3 <= NAME_SLOTS, "the name table keeps its probes short");

PyObject* interned(std::string_view text) {
    PyObject* s = PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
    if (s) PyUnicode_InternInPlace(&s);
    return s;
}

int add_name(ModuleState& st, std::string_view text, int16_t value) {
    PyObject* name = interned(text);
    if (!name) return -1;
    const Py_hash_t hash = PyObject_Hash(name);
    if (hash == -1) {
        Py_DECREF(name);
        return -1;
    }
    std::size_t i = static_cast<std::size_t>(hash) & MASK;
    while (st.names[i].name) i = (i + 1) & MASK;
    st.names[i] = NameSlot{name, hash, value};
    return 0;
}

}  // namespace

int intern_names(ModuleState& st) {
    if (add_name(st, "auto", AUTO_NAME) < 0) return -1;
    for (const EcosystemRow& r : ECOSYSTEMS) {
        const auto value = static_cast<int16_t>(r.id);
        if (add_name(st, r.name, value) < 0) return -1;
        int rc = 0;
        any_name(r.aliases, [&](std::string_view alias) { return (rc = add_name(st, alias, value)) < 0; });
        if (rc < 0) return -1;
    }
    for (std::size_t k = 0; k < st.orderings.size(); ++k) {
        st.orderings[k] = PyLong_FromLong(static_cast<long>(k) - 1);
        if (!st.orderings[k]) return -1;
    }
    for (std::size_t k = 0; k < KEYWORDS.size(); ++k) {
        st.keywords[k] = interned(KEYWORDS[k]);
        if (!st.keywords[k]) return -1;
    }
    return 0;
}

void clear_names(ModuleState& st) noexcept {
    for (NameSlot& slot : st.names) {
        Py_CLEAR(slot.name);
    }
    for (PyObject*& k : st.keywords) Py_CLEAR(k);
    for (PyObject*& o : st.orderings) Py_CLEAR(o);
}

}  // namespace quorlen::python
