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

Parts split(std::string_view s) noexcept {
    Parts p;
    std::size_t i = 0;
    while (i < s.size() && ascii::is_digit(s[i])) {
        i += native::digits_at(s, i).size();
        if (i + 1 < s.size() && s[i] == '.' && ascii::is_digit(s[i + 1])) ++i;
    }
    p.numbers = s.substr(0, i);
    std::string_view rest = s.substr(i);
    rest = rest.substr(0, rest.find('+'));
    if (!rest.empty()) {
        p.has_prerelease = true;
        p.prerelease = rest[0] == '-' ? rest.substr(1) : rest;
    }
    return p;
}

}  // namespace

Ordering cmp_nuget(std::string_view a, std::string_view b) noexcept {
    const Parts pa = split(a), pb = split(b);
    if (Ordering o = labels::cmp_numeric_parts(pa.numbers, pb.numbers); o != Ordering::Equal) return o;
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
