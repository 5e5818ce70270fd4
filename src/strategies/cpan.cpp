#include "strategies/cpan.hpp"

#include "packed_segments.hpp"

namespace quorlen::strategies::cpan {

namespace {

// Perl keeps each component in a signed 32-bit integer and stops there.
constexpr uint64_t COMPONENT_MAX = 0x7FFFFFFF;
// A decimal's fraction is read three digits to a component.
constexpr int GROUP = 3;

bool digit_at(std::string_view s, std::size_t i) noexcept { return i < s.size() && ascii::is_digit(s[i]); }

std::size_t digits_end(std::string_view s, std::size_t i) noexcept {
    while (digit_at(s, i)) ++i;
    return i;
}

// The numbers Perl reads at the start of a text, and what follows them.
struct Split {
    std::string_view numbers;  // without the 'v'
    std::string_view rest;
    bool dotted;
};

Split split(std::string_view t) noexcept {
    const bool v = t.size() >= 2 && t[0] == 'v' && ascii::is_digit(t[1]);
    const std::size_t begin = v ? 1 : 0;
    std::size_t j = digits_end(t, begin);
    const bool integer = j > begin;
    if (!integer && !(j < t.size() && t[j] == '.' && digit_at(t, j + 1))) return {{}, t, false};
    int dots = 0;
    while (j < t.size() && t[j] == '.' && digit_at(t, j + 1)) {
        j = digits_end(t, j + 1);
        ++dots;
    }
    if (dots == 0 && !v && j < t.size() && t[j] == '.') ++j;  // "1." is 1
    // One underscore, after a dot, joins the digits around it.
    if (dots > 0 && j < t.size() && t[j] == '_' && digit_at(t, j + 1)) j = digits_end(t, j + 1);
    return {t.substr(begin, j - begin), t.substr(j), v || dots >= 2};
}

// The components of the numbers, one at a time.
class Components {
public:
    explicit Components(const Split& s) noexcept : s_(s.numbers), dotted_(s.dotted) {}

    bool done() const noexcept { return i_ >= s_.size() && !(first_ && !s_.empty()); }

    uint64_t next() noexcept {
        if (dotted_ || first_) {
            // Digits up to the next '.', passing over an underscore.
            first_ = false;
            uint64_t v = 0;
            while (i_ < s_.size() && s_[i_] != '.') {
                if (ascii::is_digit(s_[i_])) v = v * 10 + static_cast<uint64_t>(s_[i_] - '0');
                if (v > COMPONENT_MAX) v = COMPONENT_MAX;
                ++i_;
            }
            if (i_ < s_.size()) ++i_;  // the '.'
            return v;
        }
        uint64_t v = 0;
        int taken = 0;
        while (i_ < s_.size() && taken < GROUP) {
            if (ascii::is_digit(s_[i_])) {
                v = v * 10 + static_cast<uint64_t>(s_[i_] - '0');
                ++taken;
            }
            ++i_;
        }
        // A fraction's last group is padded with zeros on the right.
        for (; taken < GROUP; ++taken) v *= 10;
        skip_non_digits();
        return v;
    }

private:
    void skip_non_digits() noexcept {
        while (i_ < s_.size() && !ascii::is_digit(s_[i_])) ++i_;
    }

    std::string_view s_;
    std::size_t i_ = 0;
    bool dotted_;
    bool first_ = true;
};

}  // namespace

Ordering compare(std::string_view a, std::string_view b) noexcept {
    const Split x = split(a);
    const Split y = split(b);
    Components ca(x), cb(y);
    // A missing component counts as 0.
    while (!ca.done() || !cb.done()) {
        const uint64_t u = ca.done() ? 0 : ca.next();
        const uint64_t v = cb.done() ? 0 : cb.next();
        if (u != v) return order_of(u, v);
    }
    return generic::compare_generic_texts(x.rest, y.rest);
}

uint64_t hash(std::string_view text) {
    const Split s = split(text);
    HashBytes b;
    uint64_t zeros = 0;  // trailing zeros take no part
    for (Components c(s); !c.done();) {
        const uint64_t v = c.next();
        if (v == 0) {
            ++zeros;
            continue;
        }
        for (; zeros > 0; --zeros) b.number(0);
        b.number(v);
    }
    const ParsedVersion rest = parse_generic(s.rest);
    b.piece('+', {});
    b.number(hash_segments(rest.epoch, std::span<const Seg>(rest.segments.data(), rest.segments.size())));
    return hash_bytes(b.view());
}

}  // namespace quorlen::strategies::cpan
