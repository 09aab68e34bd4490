// HTML character references: the 252 named ones of HTML 4.01 (Latin-1,
// symbols, special) plus "apos", and numeric ones, decimal and hexadecimal.
// The mark-up control shows them, and feed text, which is HTML, is decoded
// with them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vrel {

// Code point of a named reference. The key is the name followed by ';'
// ("amp;"), compared with case ("Auml;" differs from "auml;"). 0 when the
// name is unknown.
char32_t LookUpEntity(std::string_view key);

// Number of names in the table.
std::size_t EntityCount();

struct CharacterReference {
  char32_t codePoint = 0;
  std::size_t length = 0;  // bytes from the '&' through the ';'; 0 when there is no reference
};

// The reference at the start of text: "&" followed within 10 characters by
// ";", naming a known entity or a Unicode scalar value other than 0.
CharacterReference ReadCharacterReference(std::string_view text);

// text with every reference replaced by its character in UTF-8; anything
// else, an unknown name or a lone "&" among it, stays as written.
std::string DecodeHtmlReferences(std::string_view text);

}  // namespace vrel
