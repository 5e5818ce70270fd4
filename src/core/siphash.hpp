// SipHash-1-3: one compression round per 8-byte block and three
// finalisation rounds, the variant CPython itself uses for str and bytes.
// Pure function of the key and the bytes, so a value hashed in one process
// hashes alike in every other.
#pragma once

#include <cstdint>
#include <string_view>

namespace quorlen {

uint64_t siphash13(uint64_t k0, uint64_t k1, std::string_view bytes) noexcept;

}  // namespace quorlen
