// Constraint expressions: an OR-list of branches, each an AND-list of
// operator/version terms. Parsing is textual (the ecosystem only picks how
// "~>" and "~=" read); versions are parsed and ordered only during
// evaluation.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/inline_vec.hpp"
#include "core/result.hpp"
#include "parser.hpp"

namespace quorlen::ranges {

// NotIn excludes the half-open span [version, until): the prefix form
// "!=1.2.*" removes a whole run of releases, which no single bound can say.
enum class CmpOp : uint8_t { Gt, Ge, Lt, Le, Eq, Ne, NotIn };

struct Comparator {
    std::string version;  // never empty, trimmed, not validated
    CmpOp op;
    std::string until;  // the end of the excluded span for NotIn, else empty
};

using Branch = std::vector<Comparator>;

struct Interval {
    std::vector<std::string> exact;
    std::optional<std::string> lower;
    bool lower_inclusive = false;
    std::optional<std::string> upper;
    bool upper_inclusive = false;
};

struct NumPrefix {
    InlineVec<uint64_t, 3> numbers;  // zero to three leading numbers, never on the heap
    uint8_t given = 3;              // numbers before a wildcard, or 3
};

// How "~>" and "~=" read: the pessimistic rule (the release as written, the
// last component written floating), exactly as "~", or as Elixir's "~>".
enum class Pessimistic : uint8_t { Rule, Tilde, Elixir };

// The reading of the ecosystem's own tools: the SemVer family reads them as
// "~" except hex, which reads them as Elixir; every other ecosystem by the rule.
Pessimistic pessimistic_reading(Ecosystem eco) noexcept;

struct RangeSet {
    std::vector<Branch> branches;

    // Only the reading of "~>" and "~=" depends on the ecosystem.
    static Result<RangeSet> parse(std::string_view text, Ecosystem eco);
    Result<bool> contains(Ecosystem eco, std::string_view version) const;
    Result<bool> intersects(Ecosystem eco, const RangeSet& other) const;
};

std::optional<NumPrefix> parse_num_prefix(std::string_view text);
Result<Ordering> cmp_versions(Ecosystem eco, std::string_view left, std::string_view right);
Result<bool> version_in_branch(Ecosystem eco, const Branch& branch, std::string_view version);
Interval interval_for(const Branch& branch);

}  // namespace quorlen::ranges
