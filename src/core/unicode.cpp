#include "core/unicode.hpp"

#include <algorithm>

#include "core/unicode_tables.hpp"

namespace quorlen::unicode {

namespace {

constexpr char32_t REPLACEMENT = 0xFFFD;

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

namespace {

// The range holding cp, if any, in a sorted table of disjoint ranges.
template <class R>
const R* find_range(std::span<const R> table, char32_t cp) noexcept {
    auto it = std::upper_bound(table.begin(), table.end(), cp,
                               [](char32_t c, const R& r) { return c < r.first; });
    if (it == table.begin()) return nullptr;
    --it;
    return cp <= it->last ? &*it : nullptr;
}

}  // namespace

bool is_white_space(char32_t cp) noexcept {
    if (cp < 0x80) return (cp >= 0x09 && cp <= 0x0D) || cp == 0x20;
    return find_range(tables::WHITE_SPACE, cp) != nullptr;
}

bool is_numeral(char32_t cp) noexcept {
    if (cp < 0x80) return cp >= '0' && cp <= '9';
    return find_range(tables::NUMERAL, cp) != nullptr;
}

bool is_cased(char32_t cp) noexcept {
    if (cp < 0x80) return (cp | 0x20) >= 'a' && (cp | 0x20) <= 'z';
    return find_range(tables::CASED, cp) != nullptr;
}

bool is_case_ignorable(char32_t cp) noexcept { return find_range(tables::CASE_IGNORABLE, cp) != nullptr; }

bool ends_word(std::string_view text, std::size_t begin, std::size_t end) noexcept {
    bool cased_before = false;
    for (std::size_t i = begin; i > 0;) {
        const Decoded d = decode_before(text.substr(0, i), i);
        if (!is_case_ignorable(d.cp)) {
            cased_before = is_cased(d.cp);
            break;
        }
        i -= d.len;
    }
    if (!cased_before) return false;
    for (std::size_t i = end; i < text.size();) {
        const Decoded d = decode(text, i);
        if (!is_case_ignorable(d.cp)) return !is_cased(d.cp);
        i += d.len;
    }
    return true;
}

namespace {

// The context-free form; the multi-character ones sit in the gaps of the
// runs, so they are looked up first.
LowerForm lower_plain(char32_t cp) noexcept {
    auto sp = std::lower_bound(tables::LOWER_SPECIAL.begin(), tables::LOWER_SPECIAL.end(), cp,
                               [](const tables::LowerSpecial& e, char32_t c) { return e.cp < c; });
    if (sp != tables::LOWER_SPECIAL.end() && sp->cp == cp) {
        LowerForm form{{}, 0};
        for (std::size_t i = 0; i < sp->utf8.size() && form.n < form.cp.size();) {
            const Decoded d = decode(sp->utf8, i);
            form.cp[form.n++] = d.cp;
            i += d.len;
        }
        return form;
    }
    if (const tables::LowerRun* run = find_range(tables::LOWER_RUN, cp)) {
        if ((cp - run->first) % run->stride == 0) cp = static_cast<char32_t>(static_cast<int32_t>(cp) + run->delta);
    }
    return {{cp}, 1};
}

}  // namespace

LowerForm lower_at(std::string_view text, std::size_t i, Decoded d) noexcept {
    if (d.cp < 0x80) return {{d.cp >= 'A' && d.cp <= 'Z' ? d.cp + 32 : d.cp}, 1};
    for (const tables::WordFinal& f : tables::WORD_FINAL)
        if (f.cp == d.cp && ends_word(text, i, i + d.len)) return {{f.lower}, 1};
    return lower_plain(d.cp);
}

void append_lower(std::string& out, std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            out.push_back(static_cast<char>(byte >= 'A' && byte <= 'Z' ? byte + 32 : byte));
            ++i;
            continue;
        }
        const Decoded d = decode(text, i);
        const LowerForm form = lower_at(text, i, d);
        for (std::size_t k = 0; k < form.n; ++k) append_utf8(out, form.cp[k]);
        i += d.len;
    }
}

std::string_view trim_slow(std::string_view s) noexcept {
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
