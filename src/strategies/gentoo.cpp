#include "strategies/gentoo.hpp"

#include <array>

#include "core/inline_vec.hpp"

namespace quorlen::strategies::gentoo {

namespace {

using native::cmp_bytes;
using native::cmp_digits;

// In rank order; `_p` is the one that ranks above no suffix at all.
constexpr std::array<std::string_view, 5> SUFFIXES = {"alpha", "beta", "pre", "rc", "p"};
constexpr uint8_t PATCH = 4;

struct Suffix {
    uint8_t rank;
    std::string_view number;  // empty when none is written: 0
};

// A version split as the specification's grammar reads it. What the grammar
// cannot read, from the first byte it fails on, is kept as `rest` and orders
// last, by its bytes (a version without one first).
struct Parts {
    InlineVec<std::string_view, 8> numbers;
    char letter = 0;
    InlineVec<Suffix, 4> suffixes;
    std::string_view revision;
    std::string_view rest;
    bool has_rest = false;
};

bool lower(char c) noexcept { return c >= 'a' && c <= 'z'; }

Parts split(std::string_view s) noexcept {
    Parts p;
    std::size_t i = 0;
    const std::size_t n = s.size();
    auto fail = [&] {
        p.rest = s.substr(i);
        p.has_rest = true;
        return p;
    };
    if (n == 0 || !ascii::is_digit(s[0])) return fail();
    for (;;) {
        const std::string_view d = native::digits_at(s, i);
        p.numbers.push_back(d);
        i += d.size();
        if (i + 1 < n && s[i] == '.' && ascii::is_digit(s[i + 1])) {
            ++i;
            continue;
        }
        break;
    }
    if (i < n && lower(s[i])) p.letter = s[i++];
    while (i < n && s[i] == '_') {
        const std::string_view word = native::run_of(s, i + 1, lower);
        std::size_t r = 0;
        while (r < SUFFIXES.size() && SUFFIXES[r] != word) ++r;
        if (r == SUFFIXES.size()) return fail();
        const std::string_view number = native::digits_at(s, i + 1 + word.size());
        p.suffixes.push_back(Suffix{static_cast<uint8_t>(r), number});
        i += 1 + word.size() + number.size();
    }
    if (i + 2 < n && s[i] == '-' && s[i + 1] == 'r' && ascii::is_digit(s[i + 2])) {
        p.revision = native::digits_at(s, i + 2);
        i += 2 + p.revision.size();
    }
    if (i < n) return fail();
    return p;
}

std::string_view without_trailing_zeros(std::string_view d) noexcept {
    while (!d.empty() && d.back() == '0') d.remove_suffix(1);
    return d;
}

bool zero_led(std::string_view d) noexcept { return !d.empty() && d[0] == '0'; }

// Components after the first: where either starts with a zero both compare
// as text without their trailing zeros (1.05 < 1.1, 1.0 equals 1.00).
Ordering cmp_component(std::string_view a, std::string_view b) noexcept {
    if (zero_led(a) || zero_led(b)) return cmp_bytes(without_trailing_zeros(a), without_trailing_zeros(b));
    return cmp_digits(a, b);
}

Ordering cmp_numbers(const Parts& a, const Parts& b) noexcept {
    if (Ordering o = cmp_digits(a.numbers[0], b.numbers[0]); o != Ordering::Equal) return o;
    const std::size_t common = a.numbers.size() < b.numbers.size() ? a.numbers.size() : b.numbers.size();
    for (std::size_t i = 1; i < common; ++i)
        if (Ordering o = cmp_component(a.numbers[i], b.numbers[i]); o != Ordering::Equal) return o;
    return order_of(a.numbers.size(), b.numbers.size());
}

Ordering cmp_suffixes(const Parts& a, const Parts& b) noexcept {
    const std::size_t na = a.suffixes.size(), nb = b.suffixes.size();
    for (std::size_t i = 0; i < na && i < nb; ++i) {
        if (a.suffixes[i].rank != b.suffixes[i].rank) return order_of(a.suffixes[i].rank, b.suffixes[i].rank);
        if (Ordering o = cmp_digits(a.suffixes[i].number, b.suffixes[i].number); o != Ordering::Equal) return o;
    }
    // The longer list is the greater exactly when its next suffix is `_p`.
    if (na > nb) return a.suffixes[nb].rank == PATCH ? Ordering::Greater : Ordering::Less;
    if (nb > na) return b.suffixes[na].rank == PATCH ? Ordering::Less : Ordering::Greater;
    return Ordering::Equal;
}

Ordering cmp_rest(const Parts& a, const Parts& b) noexcept {
    if (a.has_rest != b.has_rest) return a.has_rest ? Ordering::Greater : Ordering::Less;
    return cmp_bytes(a.rest, b.rest);
}

// The numeric components read in place: they decide most comparisons,
// before anything is split.
Ordering cmp_leading_numbers(std::string_view a, std::string_view b) noexcept {
    std::size_t i = 0, j = 0;
    for (bool first = true;; first = false) {
        const std::string_view x = native::digits_at(a, i), y = native::digits_at(b, j);
        if (Ordering o = first ? cmp_digits(x, y) : cmp_component(x, y); o != Ordering::Equal) return o;
        i += x.size();
        j += y.size();
        const bool more_a = i + 1 < a.size() && a[i] == '.' && ascii::is_digit(a[i + 1]);
        const bool more_b = j + 1 < b.size() && b[j] == '.' && ascii::is_digit(b[j + 1]);
        if (more_a != more_b) return more_a ? Ordering::Greater : Ordering::Less;
        if (!more_a) return Ordering::Equal;
        ++i;
        ++j;
    }
}

}  // namespace

Ordering cmp_gentoo(std::string_view a, std::string_view b) noexcept {
    if (!a.empty() && !b.empty() && ascii::is_digit(a[0]) && ascii::is_digit(b[0]))
        if (Ordering o = cmp_leading_numbers(a, b); o != Ordering::Equal) return o;
    const Parts pa = split(a), pb = split(b);
    if (pa.numbers.empty() || pb.numbers.empty()) {
        if (!pa.numbers.empty() || !pb.numbers.empty()) return pa.numbers.empty() ? Ordering::Less : Ordering::Greater;
        return cmp_rest(pa, pb);
    }
    if (Ordering o = cmp_numbers(pa, pb); o != Ordering::Equal) return o;
    if (pa.letter != pb.letter) return order_of(pa.letter, pb.letter);
    if (Ordering o = cmp_suffixes(pa, pb); o != Ordering::Equal) return o;
    if (Ordering o = cmp_digits(pa.revision, pb.revision); o != Ordering::Equal) return o;
    return cmp_rest(pa, pb);
}

std::string gentoo_key(std::string_view text) {
    const Parts p = split(text);
    std::string key;
    for (std::size_t i = 0; i < p.numbers.size(); ++i) {
        if (i > 0 && zero_led(p.numbers[i]))
            native::put_piece(key, 'z', without_trailing_zeros(p.numbers[i]));
        else
            native::put_piece(key, 'n', native::without_leading_zeros(p.numbers[i]));
    }
    native::put_piece(key, 'l', std::string_view(&p.letter, p.letter ? 1 : 0));
    for (const Suffix& s : p.suffixes) {
        native::put_piece(key, 's', SUFFIXES[s.rank]);
        native::put_piece(key, 'x', native::without_leading_zeros(s.number));
    }
    native::put_piece(key, 'r', native::without_leading_zeros(p.revision));
    if (p.has_rest) native::put_piece(key, 'i', p.rest);
    return key;
}

}  // namespace quorlen::strategies::gentoo
