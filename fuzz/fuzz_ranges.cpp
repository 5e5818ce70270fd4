// Constraint expressions: parse, membership and overlap. The first byte picks
// the ecosystem; line one and line two are ranges, the rest are candidates.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/unicode.hpp"
#include "fuzz_support.hpp"
#include "ranges.hpp"

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
            FUZZ_CHECK(static_cast<unsigned>(c.op) <= static_cast<unsigned>(ranges::CmpOp::Ne));
        }
    }
}

std::optional<bool> value_of(const Result<bool>& r) {
    if (!r.ok()) {
        FUZZ_CHECK(!r.error().empty());
        return std::nullopt;
    }
    return *r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const Ecosystem eco = fuzz::ecosystem_of(data[0]);
    const auto lines = fuzz::split_lines(fuzz::as_text(data + 1, size - 1), 8);

    std::vector<RangeSet> sets;
    for (std::size_t i = 0; i < lines.size() && i < 2; ++i) {
        auto r = RangeSet::parse(lines[i]);
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
    return 0;
}
