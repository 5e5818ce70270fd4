// Debian package versions: epoch, upstream version and revision, the last two
// ordered by the classic character-class comparison.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "core/result.hpp"

namespace quorlen::strategies::debian {

struct DebianVersion {
    uint64_t epoch = 0;
    std::string upstream;
    std::string revision;
};

struct EpochSplit {
    uint64_t epoch;
    std::string_view rest;
};

// Epoch, version and release (Debian's upstream and revision) as slices of
// the input; the release is empty when the text has no '-'.
struct PackageView {
    uint64_t epoch = 0;
    std::string_view version;
    std::string_view release;
};

// The split both Debian and RPM make: trim, refuse an empty text with
// empty(), an epoch before ':', the release after the last '-'.
Result<PackageView> split_package_version(std::string_view input, Failure (*empty)());

// Leading digits directly followed by ':' are an epoch; shared with RPM.
EpochSplit extract_epoch_colon(std::string_view text) noexcept;

// The same split of a text already trimmed and not empty. Inline, as the
// slice comparisons of both families start with it.
inline PackageView split_trimmed(std::string_view text) noexcept {
    EpochSplit split{0, text};
    // Most versions have no epoch: their first non-digit is no ':'.
    std::size_t d = 0;
    while (d < text.size() && static_cast<unsigned>(text[d] - '0') < 10) ++d;
    if (d > 0 && d < text.size() && text[d] == ':') split = extract_epoch_colon(text);
    const std::string_view rest = split.rest;
    const void* dash = rest.empty() ? nullptr : memrchr(rest.data(), '-', rest.size());
    if (!dash) return PackageView{split.epoch, rest, {}};
    const auto at = static_cast<std::size_t>(static_cast<const char*>(dash) - rest.data());
    return PackageView{split.epoch, rest.substr(0, at), rest.substr(at + 1)};
}

Result<PackageView> parse_debian_view(std::string_view input);
Result<DebianVersion> parse_debian(std::string_view input);
Ordering cmp_debian_view(const PackageView& a, const PackageView& b) noexcept;
Ordering verrevcmp(std::string_view a, std::string_view b) noexcept;

}  // namespace quorlen::strategies::debian
