#include "strategies/conda.hpp"

namespace quorlen::strategies::conda {

namespace {

using native::cmp_digits;

// What a piece of a component is, in rank order: "dev" below every word,
// words below numbers, "post" above them all.
enum class Rank : uint8_t { Dev, Word, Number, Post };

struct Piece {
    Rank rank;
    std::string_view text;  // the digits or the letters as written
};

bool separator(char c) noexcept { return c == '.' || c == '_' || c == '-'; }

bool equals_folded(std::string_view s, std::string_view lower) noexcept {
    if (s.size() != lower.size()) return false;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (ascii::to_lower(s[i]) != lower[i]) return false;
    return true;
}

// Reads one part (the main version or the local one) piece by piece. A
// component that starts with a word reads as if a 0 came first; a '_' that
// ends the part is a word of its own, "_", which ranks below every letter.
class Pieces {
public:
    explicit Pieces(std::string_view s) noexcept : s_(s) {}

    // Moves to the next component; false at the end of the part.
    bool next_component() noexcept {
        if (first_) {
            first_ = false;
        } else {
            while (i_ < s_.size() && !separator(s_[i_])) ++i_;
            if (i_ >= s_.size()) return false;
            ++i_;
        }
        leading_ = true;
        return true;
    }

    // The next piece of the current component, or nothing at its end.
    bool next_piece(Piece& p) noexcept {
        const std::size_t n = s_.size();
        if (i_ + 1 == n && s_[i_] == '_') {
            i_ = n;
            p = {Rank::Word, "_"};
            return true;
        }
        if (i_ >= n || separator(s_[i_])) return false;
        const char c = s_[i_];
        if (ascii::is_digit(c)) {
            leading_ = false;
            p = {Rank::Number, native::digits_at(s_, i_)};
            i_ += p.text.size();
            return true;
        }
        if (leading_) {
            leading_ = false;
            p = {Rank::Number, {}};
            return true;
        }
        const std::string_view word = native::run_of(s_, i_, [](char x) { return !ascii::is_digit(x) && !separator(x); });
        i_ += word.size();
        const Rank r = equals_folded(word, "dev") ? Rank::Dev : (equals_folded(word, "post") ? Rank::Post : Rank::Word);
        p = {r, word};
        return true;
    }

private:
    std::string_view s_;
    std::size_t i_ = 0;
    bool first_ = true;
    bool leading_ = true;
};

Ordering cmp_words(std::string_view a, std::string_view b) noexcept {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(ascii::to_lower(a[i]));
        const auto y = static_cast<unsigned char>(ascii::to_lower(b[i]));
        if (x != y) return order_of(x, y);
    }
    return order_of(a.size(), b.size());
}

Ordering cmp_piece(const Piece& a, const Piece& b) noexcept {
    if (a.rank != b.rank) return order_of(a.rank, b.rank);
    if (a.rank == Rank::Number) return cmp_digits(a.text, b.text);
    if (a.rank == Rank::Word) return cmp_words(a.text, b.text);
    return Ordering::Equal;
}

constexpr Piece ZERO{Rank::Number, {}};

// The pieces of a part as lists of components, compared with every missing
// piece and component read as 0.
struct Walk {
    Pieces pieces;
    bool in_component;

    explicit Walk(std::string_view s) noexcept : pieces(s), in_component(pieces.next_component()) {}

    // The next piece of the current component; at its end ZERO, `more`
    // telling whether anything but padding was read.
    Piece piece(bool& more) noexcept {
        Piece p;
        more = in_component && pieces.next_piece(p);
        return more ? p : ZERO;
    }

    bool advance() noexcept {
        if (in_component) in_component = pieces.next_component();
        return in_component;
    }
};

Ordering cmp_part(std::string_view a, std::string_view b) noexcept {
    Walk wa(a), wb(b);
    for (;;) {
        for (;;) {
            bool ma = false, mb = false;
            const Piece pa = wa.piece(ma), pb = wb.piece(mb);
            if (!ma && !mb) break;
            if (Ordering o = cmp_piece(pa, pb); o != Ordering::Equal) return o;
        }
        const bool more_a = wa.advance(), more_b = wb.advance();
        if (!more_a && !more_b) return Ordering::Equal;
    }
}

struct Split {
    std::string_view epoch;
    std::string_view main;
    std::string_view local;
};

Split split(std::string_view s) noexcept {
    Split p;
    const std::size_t plus = s.find('+');
    p.main = s.substr(0, plus);
    if (plus != std::string_view::npos) p.local = s.substr(plus + 1);
    const std::size_t bang = p.main.find('!');
    if (bang != std::string_view::npos) {
        p.epoch = p.main.substr(0, bang);
        p.main = p.main.substr(bang + 1);
    }
    return p;
}

// Each component's pieces with the trailing zeros dropped, and then the
// trailing empty components: what two parts equal under the padding share.
void put_part(std::string& key, std::string_view part) {
    std::string parts;
    std::size_t kept = 0;
    Walk w(part);
    do {
        std::string component;
        std::size_t kept_pieces = 0;
        for (;;) {
            bool more = false;
            const Piece p = w.piece(more);
            if (!more) break;
            std::string lower(p.text);
            for (char& c : lower) c = ascii::to_lower(c);
            native::put_piece(component, static_cast<char>('0' + static_cast<int>(p.rank)),
                              p.rank == Rank::Number ? native::without_leading_zeros(p.text) : lower);
            if (p.rank != Rank::Number || !native::without_leading_zeros(p.text).empty()) kept_pieces = component.size();
        }
        native::put_piece(parts, 'c', std::string_view(component).substr(0, kept_pieces));
        if (kept_pieces) kept = parts.size();
    } while (w.advance());
    key.append(parts, 0, kept);
}

}  // namespace

Ordering cmp_conda(std::string_view a, std::string_view b) noexcept {
    const Split sa = split(a), sb = split(b);
    if (Ordering o = cmp_digits(sa.epoch, sb.epoch); o != Ordering::Equal) return o;
    if (Ordering o = cmp_part(sa.main, sb.main); o != Ordering::Equal) return o;
    return cmp_part(sa.local, sb.local);
}

std::string conda_key(std::string_view text) {
    const Split s = split(text);
    std::string key;
    native::put_piece(key, 'e', native::without_leading_zeros(s.epoch));
    put_part(key, s.main);
    native::put_piece(key, '+', {});
    put_part(key, s.local);
    return key;
}

}  // namespace quorlen::strategies::conda
