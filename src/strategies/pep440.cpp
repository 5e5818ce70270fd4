#include "strategies/pep440.hpp"

#include <limits>

#include "core/unicode.hpp"
#include "strategies/generic.hpp"
#include "strategies/strategy.hpp"

namespace quorlen::strategies::pep440 {

namespace {

// Every message of the PEP 440 screen lives here.

Failure invalid_epoch(std::string_view epoch) { return fail(quoted("invalid PEP 440 epoch", epoch)); }
Failure empty_version(std::string_view input) { return fail(quoted("empty PEP 440 version", input)); }
Failure must_start_with_digit(std::string_view input) {
    return fail(quoted("PEP 440 version must start with a digit", input));
}

constexpr uint64_t U64_MAX = std::numeric_limits<uint64_t>::max();

bool all_digits(std::string_view s) noexcept {
    for (char c : s)
        if (!ascii::is_digit(c)) return false;
    return true;
}

// The text after trimming and the optional "v" prefix.
std::string_view strip_prefix(std::string_view input) noexcept {
    std::string_view t = unicode::trim(input);
    if (t.size() >= 2 && (t[0] == 'v' || t[0] == 'V') && ascii::is_digit(t[1])) t.remove_prefix(1);
    return t;
}

// Splits off "N!" and returns what follows it. An epoch too large for 64
// bits is refused too: the generic parse would drop it to 0 and rank the
// version below every smaller epoch.
Result<std::string_view> split_epoch(std::string_view text) {
    const std::size_t bang = text.find('!');
    if (bang == std::string_view::npos) return text;
    const std::string_view epoch = text.substr(0, bang);
    if (epoch.empty() || !all_digits(epoch) || !parse_u64(epoch)) return invalid_epoch(epoch);
    return text.substr(bang + 1);
}

Status check_release(std::string_view rest, std::string_view input) {
    if (rest.empty() || rest[0] == '+') return empty_version(input);
    if (!ascii::is_digit(rest[0])) return must_start_with_digit(input);
    return success();
}

// Segments of a local label: runs of digits (saturating) and of letters
// (lower-cased); every other byte only ends a run.
LocalLabel tokenize_local(std::string_view label) {
    LocalLabel out;
    const std::size_t n = label.size();
    std::size_t i = 0;
    while (i < n) {
        const char c = label[i];
        std::size_t j = i;
        if (ascii::is_digit(c)) {
            while (j < n && ascii::is_digit(label[j])) ++j;
            out.push_back(Seg::num(parse_u64(label.substr(i, j - i)).value_or(U64_MAX)));
        } else if (ascii::is_alpha(c)) {
            while (j < n && ascii::is_alpha(label[j])) ++j;
            Seg& seg = out.emplace_back();
            seg.is_text = true;
            seg.text.resize(j - i);
            for (std::size_t k = i; k < j; ++k) seg.text[k - i] = ascii::to_lower(label[k]);
        } else {
            j = i + 1;
        }
        i = j;
    }
    return out;
}

}  // namespace

Result<std::string_view> screen(std::string_view input) {
    auto rest = split_epoch(strip_prefix(input));
    if (!rest) return std::move(rest).failure();
    Status s = check_release(*rest, input);
    if (!s) return std::move(s).failure();
    return rest;
}

std::optional<std::string_view> local_text(std::string_view rest) noexcept {
    const std::size_t plus = rest.find('+');
    if (plus == std::string_view::npos) return std::nullopt;
    return rest.substr(plus + 1);
}

Result<Ordering> compare_pep440_texts(std::string_view a, std::string_view b) {
    auto rest_a = screen(a);
    if (!rest_a) return std::move(rest_a).failure();
    auto rest_b = screen(b);
    if (!rest_b) return std::move(rest_b).failure();
    // Both parses take their epoch and segments from parse_generic of the
    // whole input, which the generic cursor reads in place.
    if (Ordering o = generic::compare_generic_texts(a, b); o != Ordering::Equal) return o;
    const auto la = local_text(*rest_a);
    const auto lb = local_text(*rest_b);
    if (!la || !lb) return order_of(la.has_value(), lb.has_value());
    // Local labels are rare enough to tokenize in full.
    const LocalLabel ta = tokenize_local(*la);
    const LocalLabel tb = tokenize_local(*lb);
    return generic::cmp_segments(ta, tb);
}

Result<Pep440Version> parse_pep440(std::string_view input) {
    auto rest = screen(input);
    if (!rest) return std::move(rest).failure();

    Pep440Version v;
    v.version = parse_generic(input);
    if (const std::size_t plus = rest->find('+'); plus != std::string_view::npos)
        v.local = tokenize_local(rest->substr(plus + 1));
    return v;
}

Ordering cmp_pep440(const Pep440Version& a, const Pep440Version& b) noexcept {
    if (a.version.epoch != b.version.epoch) return order_of(a.version.epoch, b.version.epoch);
    if (Ordering o = generic::cmp_segments(a.version.segments, b.version.segments); o != Ordering::Equal) return o;
    // A local label makes a version greater than the same public version.
    if (!a.local || !b.local) return order_of(a.local.has_value(), b.local.has_value());
    return generic::cmp_segments(*a.local, *b.local);
}

}  // namespace quorlen::strategies::pep440

namespace quorlen::strategies {

Result<ParsedRepr> Pep440Strategy::parse(std::string_view input) {
    return as_repr(pep440::parse_pep440(input));
}

Ordering Pep440Strategy::compare(const ParsedRepr& a, const ParsedRepr& b) noexcept {
    return pep440::cmp_pep440(expect<Pep440Version>(a), expect<Pep440Version>(b));
}

Result<Ordering> Pep440Strategy::compare_texts(std::string_view a, std::string_view b) {
    return pep440::compare_pep440_texts(a, b);
}

}  // namespace quorlen::strategies
