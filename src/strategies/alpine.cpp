#include "strategies/alpine.hpp"

#include <array>

namespace quorlen::strategies::alpine {

namespace {

using native::cmp_bytes;
using native::cmp_digits;

// Token kinds in apk's order: where two versions hold tokens of different
// kinds, the earlier kind is the greater version (more digits, then a letter,
// then a suffix ... beat the end), except that a pre-release suffix is
// always the lesser. Text apk would refuse ends the stream as one token.
enum class Kind : uint8_t { Digits, Letter, Suffix, SuffixNumber, Release, End, Invalid };

struct Suffix {
    std::string_view word;
    bool prerelease;
};

// In rank order.
constexpr std::array<Suffix, 9> SUFFIXES = {{
    {"alpha", true}, {"beta", true}, {"pre", true}, {"rc", true},
    {"cvs", false}, {"svn", false}, {"git", false}, {"hg", false}, {"p", false},
}};

struct Token {
    Kind kind = Kind::End;
    std::string_view text;  // the digits, the letter, or the invalid rest
    uint8_t rank = 0;       // a suffix's place in SUFFIXES
    bool first = false;     // the leading digits, always compared by value
};

bool lower(char c) noexcept { return c >= 'a' && c <= 'z'; }

class Tokens {
public:
    explicit Tokens(std::string_view s) noexcept : s_(s) {}

    Token next() noexcept {
        const std::size_t n = s_.size();
        if (i_ >= n) return {Kind::End, {}, 0, false};
        const Kind prev = prev_;
        if (prev == Kind::End) return invalid();  // only before the first token
        if (prev == Kind::Invalid) return {Kind::End, {}, 0, false};
        const char c = s_[i_];
        if (prev == Kind::Digits && c == '.' && i_ + 1 < n && ascii::is_digit(s_[i_ + 1])) {
            ++i_;
            return digits(false);
        }
        if (prev == Kind::Digits && lower(c)) {
            prev_ = Kind::Letter;
            return {Kind::Letter, s_.substr(i_++, 1), 0, false};
        }
        if (prev == Kind::Suffix && ascii::is_digit(c)) {
            const std::string_view d = native::digits_at(s_, i_);
            i_ += d.size();
            prev_ = Kind::SuffixNumber;
            return {Kind::SuffixNumber, d, 0, false};
        }
        if (c == '_' && prev != Kind::Release) return suffix();
        if (c == '-' && prev != Kind::Release && i_ + 2 < n && s_[i_ + 1] == 'r' && ascii::is_digit(s_[i_ + 2])) {
            const std::string_view d = native::digits_at(s_, i_ + 2);
            i_ += 2 + d.size();
            prev_ = Kind::Release;
            return {Kind::Release, d, 0, false};
        }
        return invalid();
    }

    Token start() noexcept {
        if (s_.empty() || !ascii::is_digit(s_[0])) return invalid();
        return digits(true);
    }

private:
    Token digits(bool first) noexcept {
        const std::string_view d = native::digits_at(s_, i_);
        i_ += d.size();
        prev_ = Kind::Digits;
        return {Kind::Digits, d, 0, first};
    }

    Token suffix() noexcept {
        const std::string_view word = native::run_of(s_, i_ + 1, lower);
        for (std::size_t r = 0; r < SUFFIXES.size(); ++r) {
            if (SUFFIXES[r].word != word) continue;
            i_ += 1 + word.size();
            prev_ = Kind::Suffix;
            return {Kind::Suffix, word, static_cast<uint8_t>(r), false};
        }
        return invalid();
    }

    Token invalid() noexcept {
        const std::string_view rest = s_.substr(i_);
        i_ = s_.size();
        prev_ = Kind::Invalid;
        return {Kind::Invalid, rest, 0, false};
    }

    std::string_view s_;
    std::size_t i_ = 0;
    Kind prev_ = Kind::End;
};

// Digits after a dot that start with a zero compare as text once trailing
// zeros are dropped (so 1.05 < 1.1 and 1.0 equals 1.00); any such run ranks
// below every run without a leading zero, which keeps the order total.
bool zero_led(const Token& t) noexcept { return !t.first && !t.text.empty() && t.text[0] == '0'; }

std::string_view without_trailing_zeros(std::string_view d) noexcept {
    while (!d.empty() && d.back() == '0') d.remove_suffix(1);
    return d;
}

Ordering cmp_same_kind(const Token& a, const Token& b) noexcept {
    switch (a.kind) {
        case Kind::Digits:
            if (zero_led(a) || zero_led(b)) return cmp_bytes(without_trailing_zeros(a.text), without_trailing_zeros(b.text));
            return cmp_digits(a.text, b.text);
        case Kind::SuffixNumber:
        case Kind::Release: return cmp_digits(a.text, b.text);
        case Kind::Letter:
        case Kind::Invalid: return cmp_bytes(a.text, b.text);
        case Kind::Suffix: return order_of(a.rank, b.rank);
        case Kind::End: break;
    }
    return Ordering::Equal;
}

bool prerelease(const Token& t) noexcept { return t.kind == Kind::Suffix && SUFFIXES[t.rank].prerelease; }

}  // namespace

Ordering cmp_alpine(std::string_view a, std::string_view b) noexcept {
    Tokens ta(a), tb(b);
    Token x = ta.start(), y = tb.start();
    while (x.kind == y.kind) {
        if (x.kind == Kind::End) return Ordering::Equal;
        if (Ordering o = cmp_same_kind(x, y); o != Ordering::Equal) return o;
        x = ta.next();
        y = tb.next();
    }
    if (prerelease(x)) return Ordering::Less;
    if (prerelease(y)) return Ordering::Greater;
    return x.kind < y.kind ? Ordering::Greater : Ordering::Less;
}

std::string alpine_key(std::string_view text) {
    std::string key;
    Tokens t(text);
    for (Token x = t.start(); x.kind != Kind::End; x = t.next()) {
        switch (x.kind) {
            case Kind::Digits:
                if (zero_led(x))
                    native::put_piece(key, 'z', without_trailing_zeros(x.text));
                else
                    native::put_piece(key, 'n', native::without_leading_zeros(x.text));
                break;
            case Kind::SuffixNumber: native::put_piece(key, 'x', native::without_leading_zeros(x.text)); break;
            case Kind::Release: native::put_piece(key, 'r', native::without_leading_zeros(x.text)); break;
            case Kind::Letter: native::put_piece(key, 'l', x.text); break;
            case Kind::Suffix: native::put_piece(key, 's', SUFFIXES[x.rank].word); break;
            case Kind::Invalid: native::put_piece(key, 'i', x.text); break;
            case Kind::End: break;
        }
    }
    return key;
}

}  // namespace quorlen::strategies::alpine
