#include "net/charset.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <initializer_list>
#include <optional>

namespace vrel {
namespace {

constexpr std::string_view kUtf8 = "UTF-8";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
// How far into a web page a <meta> charset is looked for.
constexpr size_t kMetaScanLimit = 4096;
constexpr size_t kMaxCharsetName = 40;

struct Detection {
  std::string charset;
  size_t bomLength = 0;
};

// A value inside the text: offset and length.
struct Span {
  size_t offset = 0;
  size_t length = 0;
};

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

std::string LowerTrimmed(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), LowerAscii);
  return lower;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(),
                    [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
}

size_t FindNoCase(std::string_view text, std::string_view word, size_t from) {
  for (size_t i = from; i + word.size() <= text.size(); ++i) {
    if (StartsWithNoCase(text.substr(i), word)) return i;
  }
  return std::string_view::npos;
}

size_t SkipSpaces(std::string_view text, size_t pos) {
  while (pos < text.size() && IsSpace(text[pos])) ++pos;
  return pos;
}

// --- Where the bytes say what they are -----------------------------------

std::optional<Detection> DetectByteOrderMark(std::string_view bytes) {
  struct Mark {
    std::string_view bytes;
    const char* charset;
  };
  // UTF-32LE before UTF-16LE: its mark begins with the UTF-16LE mark.
  static constexpr Mark kMarks[] = {
      {std::string_view("\xFF\xFE\0\0", 4), "UTF-32LE"},
      {std::string_view("\0\0\xFE\xFF", 4), "UTF-32BE"},
      {"\xEF\xBB\xBF", "UTF-8"},
      {"\xFF\xFE", "UTF-16LE"},
      {"\xFE\xFF", "UTF-16BE"},
  };
  for (const Mark& mark : kMarks) {
    if (bytes.substr(0, mark.bytes.size()) == mark.bytes) return Detection{mark.charset, mark.bytes.size()};
  }
  return std::nullopt;
}

// A document begins with an ASCII character ('<' or white space); in UTF-16
// and UTF-32 the rest of its code unit is zero bytes.
const char* DetectWideByZeroBytes(std::string_view bytes) {
  auto at = [&](size_t i) { return static_cast<uint8_t>(bytes[i]); };
  auto ascii = [](uint8_t b) { return b != 0 && b < 0x80; };
  if (bytes.size() >= 4 && ascii(at(0)) && at(1) == 0 && at(2) == 0 && at(3) == 0) return "UTF-32LE";
  if (bytes.size() >= 4 && at(0) == 0 && at(1) == 0 && at(2) == 0 && ascii(at(3))) return "UTF-32BE";
  if (bytes.size() >= 2 && ascii(at(0)) && at(1) == 0) return "UTF-16LE";
  if (bytes.size() >= 2 && at(0) == 0 && ascii(at(1))) return "UTF-16BE";
  return nullptr;
}

// The span of the encoding="..." value of a leading XML declaration.
std::optional<Span> XmlDeclarationEncoding(std::string_view text) {
  const size_t start = SkipSpaces(text, 0);
  if (text.compare(start, 5, "<?xml") != 0 || start + 5 >= text.size() || !IsSpace(text[start + 5])) {
    return std::nullopt;
  }
  const size_t end = text.find("?>", start);
  if (end == std::string_view::npos) return std::nullopt;
  const std::string_view declaration = text.substr(0, end);
  for (size_t pos = declaration.find("encoding", start); pos != std::string_view::npos;
       pos = declaration.find("encoding", pos + 1)) {
    if (!IsSpace(declaration[pos - 1])) continue;
    size_t cursor = SkipSpaces(declaration, pos + 8);
    if (cursor >= declaration.size() || declaration[cursor] != '=') continue;
    cursor = SkipSpaces(declaration, cursor + 1);
    if (cursor >= declaration.size() || (declaration[cursor] != '"' && declaration[cursor] != '\'')) continue;
    const size_t close = declaration.find(declaration[cursor], cursor + 1);
    if (close == std::string_view::npos) return std::nullopt;
    return Span{cursor + 1, close - cursor - 1};
  }
  return std::nullopt;
}

// The value after "charset" and "=" (quoted or not) starting at pos.
std::optional<std::string_view> CharsetValueAt(std::string_view text, size_t pos) {
  size_t cursor = SkipSpaces(text, pos + 7);
  if (cursor >= text.size() || text[cursor] != '=') return std::nullopt;
  cursor = SkipSpaces(text, cursor + 1);
  if (cursor < text.size() && (text[cursor] == '"' || text[cursor] == '\'')) {
    const size_t close = text.find(text[cursor], cursor + 1);
    if (close == std::string_view::npos) return std::nullopt;
    return text.substr(cursor + 1, close - cursor - 1);
  }
  size_t end = cursor;
  while (end < text.size() && !IsSpace(text[end]) && std::string_view(";\"'>/").find(text[end]) == std::string_view::npos) {
    ++end;
  }
  return text.substr(cursor, end - cursor);
}

// The charset parameter of a Content-Type header.
std::string_view HttpCharset(std::string_view contentType) {
  for (size_t pos = FindNoCase(contentType, "charset", 0); pos != std::string_view::npos;
       pos = FindNoCase(contentType, "charset", pos + 1)) {
    if (pos == 0) continue;
    const size_t before = contentType.find_last_not_of(" \t", pos - 1);
    if (before == std::string_view::npos || contentType[before] != ';') continue;
    if (auto value = CharsetValueAt(contentType, pos)) return *value;
  }
  return {};
}

// The charset of a meta tag: <meta charset="x"> or the http-equiv form
// <meta http-equiv="Content-Type" content="text/html; charset=x">.
std::string_view MetaTagCharset(std::string_view tag) {
  for (size_t pos = FindNoCase(tag, "charset", 0); pos != std::string_view::npos;
       pos = FindNoCase(tag, "charset", pos + 1)) {
    if (auto value = CharsetValueAt(tag, pos)) return *value;
  }
  return {};
}

// The first <meta> charset near the top of a page, skipping comments.
std::string_view HtmlMetaCharset(std::string_view page) {
  page = page.substr(0, kMetaScanLimit);
  for (size_t pos = page.find('<'); pos != std::string_view::npos; pos = page.find('<', pos + 1)) {
    if (page.compare(pos, 4, "<!--") == 0) {
      pos = page.find("-->", pos + 4);
      if (pos == std::string_view::npos) break;
      continue;
    }
    if (!StartsWithNoCase(page.substr(pos), "<meta") || pos + 5 >= page.size() ||
        !(IsSpace(page[pos + 5]) || page[pos + 5] == '/')) {
      continue;
    }
    const size_t end = page.find('>', pos);
    const std::string_view charset = MetaTagCharset(page.substr(pos, end - pos));
    if (!charset.empty()) return charset;
  }
  return {};
}

// --- From a declared name to an iconv name -------------------------------

// Labels read as a wider encoding than they name, as browsers read them:
// ISO-8859-1 and ASCII documents are, in practice, windows-1252.
std::string_view IconvNameForLabel(std::string_view label) {
  struct Alias {
    std::string_view label;
    std::string_view charset;
  };
  static constexpr Alias kAliases[] = {
      {"utf-8", "UTF-8"}, {"utf8", "UTF-8"}, {"unicode-1-1-utf-8", "UTF-8"},
      {"iso-8859-1", "CP1252"}, {"iso8859-1", "CP1252"}, {"iso88591", "CP1252"},
      {"iso_8859-1", "CP1252"}, {"iso_8859-1:1987", "CP1252"}, {"iso-ir-100", "CP1252"},
      {"latin1", "CP1252"}, {"l1", "CP1252"}, {"csisolatin1", "CP1252"},
      {"cp819", "CP1252"}, {"ibm819", "CP1252"}, {"us-ascii", "CP1252"},
      {"ascii", "CP1252"}, {"ansi_x3.4-1968", "CP1252"}, {"windows-1252", "CP1252"},
      {"x-cp1252", "CP1252"}, {"cp1252", "CP1252"},
      {"iso-8859-9", "CP1254"}, {"latin5", "CP1254"},
      {"tis-620", "CP874"}, {"iso-8859-11", "CP874"},
      {"gb2312", "GBK"}, {"x-gbk", "GBK"},
      {"euc-kr", "CP949"}, {"ks_c_5601-1987", "CP949"},
      {"shift_jis", "CP932"}, {"x-sjis", "CP932"}, {"sjis", "CP932"},
      {"big5", "BIG5-HKSCS"},
  };
  for (const Alias& alias : kAliases) {
    if (alias.label == label) return alias.charset;
  }
  return {};
}

bool IsWideCharset(std::string_view name) {
  for (std::string_view prefix : {"utf-16", "utf16", "utf-32", "utf32", "ucs-2", "ucs2", "ucs-4", "ucs4", "unicode"}) {
    if (StartsWithNoCase(name, prefix)) return true;
  }
  return false;
}

// Charset names are letters, digits and a little punctuation; anything else
// (iconv's "//" suffixes among it) never reaches iconv.
bool IsCharsetNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == ':';
}

bool IconvKnows(const std::string& name) {
  iconv_t converter = iconv_open("UTF-8", name.c_str());
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;
  iconv_close(converter);
  return true;
}

// The iconv name for a declared label, or empty when the label cannot be
// used: unknown to iconv, or a UTF-16/UTF-32 name on bytes that are plainly
// not (those were recognised before any declaration was read).
std::string UsableCharset(std::string_view label) {
  const std::string lower = LowerTrimmed(label);
  if (std::string_view alias = IconvNameForLabel(lower); !alias.empty()) return std::string(alias);
  if (lower.empty() || lower.size() > kMaxCharsetName || IsWideCharset(lower) ||
      !std::all_of(lower.begin(), lower.end(), IsCharsetNameChar)) {
    return {};
  }
  std::string name = lower;
  std::transform(name.begin(), name.end(), name.begin(), UpperAscii);
  return IconvKnows(name) ? name : std::string();
}

Detection Detect(std::string_view bytes, std::string_view contentType, DownloadKind kind) {
  if (auto mark = DetectByteOrderMark(bytes)) return *mark;
  if (const char* wide = DetectWideByZeroBytes(bytes)) return Detection{wide, 0};

  std::string_view declared[2];
  if (kind == DownloadKind::XmlDocument) {
    const auto span = XmlDeclarationEncoding(bytes);
    declared[0] = span ? bytes.substr(span->offset, span->length) : std::string_view();
    declared[1] = HttpCharset(contentType);
  } else {
    declared[0] = HttpCharset(contentType);
    declared[1] = HtmlMetaCharset(bytes);
  }
  for (std::string_view label : declared) {
    if (std::string charset = UsableCharset(label); !charset.empty()) return Detection{charset, 0};
  }
  return Detection{std::string(kUtf8), 0};
}

// --- Conversion -----------------------------------------------------------

// Copies UTF-8, replacing each maximal ill-formed subsequence (overlong forms,
// surrogates, values above U+10FFFF, stray or missing continuation bytes)
// with U+FFFD.
void AppendSanitisedUtf8(std::string_view in, std::string& out) {
  out.reserve(out.size() + in.size());
  size_t i = 0;
  while (i < in.size()) {
    const auto lead = static_cast<uint8_t>(in[i]);
    if (lead < 0x80) {
      size_t run = i + 1;
      while (run < in.size() && static_cast<uint8_t>(in[run]) < 0x80) ++run;
      out.append(in, i, run - i);
      i = run;
      continue;
    }
    size_t needed = 0;
    uint8_t low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
      needed = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      needed = 2;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      needed = 3;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    }
    size_t length = 1;
    while (length <= needed && i + length < in.size()) {
      const auto next = static_cast<uint8_t>(in[i + length]);
      if (next < (length == 1 ? low : 0x80) || next > (length == 1 ? high : 0xBF)) break;
      ++length;
    }
    if (needed != 0 && length == needed + 1) {
      out.append(in, i, length);
    } else {
      out.append(kReplacement);
    }
    i += length;
  }
}

size_t CodeUnitSize(std::string_view charset) {
  if (charset.starts_with("UTF-32")) return 4;
  if (charset.starts_with("UTF-16")) return 2;
  return 1;
}

// Converts with iconv. A sequence that does not decode becomes U+FFFD and
// reading goes on one code unit later; a truncated one at the end becomes
// U+FFFD too.
void AppendConverted(std::string_view in, const std::string& charset, std::string& out) {
  iconv_t converter = iconv_open("UTF-8", charset.c_str());
  if (converter == reinterpret_cast<iconv_t>(-1)) {
    AppendSanitisedUtf8(in, out);
    return;
  }
  const size_t unit = CodeUnitSize(charset);
  size_t used = out.size();
  out.resize(used + in.size() + in.size() / 2 + 16);
  char* source = const_cast<char*>(in.data());  // iconv does not write through it
  size_t sourceLeft = in.size();
  while (sourceLeft != 0) {
    char* target = out.data() + used;
    size_t targetLeft = out.size() - used;
    const size_t result = iconv(converter, &source, &sourceLeft, &target, &targetLeft);
    const int error = errno;
    used = out.size() - targetLeft;
    if (result != static_cast<size_t>(-1)) break;
    if (out.size() - used < 16) out.resize(out.size() * 2);
    if (error == E2BIG) continue;
    out.replace(used, kReplacement.size(), kReplacement);
    used += kReplacement.size();
    const size_t skip = error == EILSEQ ? std::min(unit, sourceLeft) : sourceLeft;
    source += skip;
    sourceLeft -= skip;
  }
  out.resize(used);
  iconv_close(converter);
}

// Makes a leading XML declaration claim UTF-8.
void DeclareUtf8(std::string& text) {
  const auto span = XmlDeclarationEncoding(text);
  if (span && LowerTrimmed(std::string_view(text).substr(span->offset, span->length)) != "utf-8") {
    text.replace(span->offset, span->length, kUtf8);
  }
}

}  // namespace

std::string DetectCharset(std::string_view bytes, std::string_view contentType, DownloadKind kind) {
  return Detect(bytes, contentType, kind).charset;
}

DecodedText DecodeToUtf8(std::string_view bytes, std::string_view contentType, DownloadKind kind) {
  Detection detection = Detect(bytes, contentType, kind);
  bytes.remove_prefix(detection.bomLength);
  DecodedText decoded;
  if (detection.charset == kUtf8) {
    AppendSanitisedUtf8(bytes, decoded.text);
  } else {
    AppendConverted(bytes, detection.charset, decoded.text);
  }
  DeclareUtf8(decoded.text);
  decoded.charset = std::move(detection.charset);
  return decoded;
}

}  // namespace vrel
