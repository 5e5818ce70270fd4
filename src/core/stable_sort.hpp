// A stable merge sort that stays inside its buffers whatever the comparator
// answers. Some version orderings are not transitive (the generic one has
// 1.0rc1 < 1 < 1.post1 < 1.0rc1; Maven has cycles too), and the library
// sorts' unguarded insertion steps may run off the end of the range on such
// input. Here every index is bounded by the run it walks, so an inconsistent
// comparator can only give an odd permutation, never a fault.
#pragma once

#include <algorithm>
#include <cstddef>
#include <span>
#include <utility>

#include "core/result.hpp"

namespace quorlen {

namespace detail {

// Merges the adjacent runs [a, mid) and [mid, end) into out. On a tie the
// left element goes first, which is what keeps the sort stable.
template <class T, class Less>
void merge_runs(const T* a, const T* mid, const T* end, T* out, Less& less) {
    // Runs already in order (common for sorted or nearly sorted input) cost
    // one comparison instead of a full merge.
    if (a == mid || mid == end || !less(*mid, *(mid - 1))) {
        std::copy(a, end, out);
        return;
    }
    const T* b = mid;
    while (a != mid && b != end) *out++ = less(*b, *a) ? *b++ : *a++;
    out = std::copy(a, mid, out);
    std::copy(b, end, out);
}

}  // namespace detail

// Sorts `items` ascending by `less` (a strict "left orders before right"),
// keeping equal elements in their input order. `scratch` must be at least as
// long as `items`. Bottom-up: runs of width 1, 2, 4, ... are merged back and
// forth between the two buffers, so it takes O(n log n) comparisons and no
// allocation. T should be cheap to copy (an index or a pointer).
template <class T, class Less>
void stable_merge_sort(std::span<T> items, std::span<T> scratch, Less less) {
    const std::size_t n = items.size();
    if (scratch.size() < n) internal_fault("stable_merge_sort: scratch buffer shorter than the items");
    if (n < 2) return;
    T* src = items.data();
    T* dst = scratch.data();
    for (std::size_t width = 1; width < n; width = width > n / 2 ? n : width * 2) {
        for (std::size_t lo = 0; lo < n;) {
            const std::size_t mid = lo + std::min(width, n - lo);
            const std::size_t hi = mid + std::min(width, n - mid);
            detail::merge_runs(src + lo, src + mid, src + hi, dst + lo, less);
            lo = hi;
        }
        std::swap(src, dst);
    }
    if (src != items.data()) std::copy(src, src + n, items.data());
}

}  // namespace quorlen
