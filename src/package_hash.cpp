#include "package_hash.hpp"

#include "packed_segments.hpp"

namespace quorlen {

namespace {

bool digit(char c) noexcept { return ascii::is_digit(c); }

std::string_view without_leading_zeros(std::string_view digits) noexcept {
    while (!digits.empty() && digits.front() == '0') digits.remove_prefix(1);
    return digits;
}

// Debian compares a version as alternating runs of non-digits (byte by byte)
// and digits (by value, an absent run counting as 0), so the runs with the
// zeros taken off the numbers are what equal versions share, once the
// trailing pairs of no text and value 0 are dropped.
template <class F>
void debian_pairs(std::string_view s, F f) {
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t text_begin = i;
        while (i < s.size() && !digit(s[i])) ++i;
        const std::size_t digits_begin = i;
        while (i < s.size() && digit(s[i])) ++i;
        f(s.substr(text_begin, digits_begin - text_begin), without_leading_zeros(s.substr(digits_begin, i - digits_begin)), i);
    }
}

void add_debian_part(HashBytes& b, std::string_view s) {
    std::size_t end = 0;
    debian_pairs(s, [&](std::string_view text, std::string_view number, std::size_t stop) {
        if (!text.empty() || !number.empty()) end = stop;
    });
    debian_pairs(s.substr(0, end), [&](std::string_view text, std::string_view number, std::size_t) {
        b.piece('t', text);
        b.piece('n', number);
    });
    b.piece('|', {});
}

// RPM skips separators and compares runs of letters as text and runs of
// digits by value; '~' and '^' stand for themselves.
void add_rpm_part(HashBytes& b, std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '~' || c == '^') {
            b.piece(c, {});
            ++i;
        } else if (digit(c)) {
            const std::size_t begin = i;
            while (i < s.size() && digit(s[i])) ++i;
            b.piece('n', without_leading_zeros(s.substr(begin, i - begin)));
        } else if (ascii::is_alpha(c)) {
            const std::size_t begin = i;
            while (i < s.size() && ascii::is_alpha(s[i])) ++i;
            b.piece('a', s.substr(begin, i - begin));
        } else {
            ++i;
        }
    }
    b.piece('|', {});
}

template <void (*AddPart)(HashBytes&, std::string_view)>
uint64_t hash_package(uint64_t epoch, std::string_view version, std::string_view release) {
    HashBytes b;
    b.epoch(epoch);
    AddPart(b, version);
    AddPart(b, release);
    return hash_bytes(b.view());
}

}  // namespace

uint64_t hash_debian(uint64_t epoch, std::string_view upstream, std::string_view revision) {
    return hash_package<add_debian_part>(epoch, upstream, revision);
}

uint64_t hash_rpm(uint64_t epoch, std::string_view version, std::string_view release) {
    return hash_package<add_rpm_part>(epoch, version, release);
}

}  // namespace quorlen
