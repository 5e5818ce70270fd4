#include "strategies/rpm.hpp"

#include "core/unicode.hpp"
#include "parser.hpp"
#include "strategies/debian.hpp"
#include "strategies/strategy.hpp"

namespace quorlen::strategies::rpm {

namespace {

// The RPM parse has one message: it rejects nothing but emptiness.
Failure empty_version() { return fail("empty RPM version"); }

bool at(std::string_view s, std::size_t i, char c) noexcept { return i < s.size() && s[i] == c; }

// Characters that never decide by themselves: everything but ASCII letters,
// digits, '~' and '^'.
bool is_separator(char c) noexcept { return !ascii::is_alnum(c) && c != '~' && c != '^'; }

std::size_t skip_separators(std::string_view s, std::size_t i) noexcept {
    while (i < s.size() && is_separator(s[i])) ++i;
    return i;
}

template <bool (*Pred)(char) noexcept>
std::string_view run(std::string_view s, std::size_t i) noexcept {
    std::size_t j = i;
    while (j < s.size() && Pred(s[j])) ++j;
    return s.substr(i, j - i);
}

bool is_digit(char c) noexcept { return ascii::is_digit(c); }
bool is_alpha(char c) noexcept { return ascii::is_alpha(c); }

Ordering bytes(std::string_view a, std::string_view b) noexcept {
    const int c = a.compare(b);
    return c < 0 ? Ordering::Less : (c > 0 ? Ordering::Greater : Ordering::Equal);
}

// Numbers of any length: without leading zeros, more digits is larger and
// equal lengths compare as text.
Ordering cmp_numeric(std::string_view a, std::string_view b) noexcept {
    while (a.size() > 0 && a[0] == '0') a.remove_prefix(1);
    while (b.size() > 0 && b[0] == '0') b.remove_prefix(1);
    if (a.size() != b.size()) return order_of(a.size(), b.size());
    return bytes(a, b);
}

// The length of the common start of a and b, moved back to the start of the
// letters and digits it ends in: a place where both strings stand at the
// start of a segment or of separators, in the same state.
std::size_t common_start(std::string_view a, std::string_view b) noexcept {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    std::size_t k = 0;
    while (k < n && a[k] == b[k]) ++k;
    while (k > 0 && ascii::is_alnum(a[k - 1])) --k;
    return k;
}

}  // namespace

Ordering rpmverscmp(std::string_view a, std::string_view b) noexcept {
    std::size_t i = common_start(a, b);
    if (i == a.size() && i == b.size()) return Ordering::Equal;
    std::size_t j = i;
    while (i < a.size() || j < b.size()) {
        i = skip_separators(a, i);
        j = skip_separators(b, j);
        // '~' sorts before everything, the end of the string included.
        if (at(a, i, '~') || at(b, j, '~')) {
            if (!at(a, i, '~')) return Ordering::Greater;
            if (!at(b, j, '~')) return Ordering::Less;
            ++i;
            ++j;
            continue;
        }
        // '^' sorts after the end of the string but before anything else.
        if (at(a, i, '^') || at(b, j, '^')) {
            if (i >= a.size()) return Ordering::Less;
            if (j >= b.size()) return Ordering::Greater;
            if (a[i] != '^') return Ordering::Greater;
            if (b[j] != '^') return Ordering::Less;
            ++i;
            ++j;
            continue;
        }
        if (i >= a.size() || j >= b.size()) break;

        const bool numeric = ascii::is_digit(a[i]);
        const std::string_view sa = numeric ? run<is_digit>(a, i) : run<is_alpha>(a, i);
        const std::string_view sb = numeric ? run<is_digit>(b, j) : run<is_alpha>(b, j);
        // Segments of different kinds: a number outranks letters.
        if (sb.empty()) return numeric ? Ordering::Greater : Ordering::Less;
        const Ordering o = numeric ? cmp_numeric(sa, sb) : bytes(sa, sb);
        if (o != Ordering::Equal) return o;
        i += sa.size();
        j += sb.size();
    }
    const bool a_done = i >= a.size();
    const bool b_done = j >= b.size();
    if (a_done && b_done) return Ordering::Equal;
    return a_done ? Ordering::Less : Ordering::Greater;
}

Result<debian::PackageView> parse_rpm_view(std::string_view input) {
    return debian::split_package_version(input, empty_version);
}

Result<RpmVersion> parse_rpm(std::string_view input) {
    auto view = parse_rpm_view(input);
    if (!view) return std::move(view).failure();
    RpmVersion v;
    v.epoch = view->epoch;
    v.version.assign(view->version);
    v.release.assign(view->release);
    return v;
}

Ordering cmp_rpm_view(const debian::PackageView& a, const debian::PackageView& b) noexcept {
    if (a.epoch != b.epoch) return order_of(a.epoch, b.epoch);
    if (Ordering o = rpmverscmp(a.version, b.version); o != Ordering::Equal) return o;
    return rpmverscmp(a.release, b.release);
}

}  // namespace quorlen::strategies::rpm

namespace quorlen::strategies {

Result<ParsedRepr> RpmStrategy::parse(std::string_view input) {
    return as_repr(rpm::parse_rpm(input));
}

Ordering RpmStrategy::compare(const ParsedRepr& pa, const ParsedRepr& pb) noexcept {
    const RpmVersion& a = expect<RpmVersion>(pa);
    const RpmVersion& b = expect<RpmVersion>(pb);
    return rpm::cmp_rpm_view({a.epoch, a.version, a.release}, {b.epoch, b.version, b.release});
}

Result<Ordering> RpmStrategy::compare_texts(std::string_view a, std::string_view b) {
    const std::string_view ta = unicode::trim(a);
    const std::string_view tb = unicode::trim(b);
    if (ta.empty() || tb.empty()) return rpm::empty_version();
    return rpm::cmp_rpm_view(debian::split_trimmed(ta), debian::split_trimmed(tb));
}

}  // namespace quorlen::strategies
