// compare and the eight boolean comparison functions.
#include "python/args.hpp"
#include "python/boundary.hpp"
#include "python/conv.hpp"
#include "python/functions.hpp"
#include "strategies/generic.hpp"

namespace quorlen::python {

namespace {

constexpr Signature COMPARE_SIG{"compare", {"a", "b", "ecosystem"}, 3, 2};

PyObject* compare(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    const Signature& sig = COMPARE_SIG;
    PyObject* a[3];
    // The module's state is read only when a name needs it: the default call
    // does without.
    if (!bind_args(kwnames ? &module_state(module).keywords : nullptr, sig, args, nargs, kwnames, a)) return nullptr;
    if (!a[2] && PyUnicode_Check(a[0]) && PyUnicode_Check(a[1])) {
        auto ta = utf8_of(a[0]);
        if (!ta) return nullptr;
        auto tb = utf8_of(a[1]);
        if (!tb) return nullptr;
        // The generic ordering refuses no text: no result to unwrap.
        return ordering_to_int(strategies::generic::compare_generic_texts(*ta, *tb));
    }
    const ModuleState& st = module_state(module);
    std::optional<Ecosystem> eco = Ecosystem::Generic;
    if (a[2]) {
        eco = ecosystem_for(st, sig, 2, a[2], a[0]);
        if (!eco) return nullptr;
    }
    if (PyUnicode_Check(a[0]) && PyUnicode_Check(a[1])) {
        // Two texts: no parse needs to outlive the comparison.
        auto ta = utf8_of(a[0]);
        if (!ta) return nullptr;
        auto tb = utf8_of(a[1]);
        if (!tb) return nullptr;
        if (*eco == Ecosystem::Generic) return ordering_object(st, strategies::generic::compare_generic_texts(*ta, *tb));
        Result<Ordering> o = compare_texts_for_ecosystem(*eco, *ta, *tb);
        if (!o) {
            raise_value_error(o.error());
            return nullptr;
        }
        return ordering_object(st, *o);
    }
    auto left = extract_parsed_for_ecosystem(a[0], *eco);
    if (!left) return nullptr;
    auto right = extract_parsed_for_ecosystem(a[1], *eco);
    if (!right) return nullptr;
    return ordering_object(st, compare_for_ecosystem(*eco, *left, *right));
}

// Which orderings make each boolean function true.
struct Truth {
    bool less, equal, greater;
};

template <const Signature& Sig, Truth T>
PyObject* boolean(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    const ModuleState& st = module_state(module);
    PyObject* a[3];
    if (!bind_args(&st.keywords, Sig, args, nargs, kwnames, a)) return nullptr;
    std::string_view texts[2];
    if (!str_args(Sig, a, 2, texts)) return nullptr;
    const std::string_view left = texts[0], right = texts[1];
    Ordering o;
    if (a[2]) {
        const std::optional<EcoChoice> choice = ecosystem_choice(st, Sig, 2, a[2]);
        if (!choice) return nullptr;
        const Ecosystem eco = choice->automatic ? autodetect_ecosystem(left) : choice->eco;
        Result<Ordering> ordering = compare_texts_for_ecosystem(eco, left, right);
        if (!ordering) {
            raise_value_error(ordering.error());
            return nullptr;
        }
        o = *ordering;
    } else {
        o = strategies::generic::compare_generic_texts(left, right);  // the default needs no lookup
    }
    const bool r = o == Ordering::Less ? T.less : (o == Ordering::Equal ? T.equal : T.greater);
    return PyBool_FromLong(r);
}

#define BOOLEAN_SIG(name) constexpr Signature name##_SIG{#name, {"a", "b", "ecosystem"}, 3, 2};
BOOLEAN_SIG(gt)
BOOLEAN_SIG(ge)
BOOLEAN_SIG(gte)
BOOLEAN_SIG(lt)
BOOLEAN_SIG(le)
BOOLEAN_SIG(lte)
BOOLEAN_SIG(eq)
BOOLEAN_SIG(ne)
#undef BOOLEAN_SIG

constexpr Truth GT{false, false, true};
constexpr Truth GE{false, true, true};
constexpr Truth LT{true, false, false};
constexpr Truth LE{true, true, false};
constexpr Truth EQ{false, true, false};
constexpr Truth NE{true, false, true};

#define DOC(name) #name "(a, b, ecosystem=\"generic\")\n--\n\n"

}  // namespace

PyMethodDef COMPARE_DEF = {"compare", function_entry<compare>(),
                           METH_FASTCALL | METH_KEYWORDS, DOC(compare)};

#define BOOLEAN_DEF(NAME, name, truth)                                                                          \
    PyMethodDef NAME##_DEF = {#name, function_entry<boolean<name##_SIG, truth>>(), \
                              METH_FASTCALL | METH_KEYWORDS, DOC(name)};
BOOLEAN_DEF(GT, gt, GT)
BOOLEAN_DEF(GE, ge, GE)
BOOLEAN_DEF(GTE, gte, GE)
BOOLEAN_DEF(LT, lt, LT)
BOOLEAN_DEF(LE, le, LE)
BOOLEAN_DEF(LTE, lte, LE)
BOOLEAN_DEF(EQ, eq, EQ)
BOOLEAN_DEF(NE, ne, NE)
#undef BOOLEAN_DEF

}  // namespace quorlen::python
