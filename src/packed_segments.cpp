#include "packed_segments.hpp"

#include <cstring>

#include "core/siphash.hpp"

namespace quorlen {

std::size_t packed_text_bytes(std::span<const Seg> segs) noexcept {
    std::size_t n = 0;
    for (const Seg& s : segs)
        if (s.is_text) n += s.text.size();
    return n;
}

char* pack_segments(std::span<const Seg> segs, PackedSeg* out, char* pool) noexcept {
    for (std::size_t i = 0; i < segs.size(); ++i) {
        const Seg& s = segs[i];
        if (s.is_number()) {
            out[i] = PackedSeg{s.number, nullptr};
        } else {
            // Texts are never empty, so pool is a real address here.
            std::memcpy(pool, s.text.data(), s.text.size());
            out[i] = PackedSeg{s.text.size(), pool};
            pool += s.text.size();
        }
    }
    return pool;
}

void HashBytes::put_u64(uint64_t v) {
    for (int i = 0; i < 8; ++i) bytes_.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

void HashBytes::text(std::string_view t) {
    if (auto w = tag_weight(t)) {
        if (*w == RELEASE_WEIGHT) return;
        bytes_.push_back('\1');
        const auto u = static_cast<uint32_t>(*w);
        for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<char>((u >> (8 * i)) & 0xff));
        return;
    }
    bytes_.push_back('\2');
    bytes_.append(t);
    bytes_.push_back(static_cast<char>(0xff));
}

void HashBytes::piece(char tag, std::string_view t) {
    bytes_.push_back(tag);
    put_u64(t.size());
    bytes_.append(t);
}

uint64_t hash_bytes(std::string_view bytes) noexcept { return siphash13(0, 0, bytes); }

}  // namespace quorlen
