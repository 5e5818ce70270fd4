#include "strategies/semver.hpp"

#include "core/unicode.hpp"
#include "strategies/strategy.hpp"

namespace quorlen::strategies::semver {

namespace {

// Every message of the strict parse lives here. {text} and {identifier} are
// the offending piece alone, never the whole input.
std::string quoted(std::string_view head, std::string_view piece) {
    std::string msg(head);
    msg += ": '";
    msg += piece;
    msg += '\'';
    return msg;
}

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

Result<SemverVersion> parse_semver_strict(std::string_view input) {
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

    SemverVersion v;
    v.major = numbers[0];
    v.minor = numbers[1];
    v.patch = numbers[2];
    if (pre) v.prerelease.emplace(*pre);
    return v;
}

Ordering cmp_semver_strict(const SemverVersion& a, const SemverVersion& b) noexcept {
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
    auto v = semver::parse_semver_strict(input);
    if (!v) return std::move(v).failure();
    return ParsedRepr(std::move(v).value());
}

Ordering SemverStrategy::compare(const ParsedRepr& a, const ParsedRepr& b) noexcept {
    return semver::cmp_semver_strict(expect<SemverVersion>(a), expect<SemverVersion>(b));
}

}  // namespace quorlen::strategies
