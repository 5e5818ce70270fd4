#include "strategies/spack.hpp"

#include <array>

namespace quorlen::strategies::spack {

namespace {

using native::cmp_bytes;
using native::cmp_digits;

struct Component {
    std::string_view text;  // empty past the last one
    bool number = false;
};

bool same_run(char a, char b) noexcept { return ascii::is_digit(a) == ascii::is_digit(b); }

Component next_component(std::string_view s, std::size_t& i) noexcept {
    while (i < s.size() && !ascii::is_alnum(s[i])) ++i;
    const std::size_t begin = i;
    while (i < s.size() && ascii::is_alnum(s[i]) && same_run(s[i], s[begin])) ++i;
    return {s.substr(begin, i - begin), begin < s.size() && ascii::is_digit(s[begin])};
}

// The component ending at or before `end`, which moves to its start.
Component previous_component(std::string_view s, std::size_t& end) noexcept {
    while (end > 0 && !ascii::is_alnum(s[end - 1])) --end;
    const std::size_t stop = end;
    while (end > 0 && ascii::is_alnum(s[end - 1]) && same_run(s[end - 1], s[stop - 1])) --end;
    return {s.substr(end, stop - end), stop > 0 && ascii::is_digit(s[stop - 1])};
}

// In rank order; a release ranks above them all.
constexpr std::array<std::string_view, 3> PRERELEASES = {"alpha", "beta", "rc"};
constexpr uint8_t FINAL = PRERELEASES.size();

uint8_t prerelease_rank(const Component& c) noexcept {
    if (c.number) return FINAL;
    for (std::size_t r = 0; r < PRERELEASES.size(); ++r)
        if (PRERELEASES[r] == c.text) return static_cast<uint8_t>(r);
    return FINAL;
}

// Where the components before the pre-release end, its rank and its number
// (empty when it has none).
struct Tail {
    std::size_t release_end;
    uint8_t rank = FINAL;
    std::string_view number;
};

bool has_component_before(std::string_view s, std::size_t end) noexcept {
    return previous_component(s, end).text.size() > 0;
}

Tail tail_of(std::string_view s) noexcept {
    std::size_t end = s.size();
    const Component last = previous_component(s, end);
    if (!last.number) {
        const uint8_t rank = prerelease_rank(last);
        if (rank != FINAL && has_component_before(s, end)) return {end, rank, {}};
        return {s.size(), FINAL, {}};
    }
    const Component word = previous_component(s, end);
    const uint8_t rank = prerelease_rank(word);
    if (!word.text.empty() && rank != FINAL && has_component_before(s, end)) return {end, rank, last.text};
    return {s.size(), FINAL, {}};
}

// Branch names in rank order, all above every number.
constexpr std::array<std::string_view, 6> BRANCHES = {"stable", "trunk", "head", "master", "main", "develop"};

// A word ranks 0, a number 1, a branch name 2 + its place.
std::size_t class_of(const Component& c) noexcept {
    if (c.number) return 1;
    for (std::size_t r = 0; r < BRANCHES.size(); ++r)
        if (BRANCHES[r] == c.text) return 2 + r;
    return 0;
}

Ordering cmp_component(const Component& a, const Component& b) noexcept {
    const std::size_t ca = class_of(a), cb = class_of(b);
    if (ca != cb) return order_of(ca, cb);
    if (ca == 0) return cmp_bytes(a.text, b.text);
    if (ca == 1) return cmp_digits(a.text, b.text);
    return Ordering::Equal;
}

// Spack refuses texts of other characters; they order as if those were
// separators, and among equals by their bytes after every text it accepts.
bool refused(std::string_view s) noexcept {
    for (char c : s)
        if (!ascii::is_alnum(c) && c != '.' && c != '-' && c != '_') return true;
    return false;
}

// Whether the component ending at `end` may belong to the pre-release:
// a marker word after another component, or the number that ends the text
// after one.
bool may_be_prerelease(std::string_view s, const Component& c, std::size_t end) noexcept {
    if (c.number) {
        std::size_t after = end;
        if (!next_component(s, after).text.empty()) return false;
        std::size_t before = end - c.text.size();
        return prerelease_rank(previous_component(s, before)) != FINAL;
    }
    return prerelease_rank(c) != FINAL;
}

// The full comparison, from the start of both texts.
Ordering cmp_tails(std::string_view a, std::string_view b) noexcept {
    const Tail ta = tail_of(a), tb = tail_of(b);
    const std::string_view ra = a.substr(0, ta.release_end), rb = b.substr(0, tb.release_end);
    std::size_t i = 0, j = 0;
    for (;;) {
        const Component x = next_component(ra, i), y = next_component(rb, j);
        if (x.text.empty() || y.text.empty()) {
            if (Ordering o = order_of(!x.text.empty(), !y.text.empty()); o != Ordering::Equal) return o;
            break;
        }
        if (Ordering o = cmp_component(x, y); o != Ordering::Equal) return o;
    }
    if (Ordering o = order_of(ta.rank, tb.rank); o != Ordering::Equal) return o;
    if (Ordering o = order_of(!ta.number.empty(), !tb.number.empty()); o != Ordering::Equal) return o;
    if (Ordering o = cmp_digits(ta.number, tb.number); o != Ordering::Equal) return o;
    const bool xa = refused(a), xb = refused(b);
    if (xa != xb) return order_of(xa, xb);
    return xa ? cmp_bytes(a, b) : Ordering::Equal;
}

}  // namespace

// Most versions differ at a component that cannot be part of a pre-release,
// which decides them without finding where the release ends.
Ordering cmp_spack(std::string_view a, std::string_view b) noexcept {
    std::size_t i = 0, j = 0;
    for (;;) {
        const Component x = next_component(a, i), y = next_component(b, j);
        if (x.text.empty() || y.text.empty()) break;
        const Ordering o = cmp_component(x, y);
        if (o == Ordering::Equal) continue;
        if (may_be_prerelease(a, x, i) || may_be_prerelease(b, y, j)) break;
        return o;
    }
    return cmp_tails(a, b);
}

std::string spack_key(std::string_view text) {
    std::string key;
    const Tail t = tail_of(text);
    const std::string_view release = text.substr(0, t.release_end);
    std::size_t i = 0;
    for (Component c = next_component(release, i); !c.text.empty(); c = next_component(release, i))
        native::put_piece(key, c.number ? 'n' : 'w', c.number ? native::without_leading_zeros(c.text) : c.text);
    key += static_cast<char>('0' + t.rank);
    if (!t.number.empty()) native::put_piece(key, 'p', native::without_leading_zeros(t.number));
    if (refused(text)) native::put_piece(key, 'x', text);
    return key;
}

}  // namespace quorlen::strategies::spack
