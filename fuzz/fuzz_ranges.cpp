// Constraint expressions: parse, membership, overlap and the algebra. The first byte picks
// the ecosystem; line one and line two are ranges, the rest are candidates.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "core/unicode.hpp"
#include "fuzz_support.hpp"
#include "range_algebra.hpp"
#include "ranges.hpp"
#include "strategies/registry.hpp"

using namespace quorlen;
using ranges::RangeSet;

namespace {

bool total_preorder(Ecosystem eco) noexcept {
    return eco == Ecosystem::Debian || eco == Ecosystem::Rpm || eco == Ecosystem::Semver ||
           eco == Ecosystem::Npm;
}

// What the parse promises of every range it returns, whatever the input.
void check_shape(const RangeSet& set) {
    FUZZ_CHECK(!set.branches.empty());
    for (const auto& branch : set.branches) {
        for (const auto& c : branch) {
            FUZZ_CHECK(!c.version.empty());
            FUZZ_CHECK(unicode::trim(c.version) == c.version);
            FUZZ_CHECK(static_cast<unsigned>(c.op) <= static_cast<unsigned>(ranges::CmpOp::NotIn));
            FUZZ_CHECK((c.op == ranges::CmpOp::NotIn) == !c.until.empty());
        }
    }
}

// Texts that the algebra's output writes back unchanged: no separator or
// bracket inside a version (only an interval bound can hold one).
bool plain_texts(const RangeSet& set) {
    for (const auto& branch : set.branches)
        for (const auto& c : branch)
            for (std::size_t i = 0; i < c.version.size();) {
                const unicode::Decoded d = unicode::decode(c.version, i);
                if (d.cp == U',' || d.cp == U'|' || d.cp == U'(' || d.cp == U')' || d.cp == U'[' || d.cp == U']' ||
                    unicode::is_white_space(d.cp))
                    return false;
                i += d.len;
            }
    return true;
}

std::optional<RangeSet> reparsed(Ecosystem eco, const ranges::RangeText& text) {
    FUZZ_CHECK(text.has_value());
    auto r = RangeSet::parse(*text, eco);
    FUZZ_CHECK(r.ok());  // the algebra writes only what the grammar reads
    return std::move(r).value();
}

std::optional<bool> value_of(const Result<bool>& r) {
    if (!r.ok()) {
        FUZZ_CHECK(!r.error().empty());
        return std::nullopt;
    }
    return *r;
}

// Each witness the ecosystem reads lies in exactly one of a range and its
// complement, and in `a - b` exactly when it lies in `a` and not in `b`.
void check_complement_and_difference(Ecosystem eco, const std::vector<RangeSet>& sets,
                                     const std::vector<std::string_view>& lines) {
    std::optional<RangeSet> outside, rest;
    const auto c = ranges::range_complement(eco, sets[0]);
    if (!c.ok()) return;
    if (*c) outside = reparsed(eco, *c);
    if (sets.size() == 2) {
        const auto d = ranges::range_difference(eco, sets[0], sets[1]);
        if (!d.ok()) return;
        if (*d) rest = reparsed(eco, *d);
    }
    for (std::size_t i = 2; i < lines.size(); ++i) {
        if (!parse_for_ecosystem(eco, lines[i]).ok()) continue;
        const std::optional<bool> in_a = value_of(sets[0].contains(eco, lines[i]));
        if (!in_a) continue;
        const std::optional<bool> out = outside ? value_of(outside->contains(eco, lines[i])) : false;
        if (out) FUZZ_CHECK(*out != *in_a);
        if (sets.size() != 2) continue;
        const std::optional<bool> in_b = value_of(sets[1].contains(eco, lines[i]));
        const std::optional<bool> in_rest = rest ? value_of(rest->contains(eco, lines[i])) : false;
        if (in_b && in_rest) FUZZ_CHECK(*in_rest == (*in_a && !*in_b));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const Ecosystem eco = fuzz::ecosystem_of(data[0]);
    const auto lines = fuzz::split_lines(fuzz::as_text(data + 1, size - 1), 8);

    std::vector<RangeSet> sets;
    for (std::size_t i = 0; i < lines.size() && i < 2; ++i) {
        auto r = RangeSet::parse(lines[i], eco);
        if (!r.ok()) {
            FUZZ_CHECK(!r.error().empty());
            continue;
        }
        check_shape(*r);
        // An empty first branch accepts without looking at the candidate.
        if (r->branches.front().empty()) FUZZ_CHECK(value_of(r->contains(eco, "\xff")) == true);
        sets.push_back(std::move(r).value());
    }

    for (std::size_t i = 2; i < lines.size(); ++i) {
        std::optional<bool> in[2];
        for (std::size_t s = 0; s < sets.size(); ++s) in[s] = value_of(sets[s].contains(eco, lines[i]));
        if (sets.size() == 2 && in[0] == true && in[1] == true && total_preorder(eco)) {
            // A version inside both ranges is a witness of their overlap.
            const auto both = value_of(sets[0].intersects(eco, sets[1]));
            if (both) FUZZ_CHECK(*both);
        }
    }

    if (sets.size() == 2) {
        const auto ab = value_of(sets[0].intersects(eco, sets[1]));
        const auto ba = value_of(sets[1].intersects(eco, sets[0]));
        if (ab && ba && total_preorder(eco)) FUZZ_CHECK(*ab == *ba);
    }
    for (const auto& set : sets) (void)value_of(set.intersects(eco, set));

    // Laws of the algebra, where the ordering is a total preorder.
    if (!total_preorder(eco)) return 0;
    for (const auto& set : sets) {
        if (!plain_texts(set)) return 0;
        const auto simple = ranges::range_simplify(eco, set);
        if (!simple.ok() || !*simple) continue;
        const auto again = ranges::range_simplify(eco, *reparsed(eco, *simple));
        FUZZ_CHECK(again.ok() && *again == *simple);
    }
    if (!sets.empty()) check_complement_and_difference(eco, sets, lines);
    if (sets.size() != 2) return 0;
    const auto both = ranges::range_intersection(eco, sets[0], sets[1]);
    if (!both.ok()) return 0;
    const auto overlap = value_of(sets[0].intersects(eco, sets[1]));
    if (overlap) FUZZ_CHECK(*overlap == both->has_value());
    if (!*both) return 0;
    const std::optional<RangeSet> inter = reparsed(eco, *both);
    for (std::size_t i = 2; i < lines.size(); ++i) {
        // Whatever lies in the intersection lies in both ranges. A text the
        // ecosystem refuses lies in no range: "*" takes it without looking,
        // where a range that compares it reports the refusal.
        if (!parse_for_ecosystem(eco, lines[i]).ok()) continue;
        if (value_of(inter->contains(eco, lines[i])) != true) continue;
        FUZZ_CHECK(value_of(sets[0].contains(eco, lines[i])) == true);
        FUZZ_CHECK(value_of(sets[1].contains(eco, lines[i])) == true);
    }
    return 0;
}
