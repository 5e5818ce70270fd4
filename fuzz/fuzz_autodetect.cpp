// Detection of an ecosystem from a version's shape, and the reading of
// ecosystem names: neither may fail on any text, and detection must hand
// back an ecosystem whose parse then runs safely (the auto path of Version).
#include <cstddef>
#include <cstdint>

#include "fuzz_support.hpp"
#include "strategies/registry.hpp"

using namespace quorlen;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::as_text(data, size);

    const Ecosystem detected = autodetect_ecosystem(text);
    FUZZ_CHECK(detected.index() < Ecosystem::COUNT);
    FUZZ_CHECK(autodetect_ecosystem(text) == detected);
    auto parsed = parse_for_ecosystem(detected, text);
    if (parsed.ok()) FUZZ_CHECK(compare_for_ecosystem(detected, *parsed, *parsed) == Ordering::Equal);

    // A name that resolves must resolve again from its canonical spelling.
    auto named = Ecosystem::from_str(text);
    if (named.ok()) {
        FUZZ_CHECK(named->index() < Ecosystem::COUNT);
        auto again = Ecosystem::from_str(named->as_str());
        FUZZ_CHECK(again.ok() && *again == *named);
    } else {
        FUZZ_CHECK(named.error() == unsupported_ecosystem_message(text));
    }
    return 0;
}
