// Segment lists stored compactly inside one caller-owned block, and the two
// views of a segment list that ignore how it was written: the kept sequence
// behind hashes and sort keys, and the hash itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "parser.hpp"
#include "strategies/generic.hpp"

namespace quorlen {

// One generic segment in 16 bytes (a Seg takes 48): a number, or a text
// that lives elsewhere in the same block, whose length then takes the place
// of the number.
struct PackedSeg {
    uint64_t number = 0;         // the value; for a text, its length in bytes
    const char* text = nullptr;  // nullptr for a number

    bool is_number() const noexcept { return text == nullptr; }
    std::string_view text_view() const noexcept { return {text, static_cast<std::size_t>(number)}; }
};

// What the generic ordering asks of a segment (texts are stored lower-cased).
inline bool is_number(const PackedSeg& s) noexcept { return s.is_number(); }
inline uint64_t number_of(const PackedSeg& s) noexcept { return s.number; }
inline std::optional<int32_t> weight_of(const PackedSeg& s) noexcept { return tag_weight(s.text_view()); }
inline Ordering cmp_unknown_words(const PackedSeg& a, const PackedSeg& b) noexcept {
    const int c = a.text_view().compare(b.text_view());
    return c < 0 ? Ordering::Less : (c > 0 ? Ordering::Greater : Ordering::Equal);
}

inline std::string_view text_of(const PackedSeg& s) noexcept { return s.text_view(); }
inline std::string_view text_of(const Seg& s) noexcept { return s.text; }

// Bytes that pack_segments needs for the texts of these segments.
std::size_t packed_text_bytes(std::span<const Seg> segs) noexcept;

// Writes segs into out (segs.size() entries), copying their texts into pool;
// returns the end of the used pool. The block must outlive the PackedSegs.
char* pack_segments(std::span<const Seg> segs, PackedSeg* out, char* pool) noexcept;

// Appends owned copies of packed segments to a segment list.
template <class List>
void unpack_segments(std::span<const PackedSeg> segs, List& out) {
    for (const PackedSeg& s : segs) {
        if (s.is_number())
            out.push_back(Seg::num(s.number));
        else
            out.push_back(Seg::txt(s.text_view()));
    }
}

inline bool same_segments(std::span<const Seg> a, std::span<const Seg> b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!(a[i] == b[i])) return false;
    return true;
}

// The part of a segment list that hashes and sort keys see: the list cut
// after its last significant segment, whose leading run of numbers then loses
// its trailing zeros. Kept are [0, lead_end) and [rest_begin, end).
struct KeptSegments {
    std::size_t lead_end;
    std::size_t rest_begin;
    std::size_t end;
};

template <class S>
KeptSegments kept_segments(std::span<const S> segs) noexcept {
    const std::size_t end = strategies::generic::detail::significant(segs);
    std::size_t rest = 0;
    while (rest < end && segs[rest].is_number()) ++rest;
    std::size_t lead = rest;
    while (lead > 0 && segs[lead - 1].number == 0) --lead;
    return {lead, rest, end};
}

// The bytes behind a version's hash: epoch, then each kept segment tagged by
// kind; release words add nothing, so 1.0 and 1.0.final hash alike.
class HashBytes {
public:
    void epoch(uint64_t e) { put_u64(e); }
    void number(uint64_t n) {
        bytes_.push_back('\0');
        put_u64(n);
    }
    void text(std::string_view t);
    // A piece of text under a one-byte tag, for hashes of other orderings.
    void piece(char tag, std::string_view t);
    std::string_view view() const noexcept { return bytes_; }

private:
    void put_u64(uint64_t v);
    std::string bytes_;
};

// SipHash-1-3 under the all-zero key: the same in every process.
uint64_t hash_bytes(std::string_view bytes) noexcept;

template <class S>
uint64_t hash_segments(uint64_t epoch, std::span<const S> segs) {
    HashBytes b;
    b.epoch(epoch);
    const KeptSegments k = kept_segments(segs);
    for (std::size_t i = 0; i < k.lead_end; ++i) b.number(segs[i].number);
    for (std::size_t i = k.rest_begin; i < k.end; ++i) {
        if (segs[i].is_number())
            b.number(segs[i].number);
        else
            b.text(text_of(segs[i]));
    }
    return hash_bytes(b.view());
}

}  // namespace quorlen
