// The core version model: ecosystems and their names, detection of an
// ecosystem from a version's shape, and the generic parse that reads any text
// as a version.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/inline_vec.hpp"
#include "core/result.hpp"

namespace quorlen {

// ---------------------------------------------------------------- ecosystems

class Ecosystem {
public:
    enum Value : uint8_t {
        Generic, Semver, Pep440, Debian, Rpm, Ruby, Maven, Go, Npm, Nuget,
        Composer, Crates, Hex, Swift, Calver, Alpine, Docker, Conda, Arch, Gentoo,
        Cran, Spack, Dart, Julia, Terraform, Helm, Cpan, Nix, Homebrew, Freebsd,
    };
    static constexpr std::size_t COUNT = 30;

    constexpr Ecosystem() noexcept = default;
    constexpr Ecosystem(Value v) noexcept : v_(v) {}  // NOLINT: implicit on purpose
    constexpr operator Value() const noexcept { return v_; }
    constexpr uint8_t index() const noexcept { return v_; }

    // Canonical names and aliases, after ASCII lower-casing; no trimming.
    static Result<Ecosystem> from_str(std::string_view name);
    // The canonical name: a static text.
    std::string_view as_str() const noexcept;

private:
    Value v_ = Generic;
};

// Message for an ecosystem name that is not known (the name as given; it is
// lower-cased here).
std::string unsupported_ecosystem_message(std::string_view name);

// Guesses the ecosystem from the shape of one version text; never fails.
Ecosystem autodetect_ecosystem(std::string_view text);

// ---------------------------------------------------------------- generic model

// One token of a generic version: a number, or a text of lower-case ASCII
// letters, or exactly "~" or "^".
struct Seg {
    uint64_t number = 0;
    std::string text;
    bool is_text = false;

    static Seg num(uint64_t n) { return Seg{n, {}, false}; }
    static Seg txt(std::string_view t) { return Seg{0, std::string(t), true}; }
    bool is_number() const noexcept { return !is_text; }
    bool operator==(const Seg& o) const noexcept {
        return is_text == o.is_text && (is_text ? text == o.text : number == o.number);
    }
};

inline constexpr std::size_t INLINE_SEGMENTS = 16;
using SegList = InlineVec<Seg, INLINE_SEGMENTS>;

struct ParsedVersion {
    std::string raw;         // the input exactly as given
    SegList segments;        // tokens of the main part
    std::string build;       // text after the first '+', case kept
    uint64_t epoch = 0;
    bool is_prerelease = false;
    bool is_postrelease = false;
};

// Weight of a pre-/post-release word; exact, case-sensitive match.
std::optional<int32_t> tag_weight(std::string_view tag) noexcept;

// The weight an unknown tag counts as in comparisons: after every known
// pre-release word and before a plain release.
inline constexpr int32_t UNKNOWN_TAG_WEIGHT = 29;
inline constexpr int32_t RELEASE_WEIGHT = 30;

// Reads any text as a version; cannot fail.
ParsedVersion parse_generic(std::string_view input);

namespace ascii {
constexpr bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }
constexpr bool is_alpha(char c) noexcept { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr bool is_alnum(char c) noexcept { return is_digit(c) || is_alpha(c); }
constexpr char to_lower(char c) noexcept { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
std::string lower(std::string_view s);
bool iequals(std::string_view a, std::string_view b) noexcept;
}  // namespace ascii

// The pieces of a generic version text before tokenising: trimmed, the 'v'
// prefix and epoch taken off, the build text split at the first '+'.
struct GenericParts {
    uint64_t epoch = 0;
    std::string_view main;   // not yet lower-cased
    std::string_view build;  // empty when there is no '+' or nothing follows it
};

GenericParts split_generic(std::string_view input) noexcept;

// The text after trimming, the 'v' prefix and the epoch: the main part and
// the build text still joined. For readers that stop at the '+' themselves.
struct GenericHead {
    uint64_t epoch = 0;
    std::string_view rest;
};

GenericHead split_generic_head(std::string_view input) noexcept;

uint64_t saturating_digits_long(std::string_view digits) noexcept;

// Value of a digit run, saturating at the largest 64-bit value.
inline uint64_t saturating_digits(std::string_view digits) noexcept {
    if (digits.size() > 19) return saturating_digits_long(digits);
    uint64_t v = 0;  // 19 digits always fit in 64 bits
    for (char c : digits) v = v * 10 + static_cast<uint64_t>(c - '0');
    return v;
}

// Walks the main part left to right and reports each segment to the sink:
// sink.number(value), sink.word(letters as written), sink.tilde(), sink.caret().
// Separators and every other byte produce nothing.
template <class Sink>
void scan_segments(std::string_view main, Sink& sink) {
    const std::size_t n = main.size();
    std::size_t i = 0;
    while (i < n) {
        const char c = main[i];
        if (ascii::is_digit(c)) {
            std::size_t j = i + 1;
            while (j < n && ascii::is_digit(main[j])) ++j;
            sink.number(saturating_digits(main.substr(i, j - i)));
            i = j;
        } else if (ascii::is_alpha(c)) {
            std::size_t j = i + 1;
            while (j < n && ascii::is_alpha(main[j])) ++j;
            sink.word(main.substr(i, j - i));
            i = j;
        } else {
            if (c == '~') sink.tilde();
            else if (c == '^') sink.caret();
            ++i;
        }
    }
}

// Tag weight of a word as written (ASCII case ignored).
std::optional<int32_t> tag_weight_folded(std::string_view word) noexcept;

// Reads a run of ASCII digits as an unsigned 64-bit number; absent on overflow
// or when the text is empty or holds anything but digits.
std::optional<uint64_t> parse_u64(std::string_view digits) noexcept;

}  // namespace quorlen
