#include "strategies/debian.hpp"

#include "core/unicode.hpp"
#include "parser.hpp"
#include "strategies/strategy.hpp"

namespace quorlen::strategies::debian {

namespace {

// The Debian parse has one message: it rejects nothing but emptiness.
Failure empty_version() { return fail("empty Debian version"); }

// Rank of one character outside digit runs: '~' before the end of the
// string, the end before letters, letters before everything else. Digits
// rank with the end so that a digit run stops the non-digit phase.
int weight(std::string_view s, std::size_t i) noexcept {
    if (i >= s.size()) return 0;
    const auto c = static_cast<unsigned char>(s[i]);
    if (c == '~') return -1;
    if (ascii::is_digit(static_cast<char>(c))) return 0;
    if (ascii::is_alpha(static_cast<char>(c))) return c;
    return c + 256;
}

bool digit_at(std::string_view s, std::size_t i) noexcept { return i < s.size() && ascii::is_digit(s[i]); }
bool non_digit_at(std::string_view s, std::size_t i) noexcept { return i < s.size() && !ascii::is_digit(s[i]); }

Ordering sign(int d) noexcept { return d < 0 ? Ordering::Less : (d > 0 ? Ordering::Greater : Ordering::Equal); }

}  // namespace

EpochSplit extract_epoch_colon(std::string_view text) noexcept {
    std::size_t d = 0;
    while (d < text.size() && ascii::is_digit(text[d])) ++d;
    if (d > 0 && d < text.size() && text[d] == ':') {
        if (auto epoch = parse_u64(text.substr(0, d))) return {*epoch, text.substr(d + 1)};
    }
    return {0, text};
}

Ordering verrevcmp(std::string_view a, std::string_view b) noexcept {
    std::size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        while (non_digit_at(a, i) || non_digit_at(b, j)) {
            if (int d = weight(a, i) - weight(b, j)) return sign(d);
            if (i < a.size()) ++i;
            if (j < b.size()) ++j;
        }
        while (digit_at(a, i) && a[i] == '0') ++i;
        while (digit_at(b, j) && b[j] == '0') ++j;
        // Runs of equal length compare by their first differing digit; a
        // longer run (leading zeros gone) is the larger number.
        int first_diff = 0;
        while (digit_at(a, i) && digit_at(b, j)) {
            if (!first_diff) first_diff = a[i] - b[j];
            ++i;
            ++j;
        }
        if (digit_at(a, i)) return Ordering::Greater;
        if (digit_at(b, j)) return Ordering::Less;
        if (first_diff) return sign(first_diff);
    }
    return Ordering::Equal;
}

Result<DebianVersion> parse_debian(std::string_view input) {
    const std::string_view text = unicode::trim(input);
    if (text.empty()) return empty_version();
    const EpochSplit split = extract_epoch_colon(text);
    DebianVersion v;
    v.epoch = split.epoch;
    const std::size_t dash = split.rest.rfind('-');
    if (dash == std::string_view::npos) {
        v.upstream.assign(split.rest);
    } else {
        v.upstream.assign(split.rest.substr(0, dash));
        v.revision.assign(split.rest.substr(dash + 1));
    }
    return v;
}

}  // namespace quorlen::strategies::debian

namespace quorlen::strategies {

Result<ParsedRepr> DebianStrategy::parse(std::string_view input) {
    auto v = debian::parse_debian(input);
    if (!v) return std::move(v).failure();
    return ParsedRepr(std::move(v).value());
}

Ordering DebianStrategy::compare(const ParsedRepr& pa, const ParsedRepr& pb) noexcept {
    const DebianVersion& a = expect<DebianVersion>(pa);
    const DebianVersion& b = expect<DebianVersion>(pb);
    if (a.epoch != b.epoch) return order_of(a.epoch, b.epoch);
    if (Ordering o = debian::verrevcmp(a.upstream, b.upstream); o != Ordering::Equal) return o;
    return debian::verrevcmp(a.revision, b.revision);
}

}  // namespace quorlen::strategies
