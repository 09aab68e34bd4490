// Turning downloaded bytes into UTF-8 text.
//
// The source encoding is found the way feed readers and browsers find it: a
// byte order mark first, then UTF-16/UTF-32 recognised by its zero bytes, then
// what the document says about itself (XML declaration, or for web pages the
// HTTP charset before the <meta> charset), else UTF-8. Conversion never fails:
// bytes that do not decode become U+FFFD.
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

}  // namespace vrel
