#include "strategies/debian.hpp"

#include <array>

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
constexpr std::array<int16_t, 256> WEIGHTS = [] {
    std::array<int16_t, 256> w{};
    for (int c = 0; c < 256; ++c) {
        if (c == '~')
            w[c] = -1;
        else if (ascii::is_digit(static_cast<char>(c)))
            w[c] = 0;
        else if (ascii::is_alpha(static_cast<char>(c)))
            w[c] = static_cast<int16_t>(c);
        else
            w[c] = static_cast<int16_t>(c + 256);
    }
    return w;
}();

using Byte = unsigned char;

bool is_digit(Byte c) noexcept { return static_cast<unsigned>(c - '0') < 10; }

// One string being walked; at its end it reads as a character of weight 0
// that is neither a digit nor a non-digit.
struct Cursor {
    const Byte* p;
    const Byte* end;

    explicit Cursor(std::string_view s) noexcept
        : p(reinterpret_cast<const Byte*>(s.data())), end(reinterpret_cast<const Byte*>(s.data()) + s.size()) {}

    bool more() const noexcept { return p < end; }
    bool digit() const noexcept { return p < end && is_digit(*p); }
    bool non_digit() const noexcept { return p < end && !is_digit(*p); }
    int weight() const noexcept { return p < end ? WEIGHTS[*p] : 0; }
};

Ordering sign(int d) noexcept { return d < 0 ? Ordering::Less : (d > 0 ? Ordering::Greater : Ordering::Equal); }

// The length of the common start of a and b, moved back to the start of the
// digit run it ends in. Both strings read alike up to there, so the
// comparison may start there instead: it is a place where a non-digit
// phase begins in both.
std::size_t common_start(std::string_view a, std::string_view b) noexcept {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    std::size_t k = 0;
    while (k < n && a[k] == b[k]) ++k;
    while (k > 0 && is_digit(static_cast<Byte>(a[k - 1]))) --k;
    return k;
}

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
    const std::size_t k = common_start(a, b);
    if (k == a.size() && k == b.size()) return Ordering::Equal;
    Cursor x(a.substr(k));
    Cursor y(b.substr(k));
    while (x.more() || y.more()) {
        while (x.non_digit() || y.non_digit()) {
            if (const int d = x.weight() - y.weight()) return sign(d);
            x.p += x.more();
            y.p += y.more();
        }
        while (x.more() && *x.p == '0') ++x.p;
        while (y.more() && *y.p == '0') ++y.p;
        // Runs of equal length compare by their first differing digit; a
        // longer run (leading zeros gone) is the larger number.
        int first_diff = 0;
        while (x.digit() && y.digit()) {
            if (!first_diff) first_diff = *x.p - *y.p;
            ++x.p;
            ++y.p;
        }
        if (x.digit()) return Ordering::Greater;
        if (y.digit()) return Ordering::Less;
        if (first_diff) return sign(first_diff);
    }
    return Ordering::Equal;
}

Result<PackageView> split_package_version(std::string_view input, Failure (*empty)()) {
    const std::string_view text = unicode::trim(input);
    if (text.empty()) return empty();
    return split_trimmed(text);
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
    const std::string_view ta = unicode::trim(a);
    const std::string_view tb = unicode::trim(b);
    if (ta.empty() || tb.empty()) return debian::empty_version();
    return debian::cmp_debian_view(debian::split_trimmed(ta), debian::split_trimmed(tb));
}

}  // namespace quorlen::strategies
