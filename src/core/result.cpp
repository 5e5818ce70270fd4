#include "core/result.hpp"

#include <cstdio>
#include <cstdlib>

namespace quorlen {

void internal_fault(const char* what) noexcept {
    std::fprintf(stderr, "quorlen: internal fault: %s\n", what);
    std::abort();
}

}  // namespace quorlen
