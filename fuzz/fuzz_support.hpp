// Shared pieces of the fuzz targets: splitting one input into several texts,
// picking an ecosystem from a byte, and stopping hard on a broken law.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

#include "core/result.hpp"
#include "parser.hpp"

namespace quorlen::fuzz {

// A violated law is a bug even when nothing is corrupted, so it must stop the
// run as hard as a memory error does; the message says which law.
[[noreturn]] inline void law_broken(const char* law) noexcept {
    std::fprintf(stderr, "law broken: %s\n", law);
    std::fflush(stderr);
    __builtin_trap();
}

#define FUZZ_CHECK(cond)                                  \
    do {                                                  \
        if (!(cond)) ::quorlen::fuzz::law_broken(#cond);  \
    } while (0)

// The seeds keep this byte printable: '<' is generic, '=' semver, and so on.
inline Ecosystem ecosystem_of(uint8_t byte) noexcept {
    return static_cast<Ecosystem::Value>(byte % Ecosystem::COUNT);
}

// Newline separates the texts of one input. Every other byte, NUL and the
// other white space included, stays part of a text, so the seeds are plain
// files with one text per line.
inline std::vector<std::string_view> split_lines(std::string_view data, std::size_t limit) {
    std::vector<std::string_view> out;
    while (out.size() < limit) {
        const std::size_t nl = data.find('\n');
        out.push_back(data.substr(0, nl));
        if (nl == std::string_view::npos) break;
        data.remove_prefix(nl + 1);
    }
    return out;
}

inline std::string_view as_text(const uint8_t* data, std::size_t size) noexcept {
    return {reinterpret_cast<const char*>(data), size};
}

}  // namespace quorlen::fuzz
