// Identifiers used by security advisories: package URLs ("pkg:" form), VERS
// ranges ("vers:" form), and the spans of versions that the events of an OSV
// range describe.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.hpp"
#include "parser.hpp"
#include "ranges.hpp"

namespace quorlen::security {

// A package URL split at its separators. Nothing is percent-decoded; only the
// type is lower-cased, so rendering gives back what was parsed.
struct Purl {
    std::string type;                       // never empty once parsed
    std::optional<std::string> namespace_;  // path segments before the name, joined with "/"
    std::string name;                       // never empty once parsed
    std::optional<std::string> version;     // present (maybe empty) after an "@"
    std::optional<std::string> qualifiers;  // one unsplit text
    std::optional<std::string> subpath;

    static Result<Purl> parse(std::string_view input);
    // Writes the parts back with their separators; cannot fail.
    std::string to_purl() const;
    // The ecosystem whose rules order this package's versions, if any.
    std::optional<Ecosystem> ecosystem() const noexcept;
};

// Maps a (lower-case) package URL type to an ecosystem; exact match.
std::optional<Ecosystem> ecosystem_for_purl_type(std::string_view type) noexcept;

// "vers:{scheme}/{range}". The scheme is an ecosystem name, or else the
// package-URL type of one. The range is in this library's own grammar, or in
// the published form: constraints joined by single "|", sorted by version,
// "=" written as the bare version, "*" alone.
struct Vers {
    ranges::RangeSet range;
    Ecosystem ecosystem;

    static Result<Vers> parse(std::string_view input);
};

// The scheme the published form names an ecosystem by: its first package-URL
// type that is not the name of another ecosystem, else its own name.
std::string_view vers_scheme_of(Ecosystem eco) noexcept;

// The versions of a range in the published VERS form; fails for a range that
// holds no version, or a bound the form cannot write.
Result<std::string> to_published_vers(Ecosystem eco, const ranges::RangeSet& range);

// One span of an OSV range: the values of the three events that bound it.
struct OsvInterval {
    std::optional<std::string> introduced;
    std::optional<std::string> fixed;
    std::optional<std::string> last_affected;

    bool empty() const noexcept { return !introduced && !fixed && !last_affected; }
    bool closed() const noexcept { return fixed || last_affected; }

    // Whether the version lies in the span, judged under eco. A span whose
    // only value is the introduced "0" holds every version without parsing
    // it; a span without values holds none.
    Result<bool> contains(Ecosystem eco, std::string_view version) const;
};

// Splits the events of one OSV range into spans, in order. An "introduced"
// after a closed span opens a new one, so every introduced/fixed pair keeps
// its own span; any other value fills (or replaces) its slot in the open one.
class OsvSpans {
public:
    void event(std::optional<std::string_view> introduced, std::optional<std::string_view> fixed,
               std::optional<std::string_view> last_affected);
    // The spans read so far, the open one last; spans without values dropped.
    std::vector<OsvInterval> finish() &&;

private:
    std::vector<OsvInterval> spans_;
};

// The versions that OSV spans and listed versions cover, as one range: a
// branch per span (one with only the introduced "0" holds every version) and
// a "==" pin per listed version.
ranges::RangeSet osv_range_set(const std::vector<OsvInterval>& spans, const std::vector<std::string_view>& versions);

}  // namespace quorlen::security
