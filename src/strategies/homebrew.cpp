#include "strategies/homebrew.hpp"

namespace quorlen::strategies::homebrew {

namespace {

using native::cmp_digits;

// In order: the pre-release markers, the end of the tokens, words (with the
// patch and post-release markers among them, read as the words "p" and
// "post" and their numbers), numbers.
enum class Kind : uint8_t { Alpha, Beta, Pre, Rc, End, Word, Number };

struct Token {
    Kind kind = Kind::End;
    std::string_view word;    // a word's letters
    std::string_view digits;  // a number, or a marker's number
};

bool starts_ci(std::string_view s, std::size_t i, std::string_view word) noexcept {
    return s.size() - i >= word.size() && ascii::iequals(s.substr(i, word.size()), word);
}

bool digit_at(std::string_view s, std::size_t i) noexcept { return i < s.size() && ascii::is_digit(s[i]); }

bool zero(const Token& t) noexcept { return t.kind == Kind::Number && native::without_leading_zeros(t.digits).empty(); }

class Tokens {
public:
    explicit Tokens(std::string_view s) noexcept : s_(s) {}

    // The next token, a run of zeros that a word or the end follows dropped.
    Token next() noexcept {
        Token t = scan();
        if (!zero(t)) return t;
        const std::size_t after_first = i_;
        Token u = scan();
        while (zero(u)) u = scan();
        if (u.kind != Kind::Number) return u;
        i_ = after_first;
        return t;
    }

private:
    Token marker(Kind kind, std::size_t letters) noexcept {
        i_ += letters;
        return {kind, {}, digits()};
    }

    Token word(std::string_view w, std::size_t letters) noexcept {
        i_ += letters;
        return {Kind::Word, w, digits()};
    }

    std::string_view digits() noexcept {
        const std::string_view d = native::digits_at(s_, i_);
        i_ += d.size();
        return d;
    }

    // The token at i_ by Homebrew's patterns, tried in its order; other
    // characters are passed over.
    Token scan() noexcept {
        while (i_ < s_.size()) {
            const char c = ascii::to_lower(s_[i_]);
            if (ascii::is_digit(c)) return {Kind::Number, {}, digits()};
            if (c == '.' && starts_ci(s_, i_ + 1, "post") && digit_at(s_, i_ + 5)) return word("post", 5);
            if (!ascii::is_alpha(c)) {
                ++i_;
                continue;
            }
            if (starts_ci(s_, i_, "alpha")) return marker(Kind::Alpha, 5);
            if (c == 'a' && digit_at(s_, i_ + 1)) return marker(Kind::Alpha, 1);
            if (starts_ci(s_, i_, "beta")) return marker(Kind::Beta, 4);
            if (c == 'b' && digit_at(s_, i_ + 1)) return marker(Kind::Beta, 1);
            if (starts_ci(s_, i_, "pre")) return marker(Kind::Pre, 3);
            if (starts_ci(s_, i_, "rc")) return marker(Kind::Rc, 2);
            if (c == 'p') return word("p", 1);
            const std::string_view letters = native::run_of(s_, i_, [](char x) { return ascii::is_alpha(x); });
            i_ += letters.size();
            return {Kind::Word, letters, {}};
        }
        return {};
    }

    std::string_view s_;
    std::size_t i_ = 0;
};

Ordering cmp_folded(std::string_view a, std::string_view b) noexcept {
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (Ordering o = order_of(ascii::to_lower(a[i]), ascii::to_lower(b[i])); o != Ordering::Equal) return o;
    return order_of(a.size(), b.size());
}

Ordering cmp_token(const Token& a, const Token& b) noexcept {
    if (a.kind != b.kind) return order_of(a.kind, b.kind);
    if (a.kind == Kind::Word)
        if (Ordering o = cmp_folded(a.word, b.word); o != Ordering::Equal) return o;
    return cmp_digits(a.digits, b.digits);
}

// HEAD builds rank above every version and alike.
bool head(std::string_view s) noexcept { return s == "HEAD" || s.starts_with("HEAD-"); }

}  // namespace

Ordering cmp_homebrew(std::string_view a, std::string_view b) noexcept {
    if (head(a) || head(b)) return order_of(head(a), head(b));
    Tokens ta(a), tb(b);
    for (;;) {
        const Token x = ta.next(), y = tb.next();
        if (Ordering o = cmp_token(x, y); o != Ordering::Equal) return o;
        if (x.kind == Kind::End) return Ordering::Equal;
    }
}

std::string homebrew_key(std::string_view text) {
    if (head(text)) return "H";
    std::string key;
    Tokens t(text);
    for (Token x = t.next(); x.kind != Kind::End; x = t.next()) {
        native::put_piece(key, static_cast<char>('a' + static_cast<int>(x.kind)), ascii::lower(x.word));
        native::put_piece(key, 'n', native::without_leading_zeros(x.digits));
    }
    return key;
}

}  // namespace quorlen::strategies::homebrew
