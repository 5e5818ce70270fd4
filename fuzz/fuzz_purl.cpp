// Package URLs: any text parses or fails cleanly, and what parses renders to
// a text that parses back to the very same parts.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.hpp"
#include "security.hpp"

using namespace quorlen;
using security::Purl;

namespace {

bool same_parts(const Purl& a, const Purl& b) {
    return a.type == b.type && a.namespace_ == b.namespace_ && a.name == b.name && a.version == b.version &&
           a.qualifiers == b.qualifiers && a.subpath == b.subpath;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::as_text(data, size);
    auto parsed = Purl::parse(text);
    if (!parsed.ok()) {
        FUZZ_CHECK(!parsed.error().empty());
        return 0;
    }
    const Purl& p = *parsed;
    FUZZ_CHECK(!p.type.empty());
    FUZZ_CHECK(!p.name.empty());
    for (char c : p.type) FUZZ_CHECK(!(c >= 'A' && c <= 'Z'));

    const std::string rendered = p.to_purl();
    auto again = Purl::parse(rendered);
    FUZZ_CHECK(again.ok());
    FUZZ_CHECK(same_parts(p, *again));
    FUZZ_CHECK(again->to_purl() == rendered);
    FUZZ_CHECK(again->ecosystem() == p.ecosystem());
    return 0;
}
