// Debian package versions: epoch, upstream version and revision, the last two
// ordered by the classic character-class comparison.
#pragma once

#include <cstdint>
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

Result<PackageView> parse_debian_view(std::string_view input);
Result<DebianVersion> parse_debian(std::string_view input);
Ordering cmp_debian_view(const PackageView& a, const PackageView& b) noexcept;
// Leading digits directly followed by ':' are an epoch; shared with RPM.
EpochSplit extract_epoch_colon(std::string_view text) noexcept;
Ordering verrevcmp(std::string_view a, std::string_view b) noexcept;

}  // namespace quorlen::strategies::debian
