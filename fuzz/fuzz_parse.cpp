// Every ecosystem's parse, and the laws its ordering must keep on whatever
// parses: the first byte picks the ecosystem, the remaining lines are texts.
#include <cstddef>
#include <cstdint>
#include <new>
#include <numeric>
#include <span>
#include <vector>

#include "ecosystems.hpp"
#include "fuzz_support.hpp"
#include "packed_version.hpp"
#include "strategies/registry.hpp"

#if __has_include("core/stable_sort.hpp")
#include "core/stable_sort.hpp"
#define QUORLEN_FUZZ_SORT 1
#endif

using namespace quorlen;

namespace {

// The orderings whose rules are total preorders by construction (those an
// ecosystem's own tool defines among them); the generic-family orderings
// tolerate texts on which transitivity can fail.
bool must_be_transitive(Ecosystem eco) noexcept {
    switch (eco) {
        case Ecosystem::Debian:
        case Ecosystem::Rpm:
        case Ecosystem::Semver:
        case Ecosystem::Npm:
        case Ecosystem::Alpine:
        case Ecosystem::Conda:
        case Ecosystem::Freebsd:
        case Ecosystem::Gentoo:
        case Ecosystem::Homebrew:
        case Ecosystem::Nuget:
        case Ecosystem::Spack:
        case Ecosystem::Terraform: return true;
        default: return false;
    }
}

bool at_most(Ordering o) noexcept { return o != Ordering::Greater; }

#ifdef QUORLEN_FUZZ_SORT
// Sorts the indices 0..n-1 with `less` and checks that the result is a
// permutation of them; the sanitizers check that the sort stayed in bounds.
template <class Less>
std::vector<std::size_t> sort_indices(std::size_t n, Less less) {
    std::vector<std::size_t> order(n), scratch(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    stable_merge_sort(std::span<std::size_t>(order), std::span<std::size_t>(scratch), less);
    std::vector<bool> seen(n, false);
    for (std::size_t i : order) {
        FUZZ_CHECK(i < n && !seen[i]);
        seen[i] = true;
    }
    return order;
}
#endif

// Packed blocks in plain heap memory, as the Version class keeps them in its
// objects.
struct PackedBlock {
    packed::PackedVersion* v = nullptr;
    PackedBlock() = default;
    PackedBlock(const PackedBlock&) = delete;
    PackedBlock& operator=(const PackedBlock&) = delete;
    ~PackedBlock() {
        if (!v) return;
        packed::destroy_packed(v);
        ::operator delete(v, std::align_val_t{8});
    }
};

packed::PackedVersion* allocate_block(void* ctx, std::size_t tail) {
    auto* block = static_cast<PackedBlock*>(ctx);
    block->v = static_cast<packed::PackedVersion*>(::operator new(sizeof(packed::PackedVersion) + tail, std::align_val_t{8}));
    return block->v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const Ecosystem eco = fuzz::ecosystem_of(data[0]);
    const auto texts = fuzz::split_lines(fuzz::as_text(data + 1, size - 1), 12);

    // Ordering two texts straight from their slices answers as parsing both
    // and ordering the parses does, failures included.
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const std::string_view a = texts[i];
        const std::string_view b = texts[(i + 1) % texts.size()];
        auto pa = parse_for_ecosystem(eco, a);
        auto pb = parse_for_ecosystem(eco, b);
        auto direct = compare_texts_for_ecosystem(eco, a, b);
        if (!pa.ok() || !pb.ok()) {
            FUZZ_CHECK(!direct.ok());
            FUZZ_CHECK(direct.error() == (pa.ok() ? pb.error() : pa.error()));
            continue;
        }
        FUZZ_CHECK(direct.ok());
        FUZZ_CHECK(*direct == compare_for_ecosystem(eco, *pa, *pb));
    }

    std::vector<ParsedRepr> parsed;
    std::vector<PackedBlock> blocks(texts.size());
    std::vector<packed::PackedVersion*> packed_ok;
    for (std::size_t t = 0; t < texts.size(); ++t) {
        const std::string_view text = texts[t];
        // The packed form accepts what the ecosystem's parse accepts, keeps
        // the text, and rebuilds a parse that orders as the direct one.
        auto block = packed::build_packed(text, eco, false, allocate_block, &blocks[t]);
        FUZZ_CHECK(block.ok() == parse_for_ecosystem(eco, text).ok());
        if (block.ok()) {
            FUZZ_CHECK(packed::raw_of(*block) == text);
            packed_ok.push_back(*block);
        }
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
    FUZZ_CHECK(packed_ok.size() == n);
    std::vector<Ordering> cmp(n * n);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) {
            cmp[i * n + j] = compare_for_ecosystem(eco, parsed[i], parsed[j]);
            // The packed ordering agrees, and equal blocks hash alike.
            FUZZ_CHECK(packed::cmp_same_ecosystem(packed_ok[i], packed_ok[j]) == cmp[i * n + j]);
            if (cmp[i * n + j] == Ordering::Equal)
                FUZZ_CHECK(packed::hash_packed(packed_ok[i]) == packed::hash_packed(packed_ok[j]));
        }
        FUZZ_CHECK(compare_for_ecosystem(eco, packed::rebuild_parsed(packed_ok[i]), parsed[i]) == Ordering::Equal);
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
#ifdef QUORLEN_FUZZ_SORT
    const auto order = sort_indices(n, [&](std::size_t a, std::size_t b) { return cmp[a * n + b] == Ordering::Less; });
    if (must_be_transitive(eco)) {
        // Ascending, and equal values keep their input order.
        for (std::size_t i = 1; i < n; ++i) {
            const Ordering o = cmp[order[i - 1] * n + order[i]];
            FUZZ_CHECK(o != Ordering::Greater);
            if (o == Ordering::Equal) FUZZ_CHECK(order[i - 1] < order[i]);
        }
    }
    // An ordering that answers at random, driven by the input bytes, is the
    // worst a non-transitive comparator can do; the sort must still finish
    // within its buffers.
    if (size > 2) {
        std::size_t next = 0;
        sort_indices(size % 200, [&](std::size_t, std::size_t) { return (data[next++ % size] & 1) != 0; });
    }
#endif
    return 0;
}
