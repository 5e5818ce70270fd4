#include "strategies/ruby.hpp"

#include "packed_segments.hpp"

namespace quorlen::strategies::ruby {

namespace {

struct Token {
    std::string_view text;  // empty: no token
    bool number;

    bool is_zero() const noexcept { return number && text.find_first_not_of('0') == std::string_view::npos; }
};

constexpr std::string_view PRE = "pre";

// The runs Gem::Version scans for, one at a time from position i.
Token raw_next(std::string_view s, std::size_t& i) noexcept {
    while (i < s.size() && !ascii::is_alnum(s[i]) && s[i] != '-') ++i;
    if (i >= s.size()) return {{}, false};
    if (s[i] == '-') {
        ++i;
        return {PRE, false};
    }
    const std::size_t begin = i;
    const bool number = ascii::is_digit(s[i]);
    while (i < s.size() && (number ? ascii::is_digit(s[i]) : ascii::is_alpha(s[i]))) ++i;
    return {s.substr(begin, i - begin), number};
}

// The segments Gem::Version compares: zeros that end the leading numbers
// (before the first word, or before the end) are passed over.
class Canonical {
public:
    explicit Canonical(std::string_view s) noexcept : s_(s) {}

    Token next() noexcept {
        Token t = raw_next(s_, i_);
        if (!leading_ || t.text.empty()) return t;
        if (!t.number) {
            leading_ = false;
            return t;
        }
        if (!t.is_zero()) return t;
        // A run of zeros stays only if a number other than 0 follows it.
        std::size_t j = i_;
        Token after = raw_next(s_, j);
        while (after.is_zero()) after = raw_next(s_, j);
        if (after.number) return t;
        i_ = j;
        leading_ = after.text.empty();
        return after;
    }

private:
    std::string_view s_;
    std::size_t i_ = 0;
    bool leading_ = true;
};

std::string_view without_leading_zeros(std::string_view digits) noexcept {
    while (!digits.empty() && digits.front() == '0') digits.remove_prefix(1);
    return digits;
}

Ordering cmp_token(Token a, Token b) noexcept {
    if (a.number != b.number) return a.number ? Ordering::Greater : Ordering::Less;
    if (a.number) {
        a.text = without_leading_zeros(a.text);
        b.text = without_leading_zeros(b.text);
        if (a.text.size() != b.text.size()) return order_of(a.text.size(), b.text.size());
    }
    const int c = a.text.compare(b.text);
    return c < 0 ? Ordering::Less : (c > 0 ? Ordering::Greater : Ordering::Equal);
}

constexpr Token ZERO{"0", true};

}  // namespace

Ordering compare(std::string_view a, std::string_view b) noexcept {
    if (a == b) return Ordering::Equal;
    Canonical x(a), y(b);
    while (true) {
        const Token ta = x.next();
        const Token tb = y.next();
        if (ta.text.empty() && tb.text.empty()) return Ordering::Equal;
        const Ordering o = cmp_token(ta.text.empty() ? ZERO : ta, tb.text.empty() ? ZERO : tb);
        if (o != Ordering::Equal) return o;
    }
}

uint64_t hash(std::string_view text) {
    HashBytes b;
    std::size_t zeros = 0;  // zeros at the very end take no part
    Canonical c(text);
    for (Token t = c.next(); !t.text.empty(); t = c.next()) {
        if (t.is_zero()) {
            ++zeros;
            continue;
        }
        for (; zeros > 0; --zeros) b.piece('n', {});
        b.piece(t.number ? 'n' : 'a', t.number ? without_leading_zeros(t.text) : t.text);
    }
    return hash_bytes(b.view());
}

}  // namespace quorlen::strategies::ruby
