#include "strategies/generic.hpp"

#include "strategies/strategy.hpp"

namespace quorlen::strategies::generic {

namespace {

// Reads the segment at or after `at`, advancing `at` past it.
std::optional<SegView> read_main_view(std::string_view s, std::size_t& at) noexcept {
    const std::size_t n = s.size();
    while (at < n) {
        const char c = s[at];
        if (ascii::is_digit(c)) {
            std::size_t j = at + 1;
            while (j < n && ascii::is_digit(s[j])) ++j;
            SegView v{saturating_digits(s.substr(at, j - at)), nullptr, 0, 0, false};
            at = j;
            return v;
        }
        if (ascii::is_alpha(c)) {
            std::size_t j = at + 1;
            while (j < n && ascii::is_alpha(s[j])) ++j;
            const std::string_view letters = s.substr(at, j - at);
            const auto w = tag_weight_folded(letters);
            at = j;
            return SegView{0, letters.data(), static_cast<uint32_t>(letters.size()),
                           w ? static_cast<int16_t>(*w) : NO_WEIGHT, true};
        }
        if (c == '+') {
            at = n;
            break;
        }
        ++at;
        if (c == '~') return SegView{0, "~", 1, -10, true};
        if (c == '^') return SegView{0, "^", 1, 32, true};
    }
    return std::nullopt;
}

using detail::against_end;
using detail::cmp_lists;
using detail::cmp_seg;
using detail::is_insignificant;
using detail::significant;

// Pulls the segments of one main part on demand, so that comparing two texts
// reads only as far as the first difference and allocates nothing.
class SegCursor {
public:
    // `rest` may still hold the build text: reading stops at the first '+'.
    explicit SegCursor(std::string_view rest) noexcept : s_(rest) {}

    // The next segment, or nullopt at the end of the text or where every
    // remaining segment is insignificant (trailing zeros and release words,
    // which the ordering passes over).
    std::optional<SegView> next() noexcept {
        if (trailing_) return std::nullopt;
        std::optional<SegView> seg = read(pos_);
        if (!seg) return std::nullopt;
        if (is_insignificant(*seg) && pos_ > significant_end_ && !significant_ahead()) {
            trailing_ = true;
            return std::nullopt;
        }
        return seg;
    }

private:
    std::optional<SegView> read(std::size_t& at) const noexcept { return read_main_view(s_, at); }

    // Whether a significant segment follows the current position; remembers
    // where it ends so that no stretch of the text is scanned twice.
    bool significant_ahead() noexcept {
        std::size_t at = pos_;
        while (std::optional<SegView> seg = read(at)) {
            if (!is_insignificant(*seg)) {
                significant_end_ = at;
                return true;
            }
        }
        return false;
    }

    std::string_view s_;
    std::size_t pos_ = 0;
    std::size_t significant_end_ = 0;  // a significant segment ends here; none before is trailing
    bool trailing_ = false;
};

}  // namespace

std::size_t significant_length(std::span<const Seg> segs) noexcept { return significant(segs); }

int32_t effective_weight(const Seg& s) noexcept { return tag_weight(s.text).value_or(UNKNOWN_TAG_WEIGHT); }

Ordering cmp_segments(std::span<const Seg> a, std::span<const Seg> b) noexcept { return cmp_lists(a, b); }

void append_main_views(std::string_view rest, std::vector<SegView>& out) {
    std::size_t at = 0;
    while (std::optional<SegView> seg = read_main_view(rest, at)) out.push_back(*seg);
}

std::size_t significant_views(std::span<const SegView> segs) noexcept { return significant(segs); }

Ordering cmp_generic(const ParsedVersion& a, const ParsedVersion& b) noexcept {
    if (a.epoch != b.epoch) return order_of(a.epoch, b.epoch);
    return cmp_segments(a.segments, b.segments);
}

Ordering compare_generic_texts(std::string_view a, std::string_view b) noexcept {
    // One text, one parse. Versions that differ mostly differ at the end,
    // which decides before any byte in between is read.
    if (a.size() == b.size() && !a.empty() && a.back() == b.back() && a == b) return Ordering::Equal;
    const GenericHead pa = split_generic_head(a);
    const GenericHead pb = split_generic_head(b);
    if (pa.epoch != pb.epoch) return order_of(pa.epoch, pb.epoch);
    SegCursor ca(pa.rest);
    SegCursor cb(pb.rest);
    while (true) {
        const std::optional<SegView> x = ca.next();
        const std::optional<SegView> y = cb.next();
        Ordering o;
        if (x && y)
            o = cmp_seg(*x, *y);
        else if (x)
            o = against_end(*x);
        else if (y)
            o = reverse(against_end(*y));
        else
            return Ordering::Equal;
        if (o != Ordering::Equal) return o;
    }
}

}  // namespace quorlen::strategies::generic

namespace quorlen::strategies {

Result<ParsedRepr> GenericStrategy::parse(std::string_view input) { return ParsedRepr(parse_generic(input)); }

Ordering GenericStrategy::compare(const ParsedRepr& a, const ParsedRepr& b) noexcept {
    return generic::cmp_generic(expect<ParsedVersion>(a), expect<ParsedVersion>(b));
}

Result<Ordering> GenericStrategy::compare_texts(std::string_view a, std::string_view b) {
    return generic::compare_generic_texts(a, b);
}

}  // namespace quorlen::strategies
