#include "python/conv.hpp"

#include "python/args.hpp"
#include "python/names.hpp"
#include "python/pyversion.hpp"

namespace quorlen::python {

bool is_auto(std::string_view name) { return ascii::iequals(name, "auto"); }

std::optional<Ecosystem> eco_from_str(const ModuleState& st, std::string_view name) {
    Result<Ecosystem> r = Ecosystem::from_str(name);
    if (!r) {
        raise_failure(st, r.failure_kind(), r.error());
        return std::nullopt;
    }
    return *r;
}

std::optional<Ecosystem> resolve_eco(const ModuleState& st, std::string_view name, PyObject* obj) {
    if (is_auto(name)) return obj ? resolve_eco_for_obj(st, name, obj) : std::optional<Ecosystem>(Ecosystem::Generic);
    return eco_from_str(st, name);
}

std::optional<Ecosystem> resolve_eco_for_obj(const ModuleState& st, std::string_view name, PyObject* obj) {
    if (!is_auto(name)) return eco_from_str(st, name);
    if (is_version(obj)) return version_ecosystem(obj);
    if (PyUnicode_Check(obj)) {
        auto text = utf8_of(obj);
        if (!text) return std::nullopt;
        return autodetect_ecosystem(*text);
    }
    raise_type_error(EXPECTED_VERSION_OR_STR);
    return std::nullopt;
}

std::optional<EcoChoice> ecosystem_choice(const ModuleState& st, const Signature& sig, std::size_t index, PyObject* arg) {
    if (const std::optional<int16_t> known = known_name(st, arg)) {
        if (*known == AUTO_NAME) return EcoChoice{true, Ecosystem::Generic};
        return EcoChoice{false, Ecosystem(static_cast<Ecosystem::Value>(*known))};
    }
    const std::optional<std::string_view> name = str_arg(sig, index, arg);
    if (!name) return std::nullopt;
    if (is_auto(*name)) return EcoChoice{true, Ecosystem::Generic};
    const std::optional<Ecosystem> eco = eco_from_str(st, *name);
    if (!eco) return std::nullopt;
    return EcoChoice{false, *eco};
}

std::optional<Ecosystem> named_ecosystem(const ModuleState& st, const Signature& sig, std::size_t index, PyObject* arg) {
    const std::optional<int16_t> known = known_name(st, arg);
    if (known && *known != AUTO_NAME) return Ecosystem(static_cast<Ecosystem::Value>(*known));
    const std::optional<std::string_view> name = str_arg(sig, index, arg);
    if (!name) return std::nullopt;
    return eco_from_str(st, *name);
}

std::optional<Ecosystem> ecosystem_for(const ModuleState& st, const Signature& sig, std::size_t index, PyObject* arg,
                                       PyObject* obj) {
    const std::optional<EcoChoice> choice = ecosystem_choice(st, sig, index, arg);
    if (!choice) return std::nullopt;
    if (!choice->automatic) return choice->eco;
    return resolve_eco_for_obj(st, "auto", obj);
}

std::optional<ParsedRepr> parse_or_raise(Ecosystem eco, std::string_view text) {
    Result<ParsedRepr> r = parse_for_ecosystem(eco, text);
    if (!r) {
        raise_value_error(r.error());
        return std::nullopt;
    }
    return std::move(r).value();
}

std::optional<ParsedRepr> extract_parsed_for_ecosystem(PyObject* obj, Ecosystem eco) {
    if (is_version(obj)) {
        if (eco == Ecosystem::Generic) return ParsedRepr(version_generic(obj));
        return parse_or_raise(eco, version_raw(obj));
    }
    if (PyUnicode_Check(obj)) {
        auto text = utf8_of(obj);
        if (!text) return std::nullopt;
        return parse_or_raise(eco, *text);
    }
    raise_type_error(EXPECTED_VERSION_OR_STR);
    return std::nullopt;
}

std::optional<std::string_view> extract_raw(PyObject* obj) {
    if (is_version(obj)) return version_raw(obj);
    if (PyUnicode_Check(obj)) return utf8_of(obj);
    raise_type_error(EXPECTED_VERSION_OR_STR);
    return std::nullopt;
}

}  // namespace quorlen::python
