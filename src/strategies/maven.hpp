// Maven versions: a tree of numbers, qualifier words and nested lists, with
// trailing nulls trimmed, ordered item by item.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.hpp"

namespace quorlen::strategies::maven {

// The tree is a chain: a List only ever stands last in its list, and parsing
// never nests deeper than MAX_NESTING lists, which bounds every recursion over
// it (destruction and copying included).
struct Item {
    enum class Kind : uint8_t { Number, Word, List };
    Kind kind = Kind::Number;
    std::string text;         // Number: digits without leading zeros; Word: the qualifier
    std::vector<Item> items;  // List only

    bool is_null() const noexcept { return kind == Kind::List ? items.empty() : text.empty(); }
};

struct MavenVersion {
    std::vector<Item> items;  // the root list
    // The text the tree renders to; equal versions render alike.
    std::string canonical() const;
};

// Lists open at once while parsing, the root included.
inline constexpr std::size_t MAX_NESTING = 256;

// One token as an item: digits become a Number without leading zeros, any
// other token a Word after the alias table.
Item parse_item(bool is_digit, std::string_view token, bool followed_by_digit);

// The root list of the tree, or the nesting failure.
Result<std::vector<Item>> parse_maven(std::string_view input);

// Rank of a known qualifier (alpha 0 ... release 5, sp 6); nothing for others.
std::optional<int> qualifier_rank(std::string_view word) noexcept;

// An item against a missing one.
Ordering cmp_item_null(const Item& item) noexcept;

Ordering cmp_list(const std::vector<Item>& a, const std::vector<Item>& b) noexcept;

// The canonical text of a list: '-' before a List, '.' before anything else.
std::string render(const std::vector<Item>& items);

constexpr bool is_ascii_digit(char c) noexcept { return c >= '0' && c <= '9'; }

// Whether parse_maven would fail on a trimmed text for opening too many lists.
bool nests_too_deep(std::string_view trimmed) noexcept;

// The order cmp_list gives the trees of two trimmed texts, found by reading
// both texts' items in step, without building either tree.
Ordering cmp_texts(std::string_view a, std::string_view b) noexcept;

}  // namespace quorlen::strategies::maven
