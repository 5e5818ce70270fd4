// Maven versions: a tree of numbers, qualifier words and nested lists, with
// trailing nulls trimmed, ordered item by item.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.hpp"

namespace quorlen::strategies::maven {

struct Item {
    enum class Kind : uint8_t { Number, Word, List };
    Kind kind = Kind::Number;
    std::string text;         // Number: digits without leading zeros; Word: the qualifier
    std::vector<Item> items;  // List only

    bool is_null() const noexcept { return kind == Kind::List ? items.empty() : text.empty(); }
};

struct MavenVersion {
    std::vector<Item> items;  // the root list
    std::string canonical() const;
};

inline constexpr std::size_t MAX_NESTING = 256;

Item parse_item(bool is_digit, std::string_view token, bool followed_by_digit);
Result<std::vector<Item>> parse_maven(std::string_view input);
std::optional<int> qualifier_rank(std::string_view word) noexcept;
Ordering cmp_item_null(const Item& item) noexcept;
Ordering cmp_list(const std::vector<Item>& a, const std::vector<Item>& b) noexcept;

}  // namespace quorlen::strategies::maven
