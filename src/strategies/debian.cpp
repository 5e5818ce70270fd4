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

Result<PackageView> split_package_version(std::string_view input, Failure (*empty)()) {
    const std::string_view text = unicode::trim(input);
    if (text.empty()) return empty();
    const EpochSplit split = extract_epoch_colon(text);
    const std::size_t dash = split.rest.rfind('-');
    if (dash == std::string_view::npos) return PackageView{split.epoch, split.rest, {}};
    return PackageView{split.epoch, split.rest.substr(0, dash), split.rest.substr(dash + 1)};
}

Result<PackageView> parse_debian_view(std::string_view input) { return split_package_version(input, empty_version); }

Result<DebianVersion> parse_debian(std::string_view input) {
    auto view = parse_debian_view(input);
    if (!view) return std::move(view).failure();
    DebianVersion v;
    v.epoch = view->epoch;
    v.upstream.assign(view->version);
    v.revision.assign(view->release);
    return v;
}

Ordering cmp_debian_view(const PackageView& a, const PackageView& b) noexcept {
    if (a.epoch != b.epoch) return order_of(a.epoch, b.epoch);
    if (Ordering o = verrevcmp(a.version, b.version); o != Ordering::Equal) return o;
    return verrevcmp(a.release, b.release);
}

}  // namespace quorlen::strategies::debian

namespace quorlen::strategies {

Result<ParsedRepr> DebianStrategy::parse(std::string_view input) {
    return as_repr(debian::parse_debian(input));
}

Ordering DebianStrategy::compare(const ParsedRepr& pa, const ParsedRepr& pb) noexcept {
    const DebianVersion& a = expect<DebianVersion>(pa);
    const DebianVersion& b = expect<DebianVersion>(pb);
    return debian::cmp_debian_view({a.epoch, a.upstream, a.revision}, {b.epoch, b.upstream, b.revision});
}

Result<Ordering> DebianStrategy::compare_texts(std::string_view a, std::string_view b) {
    auto left = debian::parse_debian_view(a);
    if (!left) return std::move(left).failure();
    auto right = debian::parse_debian_view(b);
    if (!right) return std::move(right).failure();
    return debian::cmp_debian_view(*left, *right);
}

}  // namespace quorlen::strategies
