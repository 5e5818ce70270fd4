// UTF-8 reading and the Unicode White_Space test used for trimming. Input
// bytes are never trusted to be valid UTF-8: a malformed byte reads as one
// character of its own (U+FFFD) and is never white space.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorlen::unicode {

struct Decoded {
    char32_t cp;      // the scalar value, or U+FFFD for a malformed sequence
    std::size_t len;  // bytes consumed, at least 1
};

// Decodes the character that starts at s[i] (i < s.size()).
Decoded decode(std::string_view s, std::size_t i) noexcept;

// Decodes the character that ends just before s[end] (0 < end <= s.size()).
Decoded decode_before(std::string_view s, std::size_t end) noexcept;

bool is_white_space(char32_t cp) noexcept;

// trim for a text that may have something to trim.
std::string_view trim_slow(std::string_view s) noexcept;

// The text without leading and trailing White_Space characters. Almost every
// text starts and ends with a printable ASCII character: that case is
// decided here, inline.
inline std::string_view trim(std::string_view s) noexcept {
    if (!s.empty()) {
        const auto first = static_cast<unsigned char>(s.front());
        const auto last = static_cast<unsigned char>(s.back());
        if (first > 0x20 && first < 0x7F && last > 0x20 && last < 0x7F) return s;
    }
    return trim_slow(s);
}

// General category Nd, Nl or No (decimal digits, letter numerals, other
// numerals).
bool is_numeral(char32_t cp) noexcept;

// Derived properties Cased and Case_Ignorable: they decide where a word
// ends for lower-casing.
bool is_cased(char32_t cp) noexcept;
bool is_case_ignorable(char32_t cp) noexcept;

// Whether the character at text[begin, end) ends a word: a cased character
// comes before it and none after it, case-ignorable characters skipped on
// both sides (the Final_Sigma condition).
bool ends_word(std::string_view text, std::size_t begin, std::size_t end) noexcept;

// The full lower-case form of one character: one to three characters.
struct LowerForm {
    std::array<char32_t, 3> cp;
    std::size_t n;
};

// The full lower-case form of the character d that starts at text[i]; the
// rest of the text is the context the form may depend on.
LowerForm lower_at(std::string_view text, std::size_t i, Decoded d) noexcept;

// Appends the full lower-case form of text to out, as UTF-8.
void append_lower(std::string& out, std::string_view text);

// The full lower-case form of text[begin, end), one character at a time,
// without building it: the context is read from the whole text.
class LowerCursor {
public:
    LowerCursor(std::string_view text, std::size_t begin, std::size_t end) noexcept
        : text_(text), i_(begin), end_(end) {}

    bool done() const noexcept { return k_ == form_.n && i_ >= end_; }

    // The next character; only while !done().
    char32_t next() noexcept {
        if (k_ < form_.n) return form_.cp[k_++];
        const auto byte = static_cast<unsigned char>(text_[i_]);
        if (byte < 0x80) {
            ++i_;
            return byte >= 'A' && byte <= 'Z' ? byte + 32 : byte;
        }
        const Decoded d = decode(text_, i_);
        form_ = lower_at(text_, i_, d);
        i_ += d.len;
        k_ = 1;
        return form_.cp[0];
    }

private:
    std::string_view text_;
    std::size_t i_;
    std::size_t end_;
    LowerForm form_{{}, 0};
    std::size_t k_ = 0;
};

// Appends the UTF-8 form of cp to out.
template <class String>
void append_utf8(String& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace quorlen::unicode
