// Interim: ASCII-only tables until the generated Unicode tables land.
#include "core/unicode.hpp"

namespace quorlen::unicode {

bool is_numeral(char32_t cp) noexcept { return cp >= '0' && cp <= '9'; }

void append_lower(std::string& out, char32_t cp) {
    if (cp >= 'A' && cp <= 'Z') cp += 32;
    append_utf8(out, cp);
}

}  // namespace quorlen::unicode
