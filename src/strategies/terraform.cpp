#include "strategies/terraform.hpp"

#include "strategies/labels.hpp"

namespace quorlen::strategies::terraform {

namespace {

struct Parts {
    std::string_view numbers;
    std::string_view prerelease;  // empty: none
};

// `i`: where the leading numeric parts end.
Parts split_at(std::string_view s, std::size_t i) noexcept {
    std::string_view rest = s.substr(i);
    rest = rest.substr(0, rest.find('+'));
    if (!rest.empty() && rest[0] == '-') rest.remove_prefix(1);
    return {s.substr(0, i), rest};
}

Parts split(std::string_view s) noexcept { return split_at(s, labels::leading_parts_end(s)); }

}  // namespace

Ordering cmp_terraform(std::string_view a, std::string_view b) noexcept {
    std::size_t end_a = 0, end_b = 0;
    if (Ordering o = labels::cmp_leading_parts(a, b, end_a, end_b); o != Ordering::Equal) return o;
    const Parts pa = split_at(a, end_a), pb = split_at(b, end_b);
    // Segments equal but for trailing zeros are equal segments: the
    // pre-release still decides (the library would call 1.0.0.0-beta and
    // 1.0.0 equal, and 1.0.0-beta less than 1.0.0).
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
