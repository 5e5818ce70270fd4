// Strict Semantic Versioning 2.0.0: exactly three numbers, an optional
// prerelease and ignored build metadata.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/result.hpp"

namespace quorlen::strategies::semver {

struct SemverVersion {
    uint64_t major = 0;
    uint64_t minor = 0;
    uint64_t patch = 0;
    std::optional<std::string> prerelease;  // as written; absent without '-'
};

// The same parse as slices of the input: nothing is copied, so comparing two
// texts allocates nothing.
struct SemverView {
    uint64_t major = 0;
    uint64_t minor = 0;
    uint64_t patch = 0;
    std::optional<std::string_view> prerelease;
};

Result<SemverView> parse_semver_view(std::string_view input);
Result<SemverVersion> parse_semver_strict(std::string_view input);
Result<uint64_t> parse_strict_u64(std::string_view text, std::string_view name);
Status validate_prerelease(std::string_view text);
Ordering cmp_semver_view(const SemverView& a, const SemverView& b) noexcept;
// Parses both texts as slices and orders them; the first text's failure wins.
Result<Ordering> compare_semver_texts(std::string_view a, std::string_view b);
Ordering cmp_semver_strict(const SemverVersion& a, const SemverVersion& b) noexcept;

}  // namespace quorlen::strategies::semver
