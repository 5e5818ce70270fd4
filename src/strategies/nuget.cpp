#include "strategies/nuget.hpp"

#include "strategies/labels.hpp"

namespace quorlen::strategies::nuget {

namespace {

// A version read leniently: the leading numeric parts (any number of them),
// then everything up to '+' as the pre-release, whether or not a '-' comes
// first, so that texts NuGet refuses still order next to those it reads.
struct Parts {
    std::string_view numbers;  // "1.2.3", the dots included
    std::string_view prerelease;
    bool has_prerelease = false;
};

// `i`: where the leading numeric parts end.
Parts split_at(std::string_view s, std::size_t i) noexcept {
    Parts p;
    p.numbers = s.substr(0, i);
    std::string_view rest = s.substr(i);
    rest = rest.substr(0, rest.find('+'));
    if (!rest.empty()) {
        p.has_prerelease = true;
        p.prerelease = rest[0] == '-' ? rest.substr(1) : rest;
    }
    return p;
}

Parts split(std::string_view s) noexcept { return split_at(s, labels::leading_parts_end(s)); }

}  // namespace

Ordering cmp_nuget(std::string_view a, std::string_view b) noexcept {
    std::size_t end_a = 0, end_b = 0;
    if (Ordering o = labels::cmp_leading_parts(a, b, end_a, end_b); o != Ordering::Equal) return o;
    const Parts pa = split_at(a, end_a), pb = split_at(b, end_b);
    if (pa.has_prerelease != pb.has_prerelease) return pa.has_prerelease ? Ordering::Less : Ordering::Greater;
    return labels::cmp_labels(pa.prerelease, pb.prerelease, labels::Case::Folded);
}

std::string nuget_key(std::string_view text) {
    const Parts p = split(text);
    std::string key;
    labels::put_numeric_parts(key, p.numbers);
    if (p.has_prerelease) {
        native::put_piece(key, '-', {});
        labels::put_labels(key, p.prerelease, labels::Case::Folded);
    }
    return key;
}

}  // namespace quorlen::strategies::nuget
