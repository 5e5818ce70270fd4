// Security functions: package URLs, VERS strings and OSV "affected" entries.
#include <array>
#include <new>
#include <string>

#include "core/unicode.hpp"
#include "python/args.hpp"
#include "python/boundary.hpp"
#include "python/conv.hpp"
#include "python/functions.hpp"
#include "range_algebra.hpp"
#include "security.hpp"

namespace quorlen::python {

namespace {

using security::OsvInterval;
using security::OsvSpans;
using security::Purl;
using security::Vers;

// ---------------------------------------------------------------- helpers

PyObject* text_to_str(std::string_view text) {
    return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), nullptr);
}

PyObject* opt_text_to_str(const std::optional<std::string>& text) {
    if (!text) Py_RETURN_NONE;
    return text_to_str(*text);
}

// An optional str parameter: absent when omitted or None. False with
// TypeError set for any other type.
bool opt_str_arg(const Signature& sig, std::size_t index, PyObject* obj, std::optional<std::string_view>& out) {
    out.reset();
    if (!obj || obj == Py_None) return true;
    auto text = str_arg(sig, index, obj);
    if (!text) return false;
    out = *text;
    return true;
}

std::optional<std::string> owned(std::optional<std::string_view> text) {
    if (!text) return std::nullopt;
    return std::string(*text);
}

// Borrowed values of the str keys named, from one pass over the dict (or a
// subclass, whose overridden methods are not called). Keys not named are
// ignored; a name that is missing leaves nullptr.
template <std::size_t N>
std::array<PyObject*, N> find_keys(PyObject* dict, const std::array<const char*, N>& names) {
    std::array<PyObject*, N> found{};
    Py_ssize_t pos = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(dict, &pos, &key, &value)) {
        if (!PyUnicode_Check(key)) continue;
        for (std::size_t i = 0; i < N; ++i) {
            if (PyUnicode_CompareWithASCIIString(key, names[i]) == 0) {
                found[i] = value;
                break;
            }
        }
    }
    return found;
}

// The UTF-8 text of an optional str field; false with TypeError (naming the
// field's path) for any other type.
bool field_text(PyObject* value, const char* path, std::optional<std::string_view>& out) {
    out.reset();
    if (!value) return true;
    if (!PyUnicode_Check(value)) {
        raise_type(path, "str", value);
        return false;
    }
    out = utf8_of(value);
    return out.has_value();
}

// ---------------------------------------------------------------- purl

constexpr Signature PARSE_PURL_SIG{"parse_purl", {"purl"}, 1, 1};
constexpr Signature PURL_ECOSYSTEM_SIG{"purl_ecosystem", {"purl"}, 1, 1};
constexpr Signature BUILD_PURL_SIG{
    "build_purl", {"package_type", "name", "version", "namespace", "qualifiers", "subpath"}, 6, 2};

// The Purl of the one str argument of parse_purl and purl_ecosystem.
std::optional<Purl> purl_arg(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* a[1];
    if (!bind_args(sig, args, nargs, kwnames, a)) return std::nullopt;
    auto text = str_arg(sig, 0, a[0]);
    if (!text) return std::nullopt;
    Result<Purl> purl = Purl::parse(*text);
    if (!purl) {
        raise_value_error(purl.error());
        return std::nullopt;
    }
    return std::move(purl).value();
}

PyObject* ecosystem_name(std::optional<Ecosystem> eco) {
    if (!eco) Py_RETURN_NONE;
    return text_to_str(eco->as_str());
}

// Sets dict[key] = value, taking over the reference to value.
bool put(PyObject* dict, const char* key, PyObject* value) {
    if (!value) return false;
    const int rc = PyDict_SetItemString(dict, key, value);
    Py_DECREF(value);
    return rc == 0;
}

PyObject* parse_purl(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    auto purl = purl_arg(PARSE_PURL_SIG, args, nargs, kwnames);
    if (!purl) return nullptr;
    PyObject* dict = PyDict_New();
    if (!dict) return nullptr;
    if (put(dict, "type", text_to_str(purl->type)) && put(dict, "namespace", opt_text_to_str(purl->namespace_)) &&
        put(dict, "name", text_to_str(purl->name)) && put(dict, "version", opt_text_to_str(purl->version)) &&
        put(dict, "qualifiers", opt_text_to_str(purl->qualifiers)) &&
        put(dict, "subpath", opt_text_to_str(purl->subpath)) && put(dict, "ecosystem", ecosystem_name(purl->ecosystem())))
        return dict;
    Py_DECREF(dict);
    return nullptr;
}

PyObject* purl_ecosystem(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    auto purl = purl_arg(PURL_ECOSYSTEM_SIG, args, nargs, kwnames);
    if (!purl) return nullptr;
    return ecosystem_name(purl->ecosystem());
}

PyObject* build_purl(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    const Signature& sig = BUILD_PURL_SIG;
    PyObject* a[6];
    if (!bind_args(sig, args, nargs, kwnames, a)) return nullptr;
    std::string_view texts[2];
    if (!str_args(sig, a, 2, texts)) return nullptr;
    const std::string_view type = texts[0], name = texts[1];
    std::array<std::optional<std::string_view>, 4> rest;  // version, namespace, qualifiers, subpath
    for (std::size_t i = 0; i < rest.size(); ++i)
        if (!opt_str_arg(sig, i + 2, a[i + 2], rest[i])) return nullptr;
    if (unicode::trim(type).empty() || unicode::trim(name).empty()) {
        raise_value_error("package_type and name are required");
        return nullptr;
    }
    Purl purl;
    purl.type = ascii::lower(type);
    purl.name = std::string(name);
    purl.version = owned(rest[0]);
    purl.namespace_ = owned(rest[1]);
    purl.qualifiers = owned(rest[2]);
    purl.subpath = owned(rest[3]);
    return text_to_str(purl.to_purl());
}

// ---------------------------------------------------------------- vers

constexpr Signature BUILD_VERS_SIG{"build_vers", {"ecosystem", "range", "standard"}, 3, 2};
constexpr Signature VERS_CONTAINS_SIG{"vers_contains", {"vers", "version"}, 2, 2};

PyObject* build_vers(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    const Signature& sig = BUILD_VERS_SIG;
    // `standard` is keyword-only.
    if (nargs > 2) {
        PyErr_Format(PyExc_TypeError, "build_vers() takes 2 positional arguments but %zd were given", nargs);
        return nullptr;
    }
    PyObject* a[3];
    if (!bind_args(sig, args, nargs, kwnames, a)) return nullptr;
    std::string_view texts[2];
    if (!str_args(sig, a, 2, texts)) return nullptr;
    const int standard = a[2] ? PyObject_IsTrue(a[2]) : 0;
    if (standard < 0) return nullptr;
    const std::string_view eco_name = texts[0], range = texts[1];
    auto eco = eco_from_str(module_state(module), eco_name);
    if (!eco) return nullptr;
    Result<ranges::RangeSet> parsed = ranges::RangeSet::parse(range, *eco);
    if (!parsed) {
        raise_value_error(parsed.error());
        return nullptr;
    }
    if (standard) {
        Result<std::string> published = security::to_published_vers(*eco, *parsed);
        if (!published) {
            raise_value_error(published.error());
            return nullptr;
        }
        return text_to_str(*published);
    }
    std::string out = "vers:";
    out += eco->as_str();
    out += '/';
    out += unicode::trim(range);
    return text_to_str(out);
}

PyObject* vers_contains(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    const Signature& sig = VERS_CONTAINS_SIG;
    PyObject* a[2];
    if (!bind_args(sig, args, nargs, kwnames, a)) return nullptr;
    std::string_view texts[2];
    if (!str_args(sig, a, 2, texts)) return nullptr;
    const std::string_view text = texts[0], version = texts[1];
    Result<Vers> vers = Vers::parse(text);
    if (!vers) {
        raise_failure(module_state(module), vers.failure_kind(), vers.error());
        return nullptr;
    }
    Result<bool> in = vers->range.contains(vers->ecosystem, version);
    if (!in) {
        raise_value_error(in.error());
        return nullptr;
    }
    return PyBool_FromLong(*in);
}

// ---------------------------------------------------------------- osv

constexpr Signature OSV_AFFECTED_SIG{"osv_affected", {"version", "affected", "ecosystem"}, 3, 2};

// The ecosystem named by affected["package"]["ecosystem"], generic without one.
std::optional<Ecosystem> package_ecosystem(PyObject* module, PyObject* package) {
    if (!package) return Ecosystem(Ecosystem::Generic);
    if (!PyDict_Check(package)) {
        raise_type("affected['package']", "dict", package);
        return std::nullopt;
    }
    const auto [name_obj] = find_keys<1>(package, {"ecosystem"});
    std::optional<std::string_view> name;
    if (!field_text(name_obj, "affected['package']['ecosystem']", name)) return std::nullopt;
    if (!name) return Ecosystem(Ecosystem::Generic);
    return eco_from_str(module_state(module), *name);
}

// Reads the events of one range into spans; false with the error set.
bool read_events(PyObject* events, OsvSpans& spans) {
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(events); ++i) {
        PyObject* event = PyList_GET_ITEM(events, i);
        if (!PyDict_Check(event)) {
            raise_type("range['events'] item", "dict", event);
            return false;
        }
        const auto found = find_keys<3>(event, {"introduced", "fixed", "last_affected"});
        std::optional<std::string_view> introduced, fixed, last_affected;
        if (!field_text(found[0], "event['introduced']", introduced) || !field_text(found[1], "event['fixed']", fixed) ||
            !field_text(found[2], "event['last_affected']", last_affected))
            return false;
        spans.event(introduced, fixed, last_affected);
    }
    return true;
}

// Whether one range object holds the version: 1 yes, 0 no, -1 error set.
int range_holds(PyObject* range, Ecosystem eco, std::string_view version) {
    if (!PyDict_Check(range)) {
        raise_type("affected['ranges'] item", "dict", range);
        return -1;
    }
    const auto [type, events] = find_keys<2>(range, {"type", "events"});
    // The bounds of a GIT range are commit hashes, which no version ordering
    // can place a release between.
    if (type && PyUnicode_Check(type) && PyUnicode_CompareWithASCIIString(type, "GIT") == 0) return 0;
    if (!events) return 0;
    if (!PyList_Check(events)) {
        raise_type("range['events']", "list", events);
        return -1;
    }
    OsvSpans spans;
    if (!read_events(events, spans)) return -1;
    // Each introduced/fixed pair is its own span; the whole range holds the
    // version when any span does.
    for (const OsvInterval& span : std::move(spans).finish()) {
        Result<bool> in = span.contains(eco, version);
        if (!in) {
            raise_value_error(in.error());
            return -1;
        }
        if (*in) return 1;
    }
    return 0;
}

// Whether the list of versions holds the exact text: 1 yes, 0 no, -1 error set.
int versions_hold(PyObject* versions, PyObject* version) {
    if (!PyList_Check(versions)) {
        raise_type("affected['versions']", "list", versions);
        return -1;
    }
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(versions); ++i) {
        PyObject* item = PyList_GET_ITEM(versions, i);
        if (!PyUnicode_Check(item)) {
            raise_type("affected['versions'] item", "str", item);
            return -1;
        }
        const int c = PyUnicode_Compare(item, version);
        if (c == -1 && PyErr_Occurred()) return -1;
        if (c == 0) return 1;
    }
    return 0;
}

PyObject* osv_affected(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    const Signature& sig = OSV_AFFECTED_SIG;
    PyObject* a[3];
    if (!bind_args(&module_state(module).keywords, sig, args, nargs, kwnames, a)) return nullptr;
    auto version = str_arg(sig, 0, a[0]);
    if (!version) return nullptr;
    PyObject* affected = a[1];
    if (!PyDict_Check(affected)) {
        raise_arg_type(sig, 1, "dict", affected);
        return nullptr;
    }
    std::optional<std::string_view> eco_name;
    if (!opt_str_arg(sig, 2, a[2], eco_name)) return nullptr;

    const auto [package, ranges, versions] = find_keys<3>(affected, {"package", "ranges", "versions"});
    // An explicit ecosystem overrides the record's, which is then not read.
    auto eco = eco_name ? eco_from_str(module_state(module), *eco_name) : package_ecosystem(module, package);
    if (!eco) return nullptr;

    if (ranges) {
        if (!PyList_Check(ranges)) {
            raise_type("affected['ranges']", "list", ranges);
            return nullptr;
        }
        for (Py_ssize_t i = 0; i < PyList_GET_SIZE(ranges); ++i) {
            const int r = range_holds(PyList_GET_ITEM(ranges, i), *eco, *version);
            if (r < 0) return nullptr;
            if (r) Py_RETURN_TRUE;
        }
    }
    if (versions) {
        const int r = versions_hold(versions, a[0]);
        if (r < 0) return nullptr;
        if (r) Py_RETURN_TRUE;
    }
    Py_RETURN_FALSE;
}

constexpr Signature OSV_RANGE_SIG{"osv_range", {"affected", "ecosystem"}, 2, 1};

// The spans of every range object that has events, GIT ranges left out as
// osv_affected leaves them; false with the error set.
bool read_all_spans(PyObject* ranges, std::vector<OsvInterval>& out) {
    if (!ranges) return true;
    if (!PyList_Check(ranges)) {
        raise_type("affected['ranges']", "list", ranges);
        return false;
    }
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(ranges); ++i) {
        PyObject* range = PyList_GET_ITEM(ranges, i);
        if (!PyDict_Check(range)) {
            raise_type("affected['ranges'] item", "dict", range);
            return false;
        }
        const auto [type, events] = find_keys<2>(range, {"type", "events"});
        if (type && PyUnicode_Check(type) && PyUnicode_CompareWithASCIIString(type, "GIT") == 0) continue;
        if (!events) continue;
        if (!PyList_Check(events)) {
            raise_type("range['events']", "list", events);
            return false;
        }
        OsvSpans spans;
        if (!read_events(events, spans)) return false;
        for (OsvInterval& span : std::move(spans).finish()) out.push_back(std::move(span));
    }
    return true;
}

bool read_listed(PyObject* versions, std::vector<std::string_view>& out) {
    if (!versions) return true;
    if (!PyList_Check(versions)) {
        raise_type("affected['versions']", "list", versions);
        return false;
    }
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(versions); ++i) {
        PyObject* item = PyList_GET_ITEM(versions, i);
        if (!PyUnicode_Check(item)) {
            raise_type("affected['versions'] item", "str", item);
            return false;
        }
        std::optional<std::string_view> text = utf8_of(item);
        if (!text) return false;
        out.push_back(*text);
    }
    return true;
}

PyObject* osv_range(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    const Signature& sig = OSV_RANGE_SIG;
    PyObject* a[2];
    if (!bind_args(sig, args, nargs, kwnames, a)) return nullptr;
    PyObject* affected = a[0];
    if (!PyDict_Check(affected)) {
        raise_arg_type(sig, 0, "dict", affected);
        return nullptr;
    }
    std::optional<std::string_view> eco_name;
    if (!opt_str_arg(sig, 1, a[1], eco_name)) return nullptr;
    const auto [package, ranges, versions] = find_keys<3>(affected, {"package", "ranges", "versions"});
    auto eco = eco_name ? eco_from_str(module_state(module), *eco_name) : package_ecosystem(module, package);
    if (!eco) return nullptr;
    std::vector<OsvInterval> spans;
    std::vector<std::string_view> listed;
    if (!read_all_spans(ranges, spans) || !read_listed(versions, listed)) return nullptr;
    Result<ranges::RangeText> text = ranges::range_simplify(*eco, osv_range_set(spans, listed));
    if (!text) {
        raise_value_error(text.error());
        return nullptr;
    }
    if (!*text) Py_RETURN_NONE;
    return text_to_str(**text);
}

}  // namespace

PyMethodDef PARSE_PURL_DEF = {"parse_purl", function_entry<parse_purl>(), METH_FASTCALL | METH_KEYWORDS,
                              "parse_purl(purl)\n--\n\n"};
PyMethodDef BUILD_PURL_DEF = {
    "build_purl", function_entry<build_purl>(), METH_FASTCALL | METH_KEYWORDS,
    "build_purl(package_type, name, version=None, namespace=None, qualifiers=None, subpath=None)\n--\n\n"};
PyMethodDef PURL_ECOSYSTEM_DEF = {"purl_ecosystem", function_entry<purl_ecosystem>(), METH_FASTCALL | METH_KEYWORDS,
                                  "purl_ecosystem(purl)\n--\n\n"};
PyMethodDef BUILD_VERS_DEF = {"build_vers", function_entry<build_vers>(), METH_FASTCALL | METH_KEYWORDS,
                              "build_vers(ecosystem, range, *, standard=False)\n--\n\n"
                              "\"vers:\" and the ecosystem's name before the range as written; with\n"
                              "`standard`, the range in the published VERS form under its package-URL type."};
PyMethodDef VERS_CONTAINS_DEF = {"vers_contains", function_entry<vers_contains>(), METH_FASTCALL | METH_KEYWORDS,
                                 "vers_contains(vers, version)\n--\n\n"};
PyMethodDef OSV_AFFECTED_DEF = {"osv_affected", function_entry<osv_affected>(), METH_FASTCALL | METH_KEYWORDS,
                                "osv_affected(version, affected, ecosystem=None)\n--\n\n"};
PyMethodDef OSV_RANGE_DEF = {"osv_range", function_entry<osv_range>(), METH_FASTCALL | METH_KEYWORDS,
                             "osv_range(affected, ecosystem=None)\n--\n\n"
                             "The versions an OSV \"affected\" entry covers, as a simplified range\n"
                             "(listed versions as \"==\" pins), or None when it covers none."};

}  // namespace quorlen::python
