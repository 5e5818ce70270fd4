// VERS identifiers: any text parses or fails cleanly, and what parses is
// written back the way build_vers writes it (canonical ecosystem name, range
// trimmed) and parses again to the same ecosystem and an equal range.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/unicode.hpp"
#include "fuzz_support.hpp"
#include "security.hpp"

using namespace quorlen;
using security::Vers;

namespace {

bool same_range(const ranges::RangeSet& a, const ranges::RangeSet& b) {
    if (a.branches.size() != b.branches.size()) return false;
    for (std::size_t i = 0; i < a.branches.size(); ++i) {
        const auto& x = a.branches[i];
        const auto& y = b.branches[i];
        if (x.size() != y.size()) return false;
        for (std::size_t j = 0; j < x.size(); ++j) {
            if (x[j].op != y[j].op || x[j].version != y[j].version) return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::as_text(data, size);
    auto parsed = Vers::parse(text);
    if (!parsed.ok()) {
        FUZZ_CHECK(!parsed.error().empty());
        return 0;
    }
    FUZZ_CHECK(!parsed->range.branches.empty());

    // Only the first '/' after the prefix separates the name from the range.
    const std::string_view range_text = text.substr(text.find('/') + 1);
    std::string written = "vers:";
    written += parsed->ecosystem.as_str();
    written += '/';
    written += unicode::trim(range_text);
    auto again = Vers::parse(written);
    FUZZ_CHECK(again.ok());
    FUZZ_CHECK(again->ecosystem == parsed->ecosystem);
    FUZZ_CHECK(same_range(again->range, parsed->range));

    // Evaluating against the parsed range must fail cleanly or answer.
    auto in = parsed->range.contains(parsed->ecosystem, range_text);
    if (!in.ok()) FUZZ_CHECK(!in.error().empty());
    return 0;
}
