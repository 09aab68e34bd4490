// Files in and out of XmlDoc (byte order marks, UTF-16LE), the code-point
// helpers behind them, and the escaping of text into and out of XML.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vrel {

// Reads a file: UTF-16LE with FF FE is converted to UTF-8, a UTF-8 byte order
// mark is dropped, anything else is taken byte for byte. Sets
// XmlDoc::Utf16File and XmlDoc::Utf8Bom in flags and a note of what was read
// in result. On failure result holds the system's message and text and flags
// are untouched.
bool ReadDocumentFile(const std::string& path, std::string& text, std::string& result,
                      uint32_t& flags);

// Writes text in the encoding the flags record. The file is written beside
// the target and renamed over it, so a failure leaves the old file intact.
bool WriteDocumentFile(const std::string& path, const std::string& text, std::string& result,
                       uint32_t& flags);

// Removes the temporary files that writes of path by processes that are gone
// (killed while saving) left beside it.
void RemoveStaleTempFiles(const std::string& path);

// Escapes "<&>" (and with XmlDoc::EscapeQuotes "'" and the double quote
// too); with XmlDoc::KeepReferences well-formed references pass through.
std::string ToMarkupText(std::string_view text, unsigned flags = 0);

// Decodes the five predefined references and numeric character references.
std::string FromMarkupText(std::string_view text);

// A CDATA section whose decoded content equals text, "]]>" included.
std::string WrapCData(std::string_view text);

// Code-point helpers. Decoders never read at or past end; they return -1 for
// an invalid or truncated sequence.
int DecodeUtf8Char(const char*& cursor, const char* end);
void EncodeUtf8Char(int codePoint, char* destination, size_t& position);  // null destination counts
int DecodeUtf16Char(const char16_t*& cursor, const char16_t* end);
void EncodeUtf16Char(int codePoint, char16_t* destination, size_t& count);

// Stepping through UTF-8 by characters; a byte that continues no character
// counts as one.
inline bool IsUtf8Continuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }
// The offset count characters after offset (or the end).
size_t Utf8Forward(std::string_view text, size_t offset, size_t count);
// The offset count characters before offset (or the start).
size_t Utf8Back(std::string_view text, size_t offset, size_t count);
// The first count characters of text (all of it when shorter).
inline std::string_view Utf8Prefix(std::string_view text, size_t count) {
  return text.substr(0, Utf8Forward(text, 0, count));
}
size_t Utf8Length(std::string_view text);
// Appends a code point as UTF-8; one that is no Unicode scalar value as "?".
void AppendUtf8(std::string& out, int codePoint);

// Whole-text conversions; unconvertible sequences become "?".
std::string Utf16ToUtf8(std::u16string_view source);
std::u16string Utf8ToUtf16(std::string_view source);

}  // namespace vrel
