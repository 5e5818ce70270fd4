// Syntax checks of the ecosystems that reuse the generic or strict SemVer
// parse. Each looks at the trimmed input and returns success or the message
// that names the ecosystem; none changes what the parse is given.
#include "strategies/validators.hpp"

#include "core/unicode.hpp"
#include "parser.hpp"

namespace quorlen::strategies::validators {

namespace {

// Every message of the checks lives here. {input} is the text as received,
// untrimmed, unless a message says otherwise.

Failure empty_text(const Label& l) {
    std::string msg = "empty ";
    msg += l.name;
    msg += ' ';
    msg += l.noun;
    return fail(std::move(msg));
}
Failure must_start_with_digit(const Label& l, std::string_view shown) {
    return fail(quoted(std::string(l.name) + " version must start with a digit", shown));
}
Failure invalid_arch(std::string_view input) { return fail(quoted("invalid Arch version", input)); }
Failure cran_bad_char(std::string_view input) {
    return fail(quoted("R/CRAN version must contain only digits, '.', or '-'", input));
}
Failure maven_numeral(std::string_view numeral, std::string_view input) {
    return fail(quoted("Maven version contains a non-ASCII numeral '" + std::string(numeral) + "'", input));
}
Failure go_prefix(std::string_view input) {
    return fail(quoted("Go version must start with a lowercase 'v' prefix", input));
}

constexpr Label COMPOSER{"Composer", "version"};
constexpr Label ARCH{"Arch", "version"};
constexpr Label CRAN{"R/CRAN", "version"};
constexpr Label MAVEN{"Maven", "version"};

bool starts_with_digit(std::string_view t) noexcept { return !t.empty() && ascii::is_digit(t[0]); }

// "v1" or "V1": a prefix some ecosystems tolerate before the first digit.
bool has_v_prefix(std::string_view t) noexcept {
    return t.size() >= 2 && (t[0] == 'v' || t[0] == 'V') && ascii::is_digit(t[1]);
}

}  // namespace

Status check_not_empty(const Label& label, std::string_view input) {
    if (unicode::trim(input).empty()) return empty_text(label);
    return success();
}

Status check_digit_first(const Label& label, std::string_view input) {
    const std::string_view t = unicode::trim(input);
    if (t.empty()) return empty_text(label);
    if (!starts_with_digit(t)) return must_start_with_digit(label, input);
    return success();
}

Status validate_composer(std::string_view input) {
    std::string_view t = unicode::trim(input);
    if (t.empty()) return empty_text(COMPOSER);
    if (has_v_prefix(t)) t.remove_prefix(1);
    if (!starts_with_digit(t)) return must_start_with_digit(COMPOSER, input);
    return success();
}

Status validate_arch(std::string_view input) {
    std::string_view t = unicode::trim(input);
    if (t.empty()) return empty_text(ARCH);
    // Only the first ':' can end an epoch, and only after digits alone.
    if (const std::size_t colon = t.find(':'); colon != std::string_view::npos) {
        bool epoch = true;
        for (std::size_t i = 0; i < colon; ++i) epoch = epoch && ascii::is_digit(t[i]);
        if (epoch) {
            if (colon + 1 == t.size()) return invalid_arch(input);
            t.remove_prefix(colon + 1);
        }
    }
    if (!ascii::is_alnum(t[0])) return invalid_arch(input);
    return success();
}

Status validate_cran(std::string_view input) {
    const std::string_view t = unicode::trim(input);
    if (t.empty()) return empty_text(CRAN);
    // The one message that shows the trimmed text.
    if (!starts_with_digit(t)) return must_start_with_digit(CRAN, t);
    for (char c : t)
        if (!ascii::is_digit(c) && c != '.' && c != '-') return cran_bad_char(input);
    return success();
}

Status validate_maven(std::string_view input) {
    const std::string_view t = unicode::trim(input);
    if (t.empty()) return empty_text(MAVEN);
    if (!starts_with_digit(t)) return must_start_with_digit(MAVEN, input);
    for (std::size_t i = 0; i < t.size();) {
        const unicode::Decoded d = unicode::decode(t, i);
        if (d.cp >= 0x80 && unicode::is_numeral(d.cp)) return maven_numeral(t.substr(i, d.len), input);
        i += d.len;
    }
    return success();
}

Status validate_go(std::string_view input) {
    const std::string_view t = unicode::trim(input);
    // Only the lower-case prefix is published; "V1.2.3" is no Go version.
    if (t.size() < 2 || t[0] != 'v' || !ascii::is_digit(t[1])) return go_prefix(input);
    return success();
}

}  // namespace quorlen::strategies::validators
