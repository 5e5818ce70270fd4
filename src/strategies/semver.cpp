#include "strategies/semver.hpp"

#include "core/unicode.hpp"
#include "strategies/strategy.hpp"

namespace quorlen::strategies::semver {

namespace {

// Every message of the strict parse lives here. {text} and {identifier} are
// the offending piece alone, never the whole input.

Failure wrong_part_count(std::size_t n) { return fail("Expected 3 parts, got " + std::to_string(n)); }
Failure empty_component(std::string_view name) { return fail("empty " + std::string(name)); }
Failure leading_zero(std::string_view name, std::string_view text) {
    return fail(quoted("leading zero in " + std::string(name), text));
}
Failure invalid_component(std::string_view name, std::string_view text) {
    return fail(quoted("invalid " + std::string(name), text));
}
Failure empty_prerelease() { return fail("empty prerelease"); }
Failure empty_identifier() { return fail("empty identifier in prerelease"); }
Failure invalid_identifier_char(std::string_view id) {
    return fail(quoted("invalid character in prerelease identifier", id));
}
Failure identifier_leading_zero(std::string_view id) {
    return fail(quoted("leading zero in numeric prerelease identifier", id));
}
Failure identifier_out_of_range(std::string_view id) {
    return fail(quoted("numeric prerelease identifier out of range for u64", id));
}

bool all_digits(std::string_view s) noexcept {
    for (char c : s)
        if (!ascii::is_digit(c)) return false;
    return !s.empty();
}

bool is_identifier_byte(char c) noexcept { return ascii::is_alnum(c) || c == '-'; }

// Cuts the next piece off `rest` at the first '.', keeping empty pieces; the
// piece after the last dot is the remainder itself.
std::string_view next_piece(std::string_view& rest, bool& more) noexcept {
    const std::size_t dot = rest.find('.');
    if (dot == std::string_view::npos) {
        more = false;
        return rest;
    }
    std::string_view piece = rest.substr(0, dot);
    rest.remove_prefix(dot + 1);
    return piece;
}

Status validate_identifier(std::string_view id) {
    if (id.empty()) return empty_identifier();
    for (char c : id)
        if (!is_identifier_byte(c)) return invalid_identifier_char(id);
    if (all_digits(id)) {
        if (id.size() > 1 && id[0] == '0') return identifier_leading_zero(id);
        if (!parse_u64(id)) return identifier_out_of_range(id);
    }
    return success();
}

// Identifiers that read as numbers rank below words and by value among
// themselves; words rank by bytes. Validation guarantees numbers fit.
Ordering cmp_identifier(std::string_view a, std::string_view b) noexcept {
    const auto na = all_digits(a) ? parse_u64(a) : std::nullopt;
    const auto nb = all_digits(b) ? parse_u64(b) : std::nullopt;
    if (na && nb) return order_of(*na, *nb);
    if (na) return Ordering::Less;
    if (nb) return Ordering::Greater;
    const int c = a.compare(b);
    return c < 0 ? Ordering::Less : (c > 0 ? Ordering::Greater : Ordering::Equal);
}

Ordering cmp_prerelease(std::string_view a, std::string_view b) noexcept {
    bool more_a = true, more_b = true;
    while (more_a && more_b) {
        const std::string_view ia = next_piece(a, more_a);
        const std::string_view ib = next_piece(b, more_b);
        const Ordering o = cmp_identifier(ia, ib);
        if (o != Ordering::Equal) return o;
    }
    // The list that still has identifiers is the longer one, hence greater.
    if (more_a) return Ordering::Greater;
    if (more_b) return Ordering::Less;
    return Ordering::Equal;
}

}  // namespace

Result<uint64_t> parse_strict_u64(std::string_view text, std::string_view name) {
    if (text.empty()) return empty_component(name);
    if (text.size() > 1 && text[0] == '0') return leading_zero(name, text);
    if (auto v = parse_u64(text)) return *v;
    return invalid_component(name, text);
}

Status validate_prerelease(std::string_view text) {
    if (text.empty()) return empty_prerelease();
    bool more = true;
    while (more) {
        Status s = validate_identifier(next_piece(text, more));
        if (!s) return s;
    }
    return success();
}

namespace {

// A numeric part as the strict parse accepts it: digits without a leading
// zero, at most 19 of them (which always fit 64 bits). Advances `at`.
bool read_plain_number(std::string_view s, std::size_t& at, uint64_t& out) noexcept {
    const std::size_t start = at;
    while (at < s.size() && ascii::is_digit(s[at])) ++at;
    const std::size_t len = at - start;
    if (len == 0 || len > 19 || (len > 1 && s[start] == '0')) return false;
    out = saturating_digits(s.substr(start, len));
    return true;
}

// The common shape of a valid version, read in one pass: the v prefix,
// three numbers, an optional prerelease, an optional build. Anything else
// (blanks to trim, an error to word) is left to the full parse, which
// gives the same value for every text accepted here.
std::optional<SemverView> read_plain(std::string_view s) noexcept {
    std::size_t at = 0;
    if (s.size() >= 2 && (s[0] == 'v' || s[0] == 'V') && ascii::is_digit(s[1])) at = 1;
    SemverView v;
    uint64_t* numbers[3] = {&v.major, &v.minor, &v.patch};
    for (std::size_t i = 0; i < 3; ++i) {
        if (i > 0) {
            if (at >= s.size() || s[at] != '.') return std::nullopt;
            ++at;
        }
        if (!read_plain_number(s, at, *numbers[i])) return std::nullopt;
    }
    if (at < s.size() && s[at] == '-') {
        const std::size_t start = ++at;
        while (true) {
            const std::size_t id = at;
            bool digits = true;
            for (; at < s.size() && is_identifier_byte(s[at]); ++at) digits = digits && ascii::is_digit(s[at]);
            const std::size_t len = at - id;
            if (len == 0 || (digits && ((len > 1 && s[id] == '0') || len > 19))) return std::nullopt;
            if (at < s.size() && s[at] == '.') {
                ++at;
                continue;
            }
            break;
        }
        v.prerelease = s.substr(start, at - start);
    }
    if (at < s.size() && s[at] != '+') return std::nullopt;
    return v;
}

}  // namespace

Result<SemverView> parse_semver_view(std::string_view input) {
    if (std::optional<SemverView> plain = read_plain(input)) return *plain;
    std::string_view text = unicode::trim(input);
    if (text.size() >= 2 && (text[0] == 'v' || text[0] == 'V') && ascii::is_digit(text[1])) text.remove_prefix(1);
    // Build metadata is neither validated nor kept.
    text = text.substr(0, text.find('+'));

    std::string_view core = text;
    std::optional<std::string_view> pre;
    if (const std::size_t dash = text.find('-'); dash != std::string_view::npos) {
        core = text.substr(0, dash);
        pre = text.substr(dash + 1);
    }

    std::size_t parts = 1;
    for (char c : core) parts += c == '.';
    if (parts != 3) return wrong_part_count(parts);

    static constexpr std::string_view NAMES[3] = {"major", "minor", "patch"};
    uint64_t numbers[3];
    bool more = true;
    for (std::size_t i = 0; i < 3; ++i) {
        auto n = parse_strict_u64(next_piece(core, more), NAMES[i]);
        if (!n) return std::move(n).failure();
        numbers[i] = *n;
    }
    if (pre) {
        Status s = validate_prerelease(*pre);
        if (!s) return std::move(s).failure();
    }

    return SemverView{numbers[0], numbers[1], numbers[2], pre};
}

Result<SemverVersion> parse_semver_strict(std::string_view input) {
    auto view = parse_semver_view(input);
    if (!view) return std::move(view).failure();
    SemverVersion v;
    v.major = view->major;
    v.minor = view->minor;
    v.patch = view->patch;
    if (view->prerelease) v.prerelease.emplace(*view->prerelease);
    return v;
}

namespace {

SemverView view_of(const SemverVersion& v) noexcept {
    SemverView view{v.major, v.minor, v.patch, std::nullopt};
    if (v.prerelease) view.prerelease = std::string_view(*v.prerelease);
    return view;
}

}  // namespace

Ordering cmp_semver_strict(const SemverVersion& a, const SemverVersion& b) noexcept {
    return cmp_semver_view(view_of(a), view_of(b));
}

Result<Ordering> compare_semver_texts(std::string_view a, std::string_view b) {
    auto left = parse_semver_view(a);
    if (!left) return std::move(left).failure();
    auto right = parse_semver_view(b);
    if (!right) return std::move(right).failure();
    return cmp_semver_view(*left, *right);
}

Ordering cmp_semver_view(const SemverView& a, const SemverView& b) noexcept {
    if (a.major != b.major) return order_of(a.major, b.major);
    if (a.minor != b.minor) return order_of(a.minor, b.minor);
    if (a.patch != b.patch) return order_of(a.patch, b.patch);
    // A release outranks every prerelease of the same core.
    if (!a.prerelease || !b.prerelease) {
        if (a.prerelease.has_value() == b.prerelease.has_value()) return Ordering::Equal;
        return a.prerelease ? Ordering::Less : Ordering::Greater;
    }
    return cmp_prerelease(*a.prerelease, *b.prerelease);
}

}  // namespace quorlen::strategies::semver

namespace quorlen::strategies {

Result<ParsedRepr> SemverStrategy::parse(std::string_view input) {
    return as_repr(semver::parse_semver_strict(input));
}

Ordering SemverStrategy::compare(const ParsedRepr& a, const ParsedRepr& b) noexcept {
    return semver::cmp_semver_strict(expect<SemverVersion>(a), expect<SemverVersion>(b));
}

Result<Ordering> SemverStrategy::compare_texts(std::string_view a, std::string_view b) {
    return semver::compare_semver_texts(a, b);
}

}  // namespace quorlen::strategies
