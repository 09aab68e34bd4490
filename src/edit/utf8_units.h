#pragma once

// Steps through UTF-8 text by whole characters. A CR LF or LF CR pair is one
// unit, so that the caret never stands between the two bytes of a line break.

#include <string_view>

namespace vrel::edit {

// Classes that word movement and double-click selection step over.
enum class CharClass {
  kEnd = 0,    // end of the text
  kBlank = 1,  // blank or tab
  kBreak = 2,  // CR or LF
  kWord = 3,   // letter, digit or '_' (any non-ASCII character counts as a letter)
  kOther = 4,
};

// Length in bytes of the unit that starts at offset (0 at the end).
int UnitLength(std::string_view text, int offset);
// Offset after the unit that starts at offset; the end stays the end.
int NextUnit(std::string_view text, int offset);
// Offset of the unit that ends at offset; 0 stays 0.
int PreviousUnit(std::string_view text, int offset);

CharClass ClassAt(std::string_view text, int offset);

// Word movement: Ctrl+Right and Ctrl+Left.
int NextWordStart(std::string_view text, int offset);
int PreviousWordStart(std::string_view text, int offset);
// The run of one class around offset that a double click selects, as [start, end).
struct Range {
  int start = 0, end = 0;
};
Range WordAround(std::string_view text, int offset);

// Screen readers count UTF-16 units: the units before a byte offset, and
// the byte offset after so many units (a unit inside a character stands
// for the character's start). Bad bytes count as one unit each.
int Utf16OffsetOf(std::string_view text, int byteOffset);
int ByteOffsetOf(std::string_view text, int utf16Offset);

inline bool IsLineBreak(char byte) { return byte == '\r' || byte == '\n'; }

}  // namespace vrel::edit
