// The keys that sort many versions under one ecosystem: each item parsed once
// into slices of its text (which the caller keeps alive), held in a few flat
// arrays instead of a full parse per item, so that sorting a long list touches
// a few dozen bytes per item rather than a kilobyte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "strategies/debian.hpp"
#include "strategies/generic.hpp"
#include "strategies/semver.hpp"
#include "strategies/strategy.hpp"
#include "strategies/text_order.hpp"

namespace quorlen {

class SortKeys {
public:
    // `sorting`: the keys will be sorted, not only passed over once, which
    // pays for leading-segment keys where those cost a pass of their own.
    SortKeys(Ecosystem eco, std::size_t expected, bool sorting = true);

    // Parses the next item as the ecosystem's parse does, failing as it
    // fails. `text` must outlive this object.
    Status add(std::string_view text);

    // add() of each text in order, up to the first failure, keeping the
    // vector itself as the items' texts. Only on keys with no items yet.
    Status add_all(std::vector<std::string_view>&& texts);

    // compare_for_ecosystem of the parses of items i and j.
    Ordering compare(std::size_t i, std::size_t j) const noexcept;

    // compare(i, j), answered from the items' leading segments where those
    // decide it. Only before sorted_order(), which moves the keys.
    Ordering order(std::size_t i, std::size_t j) const noexcept;

    // Keeps item i alone, as item 0: a pass that looks for one item holds
    // two at a time, the one kept and the next, whatever the list's length.
    void keep_only(std::size_t i);

    // The items' indices in stable ascending order: the very permutation
    // stable_merge_sort makes of the indices under compare(), whether or
    // not the ordering is transitive. Call it once, after the last add().
    std::vector<uint32_t> sorted_order();

    std::size_t size() const noexcept { return quick_.size(); }

    // ---------------------------------------------------------------- details
private:
    enum class Mode : uint8_t { Generic, Pep440, Semver, Debian, Rpm, Parsed, Text };

public:
    // What the sort moves, 16 bytes: an item's index and its leading
    // segments packed into 64 bits (see sort_keys.cpp); where two keys
    // differ on the positions both cover, they decide.
    struct QuickKey {
        uint64_t key;
        uint32_t index;
        uint8_t positions;
    };

private:
    // Everything add() does but keep the text.
    Status parse_next(std::string_view text);
    void add_generic(std::string_view text);
    uint32_t next_index() const;

    Ecosystem eco_;
    Mode mode_;
    bool sorting_;
    Status (*check_)(std::string_view) = nullptr;
    const strategies::TextOrder* text_order_ = nullptr;
    std::vector<QuickKey> quick_;
    std::vector<std::string_view> texts_;
    std::vector<strategies::generic::SegView> scan_;
    std::vector<strategies::semver::SemverView> semver_;
    std::vector<strategies::debian::PackageView> package_;
    std::vector<ParsedRepr> parsed_;
};

// Whether the ecosystem's parse accepts the text: SortKeys::add's answer
// and failure, without keeping anything.
Status check_text(Ecosystem eco, std::string_view text);

// The pre-release flag of the generic parse of the text, read off the text:
// a known word that ranks below a release, or a '~', in the main part.
bool generic_prerelease(std::string_view text) noexcept;

}  // namespace quorlen
