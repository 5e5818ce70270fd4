#include "strategies/labels.hpp"

namespace quorlen::strategies::labels {

namespace {

// The next piece of s up to a dot, taken off s; `more` tells whether there
// was one.
std::string_view take_piece(std::string_view& s, bool& more) noexcept {
    const std::size_t dot = s.find('.');
    const std::string_view piece = s.substr(0, dot);
    more = dot != std::string_view::npos;
    s = more ? s.substr(dot + 1) : std::string_view();
    return piece;
}

char fold(char c, Case k) noexcept { return k == Case::Folded && c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

Ordering cmp_text(std::string_view a, std::string_view b, Case k) noexcept {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(fold(a[i], k)), y = static_cast<unsigned char>(fold(b[i], k));
        if (x != y) return order_of(x, y);
    }
    return order_of(a.size(), b.size());
}

Ordering cmp_label(std::string_view a, std::string_view b, Case k) noexcept {
    const bool da = all_digits(a), db = all_digits(b);
    if (da && db) return native::cmp_digits(a, b);
    if (da != db) return da ? Ordering::Less : Ordering::Greater;
    return cmp_text(a, b, k);
}

}  // namespace

bool all_digits(std::string_view s) noexcept {
    if (s.empty()) return false;
    for (char c : s)
        if (!ascii::is_digit(c)) return false;
    return true;
}

namespace {

// Whether a dot and a digit follow position i.
bool another_part(std::string_view s, std::size_t i) noexcept {
    return i + 1 < s.size() && s[i] == '.' && ascii::is_digit(s[i + 1]);
}

}  // namespace

Ordering cmp_leading_parts(std::string_view a, std::string_view b, std::size_t& end_a, std::size_t& end_b) noexcept {
    std::size_t i = 0, j = 0;
    bool more_a = !a.empty() && ascii::is_digit(a[0]), more_b = !b.empty() && ascii::is_digit(b[0]);
    while (more_a || more_b) {
        const std::string_view x = more_a ? native::digits_at(a, i) : std::string_view();
        const std::string_view y = more_b ? native::digits_at(b, j) : std::string_view();
        if (Ordering o = native::cmp_digits(x, y); o != Ordering::Equal) return o;
        i += x.size();
        j += y.size();
        more_a = more_a && another_part(a, i);
        more_b = more_b && another_part(b, j);
        i += more_a;
        j += more_b;
    }
    end_a = i;
    end_b = j;
    return Ordering::Equal;
}

std::size_t leading_parts_end(std::string_view s) noexcept {
    std::size_t i = 0;
    while (i < s.size() && ascii::is_digit(s[i])) {
        i += native::digits_at(s, i).size();
        if (another_part(s, i)) ++i;
    }
    return i;
}

void put_numeric_parts(std::string& key, std::string_view parts) {
    std::string pieces;
    std::size_t kept = 0;  // the length of `pieces` up to its last nonzero part
    if (!parts.empty())
        each_piece(parts, [&](std::string_view p) {
            const std::string_view value = native::without_leading_zeros(p);
            native::put_piece(pieces, 'n', value);
            if (!value.empty()) kept = pieces.size();
            return false;
        });
    key.append(pieces, 0, kept);
}

Ordering cmp_labels(std::string_view a, std::string_view b, Case k) noexcept {
    bool more_a = true, more_b = true;
    while (more_a && more_b) {
        const std::string_view x = take_piece(a, more_a), y = take_piece(b, more_b);
        if (Ordering o = cmp_label(x, y, k); o != Ordering::Equal) return o;
    }
    return more_a == more_b ? Ordering::Equal : (more_a ? Ordering::Greater : Ordering::Less);
}

void put_labels(std::string& key, std::string_view labels, Case k) {
    each_piece(labels, [&](std::string_view p) {
        if (all_digits(p)) {
            native::put_piece(key, 'd', native::without_leading_zeros(p));
            return false;
        }
        std::string folded(p);
        for (char& c : folded) c = fold(c, k);
        native::put_piece(key, 'a', folded);
        return false;
    });
}

}  // namespace quorlen::strategies::labels
