// VERS identifiers: any text parses or fails cleanly, and what parses is
// written back the way build_vers writes it (canonical ecosystem name, range
// trimmed) and parses again to the same ecosystem and an equal range; its
// published form, where one can be written, reads back to the same versions.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/unicode.hpp"
#include "fuzz_support.hpp"
#include "security.hpp"
#include "strategies/registry.hpp"

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

    const auto published = security::to_published_vers(parsed->ecosystem, parsed->range);
    if (published.ok()) {
        auto back = Vers::parse(*published);
        FUZZ_CHECK(back.ok());  // the writer writes only what the reader reads
        FUZZ_CHECK(back->ecosystem == parsed->ecosystem);
        // The range text itself as a witness, where the ordering is a total
        // preorder (the algebra's exactness rests on it) and it is a version.
        const Ecosystem eco = parsed->ecosystem;
        const bool total = eco == Ecosystem::Debian || eco == Ecosystem::Rpm || eco == Ecosystem::Semver ||
                           eco == Ecosystem::Npm;
        if (total && parse_for_ecosystem(eco, range_text).ok()) {
            const auto was = parsed->range.contains(eco, range_text);
            const auto now = back->range.contains(eco, range_text);
            if (was.ok() && now.ok()) FUZZ_CHECK(*was == *now);
        }
    } else {
        FUZZ_CHECK(!published.error().empty());
    }

    // Evaluating against the parsed range must fail cleanly or answer.
    auto in = parsed->range.contains(parsed->ecosystem, range_text);
    if (!in.ok()) FUZZ_CHECK(!in.error().empty());
    return 0;
}
