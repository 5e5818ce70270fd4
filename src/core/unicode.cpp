#include "core/unicode.hpp"

#include <array>

namespace quorlen::unicode {

namespace {

constexpr char32_t REPLACEMENT = 0xFFFD;

struct Range {
    char32_t first;
    char32_t last;
};

// The White_Space property (PropList.txt); it has not changed since Unicode 6.3.
constexpr std::array<Range, 10> WHITE_SPACE = {{
    {0x0009, 0x000D},
    {0x0020, 0x0020},
    {0x0085, 0x0085},
    {0x00A0, 0x00A0},
    {0x1680, 0x1680},
    {0x2000, 0x200A},
    {0x2028, 0x2029},
    {0x202F, 0x202F},
    {0x205F, 0x205F},
    {0x3000, 0x3000},
}};

bool is_cont(unsigned char b) noexcept { return (b & 0xC0) == 0x80; }

}  // namespace

Decoded decode(std::string_view s, std::size_t i) noexcept {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) return {b0, 1};
    std::size_t need;
    char32_t cp;
    char32_t min;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1, cp = b0 & 0x1F, min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2, cp = b0 & 0x0F, min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3, cp = b0 & 0x07, min = 0x10000;
    } else {
        return {REPLACEMENT, 1};
    }
    if (s.size() - i <= need) return {REPLACEMENT, 1};
    for (std::size_t k = 1; k <= need; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if (!is_cont(b)) return {REPLACEMENT, 1};
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return {REPLACEMENT, 1};
    return {cp, need + 1};
}

Decoded decode_before(std::string_view s, std::size_t end) noexcept {
    // Step back over at most three continuation bytes to a lead byte, and
    // accept it only when it decodes to exactly the bytes up to `end`.
    std::size_t start = end - 1;
    for (std::size_t k = 0; k < 3 && start > 0 && is_cont(static_cast<unsigned char>(s[start])); ++k) --start;
    if (start != end - 1) {
        Decoded d = decode(s, start);
        if (d.cp != REPLACEMENT && start + d.len == end) return d;
        if (d.cp == REPLACEMENT && d.len == 1 && start + 1 == end) return d;
        return {REPLACEMENT, 1};
    }
    return decode(s, end - 1);
}

bool is_white_space(char32_t cp) noexcept {
    if (cp < 0x80) return (cp >= 0x09 && cp <= 0x0D) || cp == 0x20;
    for (const Range& r : WHITE_SPACE)
        if (cp >= r.first && cp <= r.last) return true;
    return false;
}

std::string_view trim(std::string_view s) noexcept {
    // Almost every text starts and ends with a printable ASCII character.
    if (!s.empty()) {
        const auto first = static_cast<unsigned char>(s.front());
        const auto last = static_cast<unsigned char>(s.back());
        if (first > 0x20 && first < 0x7F && last > 0x20 && last < 0x7F) return s;
    }
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e) {
        const auto c = static_cast<unsigned char>(s[b]);
        if (c < 0x80) {
            if (!is_white_space(c)) break;
            ++b;
            continue;
        }
        Decoded d = decode(s, b);
        if (!is_white_space(d.cp)) break;
        b += d.len;
    }
    while (e > b) {
        const auto c = static_cast<unsigned char>(s[e - 1]);
        if (c < 0x80) {
            if (!is_white_space(c)) break;
            --e;
            continue;
        }
        Decoded d = decode_before(s.substr(0, e), e);
        if (!is_white_space(d.cp) || e - d.len < b) break;
        e -= d.len;
    }
    return s.substr(b, e - b);
}

}  // namespace quorlen::unicode
