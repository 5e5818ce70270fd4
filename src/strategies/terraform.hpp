// Terraform and OpenTofu versions, read as their version library reads them:
// any number of numeric segments (missing ones 0), a pre-release after '-'
// (or straight after the numbers when it starts with a letter), metadata
// after '+' ignored.
#pragma once

#include "strategies/native.hpp"

namespace quorlen::strategies::terraform {

Ordering cmp_terraform(std::string_view a, std::string_view b) noexcept;
std::string terraform_key(std::string_view text);

inline constexpr TextOrder ORDER{&cmp_terraform, &native::key_hash<&terraform_key>};

}  // namespace quorlen::strategies::terraform
