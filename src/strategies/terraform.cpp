#include "strategies/terraform.hpp"

#include "strategies/labels.hpp"

namespace quorlen::strategies::terraform {

namespace {

struct Parts {
    std::string_view numbers;
    std::string_view prerelease;  // empty: none
};

Parts split(std::string_view s) noexcept {
    std::size_t i = 0;
    while (i < s.size() && ascii::is_digit(s[i])) {
        i += native::digits_at(s, i).size();
        if (i + 1 < s.size() && s[i] == '.' && ascii::is_digit(s[i + 1])) ++i;
    }
    std::string_view rest = s.substr(i);
    rest = rest.substr(0, rest.find('+'));
    if (!rest.empty() && rest[0] == '-') rest.remove_prefix(1);
    return {s.substr(0, i), rest};
}

}  // namespace

Ordering cmp_terraform(std::string_view a, std::string_view b) noexcept {
    const Parts pa = split(a), pb = split(b);
    // Segments equal but for trailing zeros are equal segments: the
    // pre-release still decides (the library would call 1.0.0.0-beta and
    // 1.0.0 equal, and 1.0.0-beta less than 1.0.0).
    if (Ordering o = labels::cmp_numeric_parts(pa.numbers, pb.numbers); o != Ordering::Equal) return o;
    const bool ra = pa.prerelease.empty(), rb = pb.prerelease.empty();
    if (ra || rb) return ra == rb ? Ordering::Equal : (ra ? Ordering::Greater : Ordering::Less);
    // The library's own order of pre-release parts is cyclic (x.1 < x.a,
    // x.a < x, x < x.1), which no sort can follow; SemVer's order agrees
    // with it but where a pre-release ends and the other goes on with a word.
    return labels::cmp_labels(pa.prerelease, pb.prerelease, labels::Case::Exact);
}

std::string terraform_key(std::string_view text) {
    const Parts p = split(text);
    std::string key;
    labels::put_numeric_parts(key, p.numbers);
    if (p.prerelease.empty()) return key;
    native::put_piece(key, '-', {});
    labels::put_labels(key, p.prerelease, labels::Case::Exact);
    return key;
}

}  // namespace quorlen::strategies::terraform
