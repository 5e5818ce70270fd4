// Every ecosystem's parse, and the laws its ordering must keep on whatever
// parses: the first byte picks the ecosystem, the remaining lines are texts.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_support.hpp"
#include "strategies/registry.hpp"

using namespace quorlen;

namespace {

// The orderings whose rules are total preorders by construction; the
// generic-family orderings tolerate texts on which transitivity can fail.
bool must_be_transitive(Ecosystem eco) noexcept {
    return eco == Ecosystem::Debian || eco == Ecosystem::Rpm || eco == Ecosystem::Semver ||
           eco == Ecosystem::Npm;
}

bool at_most(Ordering o) noexcept { return o != Ordering::Greater; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const Ecosystem eco = fuzz::ecosystem_of(data[0]);
    const auto texts = fuzz::split_lines(fuzz::as_text(data + 1, size - 1), 12);

    std::vector<ParsedRepr> parsed;
    for (std::string_view text : texts) {
        // The generic parse accepts everything and backs the Version class
        // whatever the ecosystem, so it runs on every text.
        const ParsedVersion generic = parse_generic(text);
        FUZZ_CHECK(generic.raw == text);
        auto r = parse_for_ecosystem(eco, text);
        if (!r.ok()) {
            FUZZ_CHECK(!r.error().empty());
            FUZZ_CHECK(eco != Ecosystem::Generic);
            continue;
        }
        parsed.push_back(std::move(r).value());
    }

    const std::size_t n = parsed.size();
    std::vector<Ordering> cmp(n * n);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) cmp[i * n + j] = compare_for_ecosystem(eco, parsed[i], parsed[j]);
    }
    for (std::size_t i = 0; i < n; ++i) {
        FUZZ_CHECK(cmp[i * n + i] == Ordering::Equal);
        for (std::size_t j = 0; j < n; ++j) FUZZ_CHECK(cmp[i * n + j] == reverse(cmp[j * n + i]));
    }
    if (must_be_transitive(eco)) {
        for (std::size_t a = 0; a < n; ++a)
            for (std::size_t b = 0; b < n; ++b) {
                if (!at_most(cmp[a * n + b])) continue;
                for (std::size_t c = 0; c < n; ++c) {
                    if (at_most(cmp[b * n + c])) FUZZ_CHECK(at_most(cmp[a * n + c]));
                }
            }
    }
    return 0;
}
