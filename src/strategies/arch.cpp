#include "strategies/arch.hpp"

#include "packed_segments.hpp"

namespace quorlen::strategies::arch {

namespace {

bool is_digit(char c) noexcept { return ascii::is_digit(c); }
bool is_alpha(char c) noexcept { return ascii::is_alpha(c); }
bool is_alnum(char c) noexcept { return ascii::is_alnum(c); }

template <bool (*Pred)(char) noexcept>
std::size_t run_end(std::string_view s, std::size_t i) noexcept {
    while (i < s.size() && Pred(s[i])) ++i;
    return i;
}

std::size_t skip_separators(std::string_view s, std::size_t i) noexcept {
    while (i < s.size() && !is_alnum(s[i])) ++i;
    return i;
}

std::string_view without_leading_zeros(std::string_view digits) noexcept {
    while (!digits.empty() && digits.front() == '0') digits.remove_prefix(1);
    return digits;
}

Ordering bytes(std::string_view a, std::string_view b) noexcept {
    const int c = a.compare(b);
    return c < 0 ? Ordering::Less : (c > 0 ? Ordering::Greater : Ordering::Equal);
}

// Epoch, version and release as pacman splits them: leading digits and ':'
// make the epoch (an empty one is 0); the release follows the last '-'
// after the epoch's digits and is absent without one.
struct Evr {
    std::string_view epoch;
    std::string_view version;
    std::string_view release;
    bool has_release;
};

Evr split(std::string_view t) noexcept {
    const std::size_t digits = run_end<is_digit>(t, 0);
    Evr e{"0", t, {}, false};
    std::size_t start = 0;
    if (digits < t.size() && t[digits] == ':') {
        if (digits > 0) e.epoch = t.substr(0, digits);
        start = digits + 1;
    }
    std::size_t end = t.size();
    if (const std::size_t dash = t.rfind('-'); dash != std::string_view::npos && dash >= digits) {
        e.release = t.substr(dash + 1);
        e.has_release = true;
        end = dash;
    }
    // A '-' inside the epoch's digits cannot be, so start <= end holds.
    e.version = t.substr(start, end - start);
    return e;
}

// The segments of one part with the separator run in front of each; what
// part_cmp holds equal shares these and whether separators trail them.
template <class F>
bool for_each_segment(std::string_view s, F f) {
    std::size_t i = 0;
    std::size_t prev = 0;
    while (true) {
        const std::size_t start = skip_separators(s, i);
        if (start >= s.size()) return start > i;  // separators after the last segment
        const std::size_t end = is_digit(s[start]) ? run_end<is_digit>(s, start) : run_end<is_alpha>(s, start);
        f(start - prev, s.substr(start, end - start));
        prev = i = end;
    }
}

void add_part(HashBytes& b, std::string_view s) {
    const bool trailing = for_each_segment(s, [&](std::size_t separators, std::string_view seg) {
        b.number(separators);
        if (is_digit(seg[0]))
            b.piece('n', without_leading_zeros(seg));
        else
            b.piece('a', seg);
    });
    b.piece(trailing ? 't' : '|', {});
}

}  // namespace

Ordering part_cmp(std::string_view a, std::string_view b) noexcept {
    if (a == b) return Ordering::Equal;
    std::size_t one = 0, two = 0;    // where each text is read
    std::size_t ptr1 = 0, ptr2 = 0;  // where each text's last segment ended
    while (one < a.size() && two < b.size()) {
        one = skip_separators(a, one);
        two = skip_separators(b, two);
        if (one >= a.size() || two >= b.size()) break;
        // More separators make the greater version.
        if (one - ptr1 != two - ptr2) return order_of(one - ptr1, two - ptr2);
        const bool numeric = is_digit(a[one]);
        ptr1 = numeric ? run_end<is_digit>(a, one) : run_end<is_alpha>(a, one);
        ptr2 = numeric ? run_end<is_digit>(b, two) : run_end<is_alpha>(b, two);
        // Segments of different kinds: a number is newer than letters.
        if (two == ptr2) return numeric ? Ordering::Greater : Ordering::Less;
        std::string_view sa = a.substr(one, ptr1 - one);
        std::string_view sb = b.substr(two, ptr2 - two);
        if (numeric) {
            sa = without_leading_zeros(sa);
            sb = without_leading_zeros(sb);
            if (sa.size() != sb.size()) return order_of(sa.size(), sb.size());
        }
        if (const Ordering o = bytes(sa, sb); o != Ordering::Equal) return o;
        one = ptr1;
        two = ptr2;
    }
    const bool a_done = one >= a.size();
    const bool b_done = two >= b.size();
    if (a_done && b_done) return Ordering::Equal;
    // What is left over wins, except that letters never beat an end: a
    // text that has ended is older unless the other goes on with a letter,
    // and a text that goes on with a letter is older.
    if ((a_done && !is_alpha(b[two])) || (!a_done && is_alpha(a[one]))) return Ordering::Less;
    return Ordering::Greater;
}

Ordering compare(std::string_view a, std::string_view b) noexcept {
    if (a == b) return Ordering::Equal;
    const Evr x = split(a);
    const Evr y = split(b);
    if (const Ordering o = part_cmp(x.epoch, y.epoch); o != Ordering::Equal) return o;
    if (const Ordering o = part_cmp(x.version, y.version); o != Ordering::Equal) return o;
    if (x.has_release && y.has_release) return part_cmp(x.release, y.release);
    return Ordering::Equal;
}

uint64_t hash(std::string_view text) {
    // A release is passed over against a text without one, so equal
    // versions may differ in it: it takes no part.
    const Evr e = split(text);
    HashBytes b;
    add_part(b, e.epoch);
    add_part(b, e.version);
    return hash_bytes(b.view());
}

}  // namespace quorlen::strategies::arch
