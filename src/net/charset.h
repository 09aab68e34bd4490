// Turning downloaded bytes into UTF-8 text.
//
// The source encoding is found the way feed readers and browsers find it: a
// byte order mark first, then UTF-16/UTF-32 recognised by its zero bytes, then
// what the document says about itself (XML declaration, or for web pages the
// HTTP charset before the <meta> charset), else UTF-8 when the bytes are
// UTF-8, else a guess: a charset detector's where it names a non-Latin
// script, windows-1252 otherwise. A single-byte encoding claimed by bytes
// that are UTF-8 beyond ASCII is not believed, and ISO-8859-1 and ASCII are
// read as windows-1252. Conversion never fails: bytes that do not decode
// become U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace vrel {

// What a download is read as. It decides where a declared encoding is looked
// for: XML documents declare it in the XML declaration, web pages in <meta>.
enum class DownloadKind { XmlDocument, WebPage };

struct DecodedText {
  std::string text;     // UTF-8, without a byte order mark
  std::string charset;  // the iconv name the bytes were read as, e.g. "CP1252"
};

// The iconv name of the encoding of bytes. contentType is the HTTP
// Content-Type header (may be empty).
std::string DetectCharset(std::string_view bytes, std::string_view contentType, DownloadKind kind);

// bytes as UTF-8 text. The XML declaration, if any, is rewritten to claim
// "UTF-8", so that the text does not contradict itself.
DecodedText DecodeToUtf8(std::string_view bytes, std::string_view contentType, DownloadKind kind);

// text with double-encoded UTF-8 undone: UTF-8 that was once read as
// windows-1252 (or ISO-8859-1) and encoded again, such as "\xC3\x83\xC2\xA9"
// ("Ã©") for "\xC3\xA9" ("é"). Only an exact repair is made: every run of
// characters that windows-1252 has must give back bytes that are valid
// UTF-8; otherwise text is returned unchanged.
std::string RepairDoubleEncodedUtf8(std::string_view text);

}  // namespace vrel
