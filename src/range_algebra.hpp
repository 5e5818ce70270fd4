// Exact set operations on ranges under one ecosystem's ordering: the
// versions two ranges share, the versions either holds, whether one lies
// within the other, and one canonical text for the versions a range holds.
//
// The versions of an ecosystem are taken to be dense: between two distinct
// versions lies a third. Bounds are arbitrary texts, so nothing smaller can
// be assumed without knowing every ecosystem's next-version rule.
#pragma once

#include <optional>
#include <string>

#include "core/result.hpp"
#include "ranges.hpp"

namespace quorlen::ranges {

// Range texts in this library's grammar: branches joined by " || ",
// comparators by ","; "*" for every version, nullopt for none. Every version
// text of both ranges is parsed (the left range first), so the first that
// the ecosystem rejects is the error.
using RangeText = std::optional<std::string>;

Result<RangeText> range_intersection(Ecosystem eco, const RangeSet& a, const RangeSet& b);
Result<RangeText> range_union(Ecosystem eco, const RangeSet& a, const RangeSet& b);
Result<bool> range_subset(Ecosystem eco, const RangeSet& a, const RangeSet& b);
// The versions `r` leaves out; nullopt when it admits every version.
Result<RangeText> range_complement(Ecosystem eco, const RangeSet& r);
// The versions of `a` that are not in `b`; nullopt when there are none.
Result<RangeText> range_difference(Ecosystem eco, const RangeSet& a, const RangeSet& b);
// Each branch as its tightest bounds plus the single versions it leaves out;
// branches that overlap or touch merged; sorted by their lower bounds.
Result<RangeText> range_simplify(Ecosystem eco, const RangeSet& r);

// The versions a range holds as one sorted list of comparators, each version
// at most once: for each piece of the simplified range its lower bound, the
// versions it leaves out ("!="), and its upper bound, a single version as
// "=="; between pieces an upper bound is followed by a lower one. Empty for
// every version; nullopt for none.
Result<std::optional<Branch>> range_constraint_list(Ecosystem eco, const RangeSet& r);

// Whether some version satisfies both branches; every version text of `a`
// and then of `b` is parsed.
Result<bool> branches_meet(Ecosystem eco, const Branch& a, const Branch& b);

}  // namespace quorlen::ranges
