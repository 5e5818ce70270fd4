#include "strategies/freebsd.hpp"

#include <array>

namespace quorlen::strategies::freebsd {

namespace {

using native::cmp_digits;

// A component is a number, a letter part and a patch number. The number is
// missing (below every number) when the component starts with letters, and
// lower still for '*'. The letter part is 0 for none and for "pl", else the
// first letter's place in the alphabet (alpha, beta, pre and rc count as
// a, b, p and r). The patch number is missing (below every number) when
// letters are followed by no digits, and 0 when there are no letters.
enum class Lead : uint8_t { Star, Letters, Number };

struct Component {
    Lead lead = Lead::Number;
    std::string_view number;  // digits; empty reads as 0
    uint8_t letter = 0;
    bool patch_missing = false;
    std::string_view patch;
};

constexpr std::array<std::string_view, 4> STAGES = {"alpha", "beta", "pre", "rc"};

bool is_separator(char c) noexcept { return !ascii::is_alnum(c) && c != '*'; }

bool starts_folded(std::string_view s, std::size_t i, std::string_view word) noexcept {
    if (s.size() - i < word.size()) return false;
    for (std::size_t k = 0; k < word.size(); ++k)
        if (ascii::to_lower(s[i + k]) != word[k]) return false;
    return i + word.size() >= s.size() || !ascii::is_alpha(s[i + word.size()]);
}

class Components {
public:
    explicit Components(std::string_view s) noexcept : s_(s) { skip_separators(); }

    bool done() const noexcept { return i_ >= s_.size(); }

    Component next() noexcept {
        Component c;
        bool stage_allowed = false;  // a stage word may stand for the letter
        if (ascii::is_digit(s_[i_])) {
            c.number = native::digits_at(s_, i_);
            i_ += c.number.size();
        } else if (s_[i_] == '*') {
            c.lead = Lead::Star;
            while (i_ < s_.size() && s_[i_] != '+') ++i_;
        } else {
            c.lead = Lead::Letters;
            stage_allowed = true;
        }
        if (i_ < s_.size() && ascii::is_alpha(s_[i_])) read_letters(c, stage_allowed);
        skip_separators();
        return c;
    }

private:
    void read_letters(Component& c, bool stage_allowed) noexcept {
        if (i_ + 1 < s_.size() && ascii::to_lower(s_[i_]) == 'p' && ascii::to_lower(s_[i_ + 1]) == 'l') {
            i_ += 2;
        } else {
            for (std::string_view stage : STAGES) {
                if (!starts_folded(s_, i_, stage)) continue;
                // After a number a stage word opens a component of its own.
                if (!stage_allowed) return;
                break;
            }
            c.letter = static_cast<uint8_t>(ascii::to_lower(s_[i_]) - 'a' + 1);
        }
        while (i_ < s_.size() && ascii::is_alpha(s_[i_])) ++i_;
        c.patch = native::digits_at(s_, i_);
        c.patch_missing = c.patch.empty();
        i_ += c.patch.size();
    }

    void skip_separators() noexcept {
        while (i_ < s_.size() && is_separator(s_[i_])) ++i_;
    }

    std::string_view s_;
    std::size_t i_ = 0;
};

Ordering cmp_component(const Component& a, const Component& b) noexcept {
    if (a.lead != b.lead) return order_of(a.lead, b.lead);
    if (Ordering o = cmp_digits(a.number, b.number); o != Ordering::Equal) return o;
    if (a.letter != b.letter) return order_of(a.letter, b.letter);
    if (a.patch_missing != b.patch_missing) return a.patch_missing ? Ordering::Less : Ordering::Greater;
    return cmp_digits(a.patch, b.patch);
}

struct Split {
    std::string_view version;
    std::string_view revision;  // the digits after the last '_' before the epoch
    std::string_view epoch;     // the digits after the last ','
};

Split split(std::string_view s) noexcept {
    Split p;
    const std::size_t comma = s.rfind(',');
    if (comma != std::string_view::npos) {
        p.epoch = native::digits_at(s, comma + 1);
        s = s.substr(0, comma);
    }
    const std::size_t underscore = s.rfind('_');
    if (underscore != std::string_view::npos) {
        p.revision = native::digits_at(s, underscore + 1);
        s = s.substr(0, underscore);
    }
    p.version = s;
    return p;
}

Ordering cmp_versions(std::string_view a, std::string_view b) noexcept {
    Components ca(a), cb(b);
    while (!ca.done() || !cb.done()) {
        const Component x = ca.done() ? Component{} : ca.next();
        const Component y = cb.done() ? Component{} : cb.next();
        if (Ordering o = cmp_component(x, y); o != Ordering::Equal) return o;
    }
    return Ordering::Equal;
}

}  // namespace

Ordering cmp_freebsd(std::string_view a, std::string_view b) noexcept {
    const Split sa = split(a), sb = split(b);
    if (Ordering o = cmp_digits(sa.epoch, sb.epoch); o != Ordering::Equal) return o;
    if (Ordering o = cmp_versions(sa.version, sb.version); o != Ordering::Equal) return o;
    return cmp_digits(sa.revision, sb.revision);
}

std::string freebsd_key(std::string_view text) {
    const Split s = split(text);
    std::string key;
    native::put_piece(key, 'e', native::without_leading_zeros(s.epoch));
    native::put_piece(key, 'r', native::without_leading_zeros(s.revision));
    // Components equal to a missing one (0, no letters) at the end are
    // what a shorter version reads there.
    std::string parts;
    std::size_t kept = 0;
    Components c(s.version);
    while (!c.done()) {
        const Component x = c.next();
        const std::string_view number = native::without_leading_zeros(x.number);
        const std::string_view patch = native::without_leading_zeros(x.patch);
        const char fields[3] = {static_cast<char>('0' + static_cast<int>(x.lead)), static_cast<char>('a' + x.letter),
                                x.patch_missing ? 'm' : 'p'};
        native::put_piece(parts, 'c', std::string_view(fields, 3));
        native::put_piece(parts, 'n', number);
        native::put_piece(parts, 'p', patch);
        if (x.lead != Lead::Number || !number.empty() || x.letter || x.patch_missing || !patch.empty()) kept = parts.size();
    }
    key.append(parts, 0, kept);
    return key;
}

}  // namespace quorlen::strategies::freebsd
