// The data behind the Unicode queries of unicode.hpp, generated from the
// Unicode Character Database by tools/gen_unicode.py into unicode_tables.cpp.
// Only unicode.cpp reads these.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace quorlen::unicode::tables {

// Code points first..last, both included.
struct Range {
    char32_t first;
    char32_t last;
};

// Every stride-th code point from first to last lower-cases to itself plus
// delta; the code points skipped by the stride have no mapping in this run.
struct LowerRun {
    char32_t first;
    char32_t last;
    int32_t delta;
    uint8_t stride;
};

// A code point whose lower-case form is more than one character (UTF-8).
struct LowerSpecial {
    char32_t cp;
    std::string_view utf8;
};

// A character whose lower-case form is another one where it ends a word.
struct WordFinal {
    char32_t cp;
    char32_t lower;
};

extern const char UNICODE_VERSION[];
// All sorted by code point and free of overlaps, for binary search.
extern const std::span<const Range> WHITE_SPACE;
extern const std::span<const Range> NUMERAL;
extern const std::span<const LowerRun> LOWER_RUN;
extern const std::span<const LowerSpecial> LOWER_SPECIAL;
extern const std::span<const WordFinal> WORD_FINAL;
extern const std::span<const Range> CASED;
extern const std::span<const Range> CASE_IGNORABLE;

}  // namespace quorlen::unicode::tables
