#pragma once

#include <cstddef>
#include <string_view>

namespace vrel::markup {

// Code point of a named character reference. The key is the name followed by
// ';' ("amp;"), compared with case ("Auml;" differs from "auml;"). 0 when the
// name is unknown.
char32_t LookUpEntity(std::string_view key);

// Number of names in the table.
std::size_t EntityCount();

}  // namespace vrel::markup
