// bump_major, bump_minor, bump_patch, bump_prerelease and next_stable: new
// version texts of the shape major.minor.patch[-tag.counter], derived from the
// generic parse whatever ecosystem the text comes from.
#include <cstdint>
#include <string>
#include <string_view>

#include "bump.hpp"
#include "parser.hpp"
#include "python/args.hpp"
#include "python/boundary.hpp"
#include "python/functions.hpp"
#include "python/seq.hpp"

namespace quorlen::python {

namespace {

// ---------------------------------------------------------------- texts

// The release triple: positions 0, 1 and 2 of the segment list; a text
// segment or a missing one counts as 0.
uint64_t number_at(const SegList& segs, std::size_t i) {
    return i < segs.size() && segs[i].is_number() ? segs[i].number : 0;
}

Release release_of(const ParsedVersion& v) {
    return Release{number_at(v.segments, 0), number_at(v.segments, 1), number_at(v.segments, 2)};
}

std::string release_text(const Release& r) {
    std::string out;
    append_release(out, r);
    return out;
}

template <Component C>
std::string bumped(const Release& r) {
    std::string out;
    append_bumped(out, r, C);  // an increment past 64 bits is written exactly
    return out;
}

// The counter continues only when the first text segment is the tag itself
// and a number follows it directly; any other prerelease starts over at 0.
std::string prerelease_bumped(const ParsedVersion& v, std::string_view tag_arg) {
    const std::string tag = ascii::lower(tag_arg);
    const SegList& segs = v.segments;
    std::size_t first_text = 0;
    while (first_text < segs.size() && segs[first_text].is_number()) ++first_text;

    std::string out = release_text(release_of(v));
    out += '-';
    out += tag;
    out += '.';
    if (first_text < segs.size() && segs[first_text].text == tag && first_text + 1 < segs.size() &&
        segs[first_text + 1].is_number())
        append_successor(out, segs[first_text + 1].number);
    else
        out += '0';
    return out;
}

// ---------------------------------------------------------------- Python entries

PyObject* to_str(const std::string& text) {
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

template <const Signature& Sig, std::string (*Derive)(const Release&)>
PyObject* bump_release(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* a[1];
    if (!bind_args(Sig, args, nargs, kwnames, a)) return nullptr;
    auto text = str_arg(Sig, 0, a[0]);
    if (!text) return nullptr;
    return to_str(Derive(release_of(parse_generic(*text))));
}

constexpr Signature BUMP_MAJOR_SIG{"bump_major", {"version"}, 1, 1};
constexpr Signature BUMP_MINOR_SIG{"bump_minor", {"version"}, 1, 1};
constexpr Signature BUMP_PATCH_SIG{"bump_patch", {"version"}, 1, 1};
constexpr Signature NEXT_STABLE_SIG{"next_stable", {"version"}, 1, 1};
constexpr Signature BUMP_PRERELEASE_SIG{"bump_prerelease", {"version", "tag"}, 2, 1};

PyObject* bump_prerelease(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    const Signature& sig = BUMP_PRERELEASE_SIG;
    PyObject* a[2];
    if (!bind_args(sig, args, nargs, kwnames, a)) return nullptr;
    auto text = str_arg(sig, 0, a[0]);
    if (!text) return nullptr;
    std::string_view tag = "alpha";
    if (a[1]) {
        auto given = str_arg(sig, 1, a[1]);
        if (!given) return nullptr;
        tag = *given;
    }
    return to_str(prerelease_bumped(parse_generic(*text), tag));
}

constexpr int FASTCALL = METH_FASTCALL | METH_KEYWORDS;

}  // namespace

PyMethodDef BUMP_MAJOR_DEF = {"bump_major", function_entry<bump_release<BUMP_MAJOR_SIG, bumped<Component::Major>>>(), FASTCALL,
                              "bump_major(version)\n--\n\n"};
PyMethodDef BUMP_MINOR_DEF = {"bump_minor", function_entry<bump_release<BUMP_MINOR_SIG, bumped<Component::Minor>>>(), FASTCALL,
                              "bump_minor(version)\n--\n\n"};
PyMethodDef BUMP_PATCH_DEF = {"bump_patch", function_entry<bump_release<BUMP_PATCH_SIG, bumped<Component::Patch>>>(), FASTCALL,
                              "bump_patch(version)\n--\n\n"};
PyMethodDef BUMP_PRERELEASE_DEF = {
    "bump_prerelease", function_entry<bump_prerelease>(), FASTCALL,
    "bump_prerelease(version, tag=\"alpha\")\n--\n\n"
    "Bump the prerelease counter on a version.\n"
    "\n"
    "Semantics:\n"
    "  - If the version has a prerelease segment with the same `tag`, the\n"
    "    first numeric segment following that tag is incremented.\n"
    "  - Otherwise the existing prerelease is replaced with `-{tag}.0`.\n"
    "  - If no release triple is present, it's filled with `0.0.0`."};
PyMethodDef NEXT_STABLE_DEF = {"next_stable", function_entry<bump_release<NEXT_STABLE_SIG, release_text>>(), FASTCALL,
                               "next_stable(version)\n--\n\n"
                               "Return the release form of a version, stripping any prerelease/postrelease\n"
                               "tags and build metadata. `1.2.3-alpha.1+build` \xe2\x86\x92 `1.2.3`."};

}  // namespace quorlen::python
