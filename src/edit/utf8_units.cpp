#include "edit/utf8_units.h"

#include <algorithm>

#include "xml/xml_encoding.h"

namespace vrel::edit {
namespace {

constexpr int kLongestSequence = 6;
constexpr int kLongestStepBack = 5;
constexpr int kWordSelectReach = 100;

int Size(std::string_view text) { return static_cast<int>(text.size()); }
unsigned char Byte(std::string_view text, int offset) { return static_cast<unsigned char>(text[offset]); }

// Lead bytes count their sequence by the 1-bits after the top bit; a stray
// continuation byte stands alone.
int SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  int length = 1;
  for (unsigned bit = 0x40; (lead & bit) && length < kLongestSequence; bit >>= 1) ++length;
  return length;
}

bool IsBreakPair(char first, char second) {
  return (first == '\r' && second == '\n') || (first == '\n' && second == '\r');
}

bool IsWordByte(unsigned char byte) {
  return byte >= 0x80 || byte == '_' || (byte >= '0' && byte <= '9') || ((byte | 0x20) >= 'a' && (byte | 0x20) <= 'z');
}

}  // namespace

int UnitLength(std::string_view text, int offset) {
  const int size = Size(text);
  if (offset >= size) return 0;
  if (offset + 1 < size && IsBreakPair(text[offset], text[offset + 1])) return 2;
  return std::min(SequenceLength(Byte(text, offset)), size - offset);
}

int NextUnit(std::string_view text, int offset) { return offset + UnitLength(text, offset); }

int PreviousUnit(std::string_view text, int offset) {
  if (offset <= 0) return 0;
  if (offset >= 2 && IsBreakPair(text[offset - 2], text[offset - 1])) return offset - 2;
  int start = offset - 1;
  const int limit = std::max(0, offset - kLongestStepBack);
  while (start > limit && IsUtf8Continuation(text[start])) --start;
  return start;
}

CharClass ClassAt(std::string_view text, int offset) {
  if (offset >= Size(text)) return CharClass::kEnd;
  const unsigned char byte = Byte(text, offset);
  if (byte == ' ' || byte == '\t') return CharClass::kBlank;
  if (IsLineBreak(static_cast<char>(byte))) return CharClass::kBreak;
  return IsWordByte(byte) ? CharClass::kWord : CharClass::kOther;
}

int NextWordStart(std::string_view text, int offset) {
  const CharClass run = ClassAt(text, offset);
  if (run == CharClass::kEnd) return offset;
  if (run != CharClass::kBlank) {
    offset = NextUnit(text, offset);
    if (run != CharClass::kBreak)
      while (ClassAt(text, offset) == run) offset = NextUnit(text, offset);
  }
  while (ClassAt(text, offset) == CharClass::kBlank) offset = NextUnit(text, offset);
  return offset;
}

int PreviousWordStart(std::string_view text, int offset) {
  auto class_before = [&](int at) { return at > 0 ? ClassAt(text, PreviousUnit(text, at)) : CharClass::kEnd; };
  while (class_before(offset) == CharClass::kBlank || class_before(offset) == CharClass::kBreak)
    offset = PreviousUnit(text, offset);
  const CharClass run = class_before(offset);
  while (run != CharClass::kEnd && class_before(offset) == run) offset = PreviousUnit(text, offset);
  return offset;
}

Range WordAround(std::string_view text, int offset) {
  Range range{offset, offset};
  const CharClass run = ClassAt(text, offset);
  if (run == CharClass::kWord || run == CharClass::kOther)
    while (range.end - offset < kWordSelectReach && ClassAt(text, range.end) == run) range.end = NextUnit(text, range.end);
  while (range.start > 0 && offset - range.start < kWordSelectReach) {
    const int previous = PreviousUnit(text, range.start);
    if (ClassAt(text, previous) != run) break;
    range.start = previous;
  }
  return range;
}

int Utf16OffsetOf(std::string_view text, int byteOffset) {
  const char* cursor = text.data();
  const char* const end = cursor + std::clamp(byteOffset, 0, Size(text));
  size_t units = 0;
  while (cursor < end) EncodeUtf16Char(DecodeUtf8Char(cursor, end), nullptr, units);
  return static_cast<int>(units);
}

int ByteOffsetOf(std::string_view text, int utf16Offset) {
  const char* cursor = text.data();
  const char* const end = cursor + text.size();
  size_t units = 0;
  while (cursor < end) {
    const char* const start = cursor;
    EncodeUtf16Char(DecodeUtf8Char(cursor, end), nullptr, units);
    if (static_cast<int>(units) > utf16Offset) return static_cast<int>(start - text.data());
  }
  return Size(text);
}

}  // namespace vrel::edit
